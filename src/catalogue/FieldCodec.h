#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "catalogue/EnumSupport.h"
#include "catalogue/FieldKinds.h"
#include "framework/FastCodec.h"
#include "framework/bufstring.h"
#include "framework/bufvector.h"

namespace Orbanex {

// The binary encoding of catalogue records and messages: the body of X is its fields back to
// back in declaration order, each in the form of its kind, with no id, length, tag or padding.
//
//   kind              bytes
//   bool, int8        one byte (any byte but 0 reads as true)
//   enumeration       one byte, the value's low 8 bits; checked, never refused (validateEnum)
//   int16/32/64       zigzag, then LEB128
//   decimal           the codec's special varint (NMA, NDA, NA one byte each)
//   string            LEB128 length, then the bytes (no NUL)
//   scrambled string  as string, the bytes scrambled on the wire only
//   fixed string      2-byte little-endian length, then the bytes
//   record            its body, in place
//   list              the count (1 or 2 bytes), then the elements
//
// Every read is bounded by the codec's range: a body that ends early, or a length, count or
// varint that runs past it, raises Tarvik::DecodeError; a count is refused before the list is
// sized when the bytes left cannot hold that many elements. Every write is bounded too and
// refuses (Tarvik::EncodeError) a string over 65535 bytes or a list over 32767 elements rather
// than cutting them. Strings and lists that outgrow the block raise the block's exception at the
// first field that does not fit, leaving the fields before it decoded.
//
// The enumeration checks need the enumeration tables filled (the catalogue's initialize()).
class FieldCodec {
  public:
    template <class X>
    static void write(const X& x, Tarvik::FastCodec& out) {
        Writer w{out};
        X::fields(w, x);
    }

    template <class X>
    static void read(X& x, Tarvik::FastCodec& in) {
        Reader r{in};
        X::fields(r, x);
    }

    // The fewest bytes one element of a list of T takes, to refuse a count that cannot fit.
    template <class T>
    static constexpr size_t minElementSize() {
        if constexpr (std::is_same<T, int>::value || std::is_same<T, bufstl::bufstring>::value) {
            return 1;
        } else {
            return T::MIN_BODY_SIZE;
        }
    }

  private:
    struct Writer {
        Tarvik::FastCodec& out;

        bool operator()(Kind::Int8, const char*, int8_t x) {
            out.write_int8(static_cast<char>(x));
            return true;
        }
        bool operator()(Kind::Int16, const char*, int16_t x) {
            out.write_int16(x);
            return true;
        }
        bool operator()(Kind::Int32, const char*, int32_t x) {
            out.write_int32(x);
            return true;
        }
        bool operator()(Kind::Int64, const char*, int64_t x) {
            out.write_int64(x);
            return true;
        }
        bool operator()(Kind::Decimal, const char*, int64_t x) {
            out.write_oxfloat(x);
            return true;
        }
        bool operator()(Kind::Bool, const char*, bool x) {
            out.write_bool(x);
            return true;
        }
        template <class E>
        bool operator()(Kind::Enum<E>, const char* name, typename E::Type x) {
            const unsigned char byte = static_cast<unsigned char>(x);
            VALIDATE_ENUM(name, E::isValid(byte));
            out.write_uint8(byte);
            return true;
        }
        bool operator()(Kind::String, const char*, const bufstl::bufstring& x) {
            out.write_string(x);
            return true;
        }
        bool operator()(Kind::CryptString, const char*, const bufstl::bufstring& x) {
            out.write_cryptstring(x);
            return true;
        }
        bool operator()(Kind::FixedString, const char*, const bufstl::bufstring& x) {
            out.write_string_fixed(x);
            return true;
        }
        template <class R>
        bool operator()(Kind::Record, const char*, const R& x) {
            x.write(out);
            return true;
        }
        template <class L>
        bool operator()(Kind::List, const char*, const L& x) {
            out.write_length(x.size());
            for (const auto& e : x) element(e);
            return true;
        }

        void element(int x) { out.write_int32(x); }
        void element(const bufstl::bufstring& x) { out.write_string(x); }
        template <class R>
        void element(const R& x) {
            x.write(out);
        }
    };

    struct Reader {
        Tarvik::FastCodec& in;

        bool operator()(Kind::Int8, const char*, int8_t& x) {
            x = static_cast<int8_t>(in.read_int8());
            return true;
        }
        bool operator()(Kind::Int16, const char*, int16_t& x) {
            x = in.read_int16();
            return true;
        }
        bool operator()(Kind::Int32, const char*, int32_t& x) {
            x = in.read_int32();
            return true;
        }
        bool operator()(Kind::Int64, const char*, int64_t& x) {
            x = in.read_int64();
            return true;
        }
        bool operator()(Kind::Decimal, const char*, int64_t& x) {
            x = in.read_oxfloat();
            return true;
        }
        bool operator()(Kind::Bool, const char*, bool& x) {
            x = in.read_bool();
            return true;
        }
        template <class E>
        bool operator()(Kind::Enum<E>, const char* name, typename E::Type& x) {
            const unsigned char byte = in.read_uint8();
            x = static_cast<typename E::Type>(byte);
            VALIDATE_ENUM(name, E::isValid(byte));
            return true;
        }
        bool operator()(Kind::String, const char*, bufstl::bufstring& x) {
            in.read_string(x);
            return true;
        }
        bool operator()(Kind::CryptString, const char*, bufstl::bufstring& x) {
            in.read_cryptstring(x);
            return true;
        }
        bool operator()(Kind::FixedString, const char*, bufstl::bufstring& x) {
            in.read_string_fixed(x);
            return true;
        }
        template <class R>
        bool operator()(Kind::Record, const char*, R& x) {
            x.read(in);
            return true;
        }
        // Sized to the count first: surplus elements are destroyed, new ones built in the
        // list's block; then every element is read in place.
        template <class L>
        bool operator()(Kind::List, const char*, L& x) {
            x.resize(in.read_length(minElementSize<typename L::value_type>()));
            for (auto& e : x) element(e);
            return true;
        }

        void element(int& x) { x = in.read_int32(); }
        // An element of a list of strings keeps the bytes before the first NUL of the value.
        void element(bufstl::bufstring& x) { x = in.read_string(); }
        template <class R>
        void element(R& x) {
            x.read(in);
        }
    };
};

}  // namespace Orbanex
