#pragma once

// The field kinds of the catalogue, as the generated classes name them in their field lists.
//
// Every generated record and message lists its fields once, in declaration order (which is the
// order of encoding, comparison and text):
//
//   template <class F, class... X>
//   static bool fields(F& f, X&... x) {
//       return f(Kind::INT32, "feedID", x.feedID...) &&
//              f(Kind::STRING, "name", x.name...);
//   }
//
// f is called with the field's kind, its declared name and that field of each object in x (one
// object to encode or decode, two to compare), until it returns false; fields() returns whether
// it never did. The work per kind lives in the visitors (FieldCodec, FieldCompare, FieldBounds,
// FieldText), overloaded on these tags, so the generated code holds nothing but the lists.
//
// The C++ type of a field does not always tell its kind: an int64_t is an int64 or a decimal, a
// bufstring a plain, scrambled or fixed-length string, an enumeration's Type needs its class.
// Lists and records are told by their type: the element of a LIST is an int (int32), a
// bufstring (string) or a record.

namespace Orbanex {
namespace Kind {

struct Int8 {};
struct Int16 {};
struct Int32 {};
struct Int64 {};
// An amount or price: the raw int64_t of a fixed-point decimal (NMA, NDA and NA included).
struct Decimal {};
struct Bool {};
struct String {};
// A string whose encoded bytes are scrambled; plain in memory and in text.
struct CryptString {};
// A string whose length prefix is two bytes little-endian.
struct FixedString {};
// A field of enumeration class E: E::Type in memory, its low byte in the encoding.
template <class E>
struct Enum {
    typedef E Class;
};
// A record held in place.
struct Record {};
// A bufvector or bufvectox: count, then the elements.
struct List {};

inline constexpr Int8 INT8{};
inline constexpr Int16 INT16{};
inline constexpr Int32 INT32{};
inline constexpr Int64 INT64{};
inline constexpr Decimal DECIMAL{};
inline constexpr Bool BOOL{};
inline constexpr String STRING{};
inline constexpr CryptString CRYPT_STRING{};
inline constexpr FixedString FIXED_STRING{};
template <class E>
inline constexpr Enum<E> ENUM{};
inline constexpr Record RECORD{};
inline constexpr List LIST{};

}  // namespace Kind
}  // namespace Orbanex
