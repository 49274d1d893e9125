#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <type_traits>

namespace Orbanex {

// Sign step of the free-form integer writer: appends '-' after the digits of a negative value
// (the text is reversed afterwards). Unsigned types write no sign.
template <bool IsSigned>
struct NegFixer {
    template <typename T>
    static char* make_negative(T, char* p) {
        return p;
    }
};

template <>
struct NegFixer<true> {
    template <typename T>
    static char* make_negative(T value, char* p) {
        if (value < 0) *p++ = '-';
        return p;
    }
};

// Sign step of the fixed-width writer: puts '-' just left of the leftmost digit at p.
template <bool IsSigned>
struct NegFixerFixed {
    template <typename T>
    static char* make_negative(T, char* p) {
        return p;
    }
};

template <>
struct NegFixerFixed<true> {
    template <typename T>
    static char* make_negative(T value, char* p) {
        if (value < 0) *--p = '-';
        return p;
    }
};

// Number and text conversion. The integer writers format every number of the system's text
// output (dumps, log lines, time stamps, table cells): they write into caller memory, never a
// NUL, never allocate and never consult a locale. All operations are thread-safe.
class Util {
  public:
    // Indexed from its centre (the '0' at CENTRE) by value % base. The remainder of a negative
    // value is negative and lands left of the centre on the digit of its magnitude, so negative
    // values are converted without negation and the most negative value of a type needs no
    // special case.
    static constexpr char DIGITS[] =
        "zyxwvutsrqponmlkjihgfedcba9876543210123456789abcdefghijklmnopqrstuvwxyz";
    static constexpr int CENTRE = 35;

    static constexpr double powers_of_10[10] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

    static constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

    // Writes value in base (2 to 36, lower-case letters) at result, most significant digit
    // first, '-' before a negative value; returns the count of characters. A bad base writes
    // nothing and returns 0. result needs room for the digits of T plus a sign.
    template <typename T>
    static int itoa_T(T value, char* result, unsigned int base) {
        if (base < 2 || base > 36) return 0;
        const T b = static_cast<T>(base);
        char* p = result;
        T v = value;
        do {
            *p++ = DIGITS[CENTRE + v % b];
            v /= b;
        } while (v != 0);
        p = NegFixer<std::is_signed<T>::value>::make_negative(value, p);
        std::reverse(result, p);
        return static_cast<int>(p - result);
    }

    // Fills exactly alignment characters at result with value right-aligned in base, the
    // positions on the left filled with fill; returns alignment (0 for a bad base or an
    // alignment below 1, writing nothing). High digits that do not fit are dropped, and so is
    // the sign of a negative value whose digits fill the width. The sign stands just before
    // the digits, so -5 in width 4 with fill '0' is "00-5".
    template <typename T>
    static int itoa_T_fixed(T value, char* result, int alignment, unsigned int base, char fill) {
        if (base < 2 || base > 36 || alignment < 1) return 0;
        const T b = static_cast<T>(base);
        char* p = result + alignment;
        T v = value;
        do {
            *--p = DIGITS[CENTRE + v % b];
            v /= b;
        } while (v != 0 && p > result);
        if (p == result) return alignment;
        p = NegFixerFixed<std::is_signed<T>::value>::make_negative(value, p);
        while (p > result) *--p = fill;
        return alignment;
    }

    static int stoa(short value, char* result, unsigned int base) {
        return itoa_T(value, result, base);
    }
    static int itoa(int value, char* result, unsigned int base) {
        return itoa_T(value, result, base);
    }
    static int ltoa(long value, char* result, unsigned int base) {
        return itoa_T(value, result, base);
    }
    static int lltoa(long long value, char* result, unsigned int base) {
        return itoa_T(value, result, base);
    }
    static int ustoa(unsigned short value, char* result, unsigned int base) {
        return itoa_T(value, result, base);
    }
    static int uitoa(unsigned int value, char* result, unsigned int base) {
        return itoa_T(value, result, base);
    }
    static int ultoa(unsigned long value, char* result, unsigned int base) {
        return itoa_T(value, result, base);
    }
    static int ulltoa(unsigned long long value, char* result, unsigned int base) {
        return itoa_T(value, result, base);
    }

    static int stoa_fixed(short value, char* result, int alignment, unsigned int base, char fill) {
        return itoa_T_fixed(value, result, alignment, base, fill);
    }
    static int itoa_fixed(int value, char* result, int alignment, unsigned int base, char fill) {
        return itoa_T_fixed(value, result, alignment, base, fill);
    }
    static int ltoa_fixed(long value, char* result, int alignment, unsigned int base, char fill) {
        return itoa_T_fixed(value, result, alignment, base, fill);
    }
    static int lltoa_fixed(long long value, char* result, int alignment, unsigned int base,
                           char fill) {
        return itoa_T_fixed(value, result, alignment, base, fill);
    }
    static int ustoa_fixed(unsigned short value, char* result, int alignment, unsigned int base,
                           char fill) {
        return itoa_T_fixed(value, result, alignment, base, fill);
    }
    static int uitoa_fixed(unsigned int value, char* result, int alignment, unsigned int base,
                           char fill) {
        return itoa_T_fixed(value, result, alignment, base, fill);
    }
    static int ultoa_fixed(unsigned long value, char* result, int alignment, unsigned int base,
                           char fill) {
        return itoa_T_fixed(value, result, alignment, base, fill);
    }
    static int ulltoa_fixed(unsigned long long value, char* result, int alignment,
                            unsigned int base, char fill) {
        return itoa_T_fixed(value, result, alignment, base, fill);
    }

    // Number of decimal digits of n; 0 for 0.
    static int ndigits(uint32_t n);

    // The decimal integer at s (strtoll) rescaled to exactly ndigits digits: every character
    // consumed counts as a digit (leading blanks, sign and zeros included), and the value is
    // multiplied or divided by 10 once per digit missing or in excess. Turns the digits after
    // a decimal point into a fraction: "5" with 9 digits is 500000000. Cut to 32 bits.
    static uint32_t atoin(const char* s, int ndigits);

    // Decimal text as a count of 10^-9 units: blanks, an optional '-', the integer part and an
    // optional fraction ('.' followed by a digit; digits past the ninth are dropped). Anything
    // after the number is ignored; text without a number gives 0. Magnitudes beyond the 64-bit
    // range wrap.
    static int64_t parseDecimal(const char* s);

    // Value of the longest run of decimal digits that ends at e and starts no earlier than s;
    // 0 when e < s or *e is not a digit.
    static int atoi(const char* s, const char* e);

    // The part of s after its last '/'. The first character is not examined, so "/c" stays
    // whole.
    static const char* basename(const char* s);

    // Writes up to 10 frames of the calling thread's stack, one per line.
    static void print_backtrace(std::ostream& os);

    // The whole file in a new NUL-terminated array (the caller frees it with delete[]); sz is
    // set to the file's size. Null, sz unchanged, when the file cannot be opened or is a
    // directory.
    static const char* readFile(const char* filename, size_t& sz);

    // s with every character other than A-Z, a-z and 0-9 replaced by replacement.
    static std::string cleanString(const std::string& s, char replacement);

    static bool startswith(const std::string& s, const std::string& prefix);

    // Whether the environment holds THIRD_PARTY_JAVA (any value).
    static bool isDeveloper();

    // Writes value with prec decimals (clamped to 0-9, truncated, not rounded) and a NUL at
    // str; returns the length without the NUL. NaN gives "nan"; infinities and magnitudes of
    // 2^64 and more are written in exponent form. str needs 32 bytes.
    static size_t modp_dtoa(double value, char* str, int prec);

    // Writes text; a null text writes nothing and sets badbit, as streaming a null char* would
    // without the crash, so the caller can tell from the stream that a value was missing.
    static std::ostream& writeText(std::ostream& os, const char* text);
};

}  // namespace Orbanex
