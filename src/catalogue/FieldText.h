#pragma once

#include <cstdint>
#include <ostream>

#include "catalogue/FieldKinds.h"
#include "catalogue/OXProtocolWriter.h"
#include "common/FastOStream.h"
#include "framework/bufstring.h"

namespace Orbanex {

// The text of catalogue records and messages: a group "(" with every field as its declared name,
// "=" and its value, in declaration order, then ")"; the brackets, separators, line breaks and
// indentation are the TextWriter's (compact or pretty).
//
//   kind              text
//   int8 ... int64    signed decimal; an int8 as a number from -128 to 127, never a character
//   decimal           the raw int64 in decimal: no scaling, NMA, NDA and NA as plain integers
//   bool              T or F
//   enumeration       the name of the value's low byte, unquoted; nothing when it has no name
//   string            the stored characters between double quotes, nothing escaped; the
//                     scrambled and fixed-length kinds alike, never scrambled
//   record            its own group, in place (through the writer's handle of its type)
//   list              a group "[" "]" of the elements, each without name: int32 in decimal,
//                     strings quoted, records as groups; always non-terminal
//
// A terminal group (a type without records or lists) stays on one line in the pretty layout.
// Every field is written whatever its value; nothing is allocated. Names of enumeration values
// need the enumeration tables filled (the catalogue's initialize()).
class FieldText {
  public:
    // The rendering buffer of the std::ostream operators, its terminating NUL included: a longer
    // text is cut at 65535 characters.
    static constexpr int STREAM_BUFFER_SIZE = 65536;

    // x as one group at the writer's cursor.
    template <class X>
    static void render(AsciiWriter& w, const X& x, bool terminal) {
        const AsciiWriter::State enclosing = w.push("(", terminal);
        Fields f{w};
        X::fields(f, x);
        w.pop(")", enclosing);
    }

    // prefix ("<" with the type's name and a space), the compact text of x and ">".
    template <class X>
    static FastOStream& stream(FastOStream& fos, const char* prefix, const X& x) {
        fos << prefix;
        ACodec codec(fos);
        AsciiWriter w(codec, false, 0);
        w.handle(x);
        return fos << '>';
    }

    // The same, rendered first into a buffer on the stack and inserted as three NUL-terminated
    // texts (so the text stops at a NUL byte inside a string).
    template <class X>
    static std::ostream& stream(std::ostream& os, const char* prefix, const X& x) {
        StaticOStream<STREAM_BUFFER_SIZE> text;
        {
            ACodec codec(text);
            AsciiWriter w(codec, false, 0);
            w.handle(x);
        }
        const char* rendered = text.ends();
        return os << prefix << rendered << ">";
    }

  private:
    struct Fields {
        AsciiWriter& w;

        template <class K, class T>
        bool operator()(K kind, const char* name, const T& x) {
            w.newfield();
            w.out().write_data(name);
            w.out().write_data("=");
            value(kind, x);
            return true;
        }

        void value(Kind::Int8, int8_t x) { w.out().write_int8(static_cast<char>(x)); }
        void value(Kind::Int16, int16_t x) { w.out().write_int16(x); }
        void value(Kind::Int32, int32_t x) { w.out().write_int32(x); }
        void value(Kind::Int64, int64_t x) { w.out().write_int64(x); }
        void value(Kind::Decimal, int64_t x) { w.out().write_int64(x); }
        void value(Kind::Bool, bool x) { w.out().write_bool(x); }
        template <class E>
        void value(Kind::Enum<E>, typename E::Type x) {
            w.out().write_rawfield(E::toString(static_cast<unsigned char>(x)));
        }
        void value(Kind::String, const bufstl::bufstring& x) { w.out().write_string(x); }
        void value(Kind::CryptString, const bufstl::bufstring& x) { w.out().write_cryptstring(x); }
        void value(Kind::FixedString, const bufstl::bufstring& x) { w.out().write_string(x); }
        template <class R>
        void value(Kind::Record, const R& x) {
            w.handle(x);
        }
        template <class L>
        void value(Kind::List, const L& x) {
            const AsciiWriter::State enclosing = w.push("[", false);
            for (const auto& e : x) {
                w.newfield();
                element(e);
            }
            w.pop("]", enclosing);
        }

        void element(int x) { w.out().write_int32(x); }
        void element(const bufstl::bufstring& x) { w.out().write_string(x); }
        template <class R>
        void element(const R& x) {
            w.handle(x);
        }
    };
};

}  // namespace Orbanex
