#include "api/OXFloat.h"

#include <cmath>
#include <cstring>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "common/Util.h"

namespace ZURAV {

namespace {

constexpr int64_t SCALE = 1000000000;
constexpr int DECIMALS = 9;

// The double nearest to the largest 64-bit integer divided by 10^9, and its negative.
constexpr double MAX_DOUBLE = 9223372036.854776;
constexpr double MIN_DOUBLE = -9223372036.854776;

// Entry p: 10^(9 - p).
constexpr int64_t IPOW10[DECIMALS + 1] = {1000000000, 100000000, 10000000, 1000000, 100000,
                                          10000,      1000,      100,      10,      1};

[[noreturn]] void throwBadValue(double dvalue) {
    std::ostringstream os;
    os << "Invalid value '" << dvalue << "' should be between " << MIN_DOUBLE << " and "
       << MAX_DOUBLE << ".";
    throw std::out_of_range(os.str());
}

// White space as strtoll skips it in the "C" locale, without the library call.
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int64_t parse(const char* s) {
    if (s == nullptr) return iNA;
    // A '-' as the very first character is the amount's sign.
    const bool leadingMinus = *s == '-';
    const char* start = leadingMinus ? s + 1 : s;
    // From there the integer part is read as strtoll reads it: white space, one sign, digits.
    const char* p = start;
    while (isSpace(*p)) ++p;
    bool innerMinus = false;
    if (*p == '-' || *p == '+') innerMinus = *p++ == '-';
    const char* digits = p;
    uint64_t integer = 0;
    for (; Orbanex::Util::isDigit(*p); ++p) {
        integer = integer * 10 + static_cast<uint64_t>(*p - '0');
        if (integer > static_cast<uint64_t>(INT64_MAX) / SCALE) return iNA;
    }
    if (p == digits) {
        // No digits: strtoll stops where it started, and only a point may stand there.
        if (*start != '.') return iNA;
        p = start;
    }
    // Two minus signs would negate the amount twice: no sound value.
    if (leadingMinus && innerMinus) return iNA;
    // Whatever one character follows the integer part separates it from the fraction.
    uint64_t fraction = 0;
    if (*p != '\0') {
        ++p;
        // A fraction behind white space or a sign would be read shifted or negated.
        if (isSpace(*p) || *p == '-' || *p == '+') return iNA;
        for (int i = 0; i < DECIMALS; ++i) {
            fraction *= 10;
            if (Orbanex::Util::isDigit(*p)) fraction += static_cast<uint64_t>(*p++ - '0');
        }
    }
    const uint64_t magnitude = integer * SCALE + fraction;
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return iNA;
    const int64_t value = static_cast<int64_t>(magnitude);
    // The fraction takes the sign also where strtoll read it (" -1.5"); added to a negative
    // integer part it would pull the amount towards zero. A negative amount so large that it
    // meets the sentinels is no amount either.
    return leadingMinus || innerMinus ? (-value <= iNA ? iNA : -value) : value;
}

}  // namespace

const OXFloat OXFloat::NMA(iNMA);
const OXFloat OXFloat::NDA(iNDA);
const OXFloat OXFloat::NA(iNA);
const OXFloat OXFloat::ZERO(int64_t{0});

OXFloat::OXFloat(double dvalue, int precision) {
    if (precision < 0 || precision > DECIMALS) {
        throw std::out_of_range("Invalid precision '" + std::to_string(precision) +
                                "' should be in the [0...9] range.");
    }
    if (std::isnan(dvalue) || dvalue < MIN_DOUBLE || dvalue > MAX_DOUBLE) throwBadValue(dvalue);
    // nearbyint rounds by the current mode, as lrint does, without its overflow.
    const double rounded = std::nearbyint(dvalue * Orbanex::Util::powers_of_10[precision]);
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
        throwBadValue(dvalue);
    }
    long long scaled;
    if (__builtin_mul_overflow(static_cast<long long>(rounded), IPOW10[precision], &scaled)) {
        throwBadValue(dvalue);
    }
    _value = scaled;
}

OXFloat::OXFloat(const char* val) : _value(parse(val)) {}

OXFloat::OXFloat(const std::string& val) : _value(parse(val.c_str())) {}

size_t OXFloat::toString(char* buf) const {
    const char* sentinel = _value == iNMA   ? "NMA"
                           : _value == iNDA ? "NDA"
                           : _value == iNA  ? "N/A"
                                            : nullptr;
    if (sentinel != nullptr) {
        std::memcpy(buf, sentinel, 4);
        return 3;
    }
    // The magnitude in unsigned arithmetic, so that the lowest 64-bit value prints too.
    const uint64_t magnitude =
        _value < 0 ? uint64_t{0} - static_cast<uint64_t>(_value) : static_cast<uint64_t>(_value);
    size_t n = 0;
    if (_value < 0) buf[n++] = '-';
    n += static_cast<size_t>(Orbanex::Util::ulltoa(magnitude / SCALE, buf + n, 10));
    buf[n++] = '.';
    n += static_cast<size_t>(
        Orbanex::Util::ulltoa_fixed(magnitude % SCALE, buf + n, DECIMALS, 10, '0'));
    buf[n] = '\0';
    return n;
}

std::string OXFloat::toString() const {
    char buf[TEXT_SIZE];
    return std::string(buf, toString(buf));
}

OXFloat OXFloat::operator+(const OXFloat& o) const {
    long long sum;
    if (!isValid(*this) || !isValid(o) || __builtin_add_overflow(_value, o._value, &sum)) {
        return NA;
    }
    return OXFloat(static_cast<int64_t>(sum));
}

OXFloat OXFloat::operator-(const OXFloat& o) const {
    long long difference;
    if (!isValid(*this) || !isValid(o) || __builtin_sub_overflow(_value, o._value, &difference)) {
        return NA;
    }
    return OXFloat(static_cast<int64_t>(difference));
}

OXFloat OXFloat::operator*(int64_t factor) const {
    long long product;
    if (!isValid(*this) || __builtin_mul_overflow(_value, factor, &product)) return NA;
    return OXFloat(static_cast<int64_t>(product));
}

std::ostream& operator<<(std::ostream& os, const OXFloat& x) {
    char buf[OXFloat::TEXT_SIZE];
    return os.write(buf, static_cast<std::streamsize>(x.toString(buf)));
}

}  // namespace ZURAV
