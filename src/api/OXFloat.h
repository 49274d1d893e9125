#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <type_traits>

#include "framework/FastCodec.h"

namespace ZURAV {

// Raw values of the three sentinels, the same values the codec writes as single bytes.
constexpr int64_t iNMA = Tarvik::NMA;
constexpr int64_t iNDA = Tarvik::NDA;
constexpr int64_t iNA = Tarvik::NA;

// An exact decimal: the amount times 10^9 in a signed 64-bit raw value, or one of the sentinels
// NMA, NDA and NA (the lowest 64-bit value plus 1, 2 and 3), which stand for an absent amount and
// sort below every real one. A plain value: no shared state, any thread.
//
// Making an amount or a price from a number:
//   OXFloat(1.08485, 5)     a double, rounded to the decimals it is meant to have
//   OXFloat(1000000, 0)     a whole amount: one million
//   OXFloat("1.08485")      decimal text, exact
// OXFloat(int64_t) is the raw form, for a count of billionths as toInt() gives it or as it
// travels on the wire: OXFloat(int64_t{1084850000}) is 1.08485, and OXFloat(1000000) is 0.001,
// not one million. A floating-point value never becomes a raw count: OXFloat(1.08485), an
// implicit conversion from a double, and operator* or *= with a floating-point factor do not
// compile. One pip under a price of five decimals: price - OXFloat("0.0001"), or in the
// market's ticks, price - market.minIncrement * 10.
class OXFloat {
    template <typename T>
    using IfFloating = std::enable_if_t<std::is_floating_point<T>::value, int>;

  public:
    static const OXFloat NMA;
    static const OXFloat NDA;
    static const OXFloat NA;
    static const OXFloat ZERO;

    // NA: the absence of an amount.
    constexpr OXFloat() : _value(iNA) {}
    // The raw value, a count of billionths, unchanged.
    constexpr explicit OXFloat(int64_t raw) : _value(raw) {}
    // A floating-point number is never a raw count: give its decimals, OXFloat(1.08485, 5).
    template <typename T, IfFloating<T> = 0>
    OXFloat(T) = delete;
    // dvalue rounded to `precision` decimals by the current rounding mode (ties to even by
    // default). Throws std::out_of_range for a precision outside 0 to 9, and for a value outside
    // MIN_DOUBLE..MAX_DOUBLE, not a number, or whose scaled value does not fit in 64 bits.
    OXFloat(double dvalue, int precision);
    // Decimal text: an optional '-' as the first character; the integer part, which may start
    // with white space and one sign of its own ("- 1.5" and "-+1.5" are -1.5), or a point where
    // the integer part would start (".5"); any one separator character ('.', ',' or anything
    // else) and up to nine fraction digits (more are cut, not rounded). Text without a number,
    // with two minus signs, with a fraction behind white space or a sign, or whose amount does
    // not fit, gives NA; so does a null pointer.
    explicit OXFloat(const char* val);
    explicit OXFloat(const std::string& val);

    int64_t toInt() const { return _value; }
    // The raw value divided by 1e9; the sentinels are not treated apart.
    double toDouble() const { return static_cast<double>(_value) / 1e9; }
    // Writes the text and a NUL at buf (at least TEXT_SIZE bytes); returns the text's length.
    // "NMA", "NDA", "N/A", or an optional '-', the integer part and exactly nine decimals.
    size_t toString(char* buf) const;
    std::string toString() const;

    static constexpr size_t TEXT_SIZE = 22;

    bool operator==(const OXFloat& o) const { return _value == o._value; }
    bool operator!=(const OXFloat& o) const { return _value != o._value; }
    bool operator<(const OXFloat& o) const { return _value < o._value; }
    bool operator<=(const OXFloat& o) const { return _value <= o._value; }
    bool operator>(const OXFloat& o) const { return _value > o._value; }
    bool operator>=(const OXFloat& o) const { return _value >= o._value; }
    // -1, 0 or 1 as the raw value is less than, equal to or greater than o's.
    int compare(const OXFloat& o) const { return _value < o._value ? -1 : _value > o._value; }

    // Arithmetic on real amounts. A sentinel operand, or a result that does not fit in 64 bits,
    // gives NA.
    OXFloat operator+(const OXFloat& o) const;
    OXFloat operator-(const OXFloat& o) const;
    OXFloat& operator+=(const OXFloat& o) { return *this = *this + o; }
    OXFloat& operator-=(const OXFloat& o) { return *this = *this - o; }
    OXFloat operator*(int32_t factor) const { return *this * static_cast<int64_t>(factor); }
    OXFloat operator*(int64_t factor) const;
    OXFloat& operator*=(int32_t factor) { return *this = *this * factor; }
    OXFloat& operator*=(int64_t factor) { return *this = *this * factor; }
    // A factor is a whole number: a floating-point one does not compile, rather than being cut
    // to one.
    template <typename T, IfFloating<T> = 0>
    OXFloat operator*(T) const = delete;
    template <typename T, IfFloating<T> = 0>
    OXFloat& operator*=(T) = delete;

    // True for a real amount, false for NMA, NDA and NA.
    static bool isValid(const OXFloat& x) { return x._value > iNA || x._value < iNMA; }

  private:
    int64_t _value;
};

std::ostream& operator<<(std::ostream& os, const OXFloat& x);

}  // namespace ZURAV
