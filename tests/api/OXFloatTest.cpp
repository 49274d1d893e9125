#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "ApiTestUtil.h"
#include "api/OXFloat.h"

using apitest::E9;
using ZURAV::OXFloat;

namespace {

// Whether an OXFloat can be multiplied by, or multiplied in place by, a Factor.
template <class Factor, class = void>
struct Multiplies : std::false_type {};
template <class Factor>
struct Multiplies<Factor,
                  std::void_t<decltype(std::declval<const OXFloat&>() * std::declval<Factor>())>>
    : std::true_type {};
template <class Factor, class = void>
struct MultipliesInPlace : std::false_type {};
template <class Factor>
struct MultipliesInPlace<Factor,
                         std::void_t<decltype(std::declval<OXFloat&>() *= std::declval<Factor>())>>
    : std::true_type {};

// Whether a Number can be added to, compared with or assigned to an OXFloat.
template <class Number, class = void>
struct MixesWith : std::false_type {};
template <class Number>
struct MixesWith<Number,
                 std::void_t<decltype(std::declval<const OXFloat&>() + std::declval<Number>()),
                             decltype(std::declval<const OXFloat&>() == std::declval<Number>()),
                             decltype(std::declval<OXFloat&>() = std::declval<Number>())>>
    : std::true_type {};

// A floating-point value never becomes a raw count of billionths, explicitly or not.
template <class T>
constexpr bool NEVER_A_RAW_COUNT =
    !std::is_constructible<OXFloat, T>::value && !std::is_convertible<T, OXFloat>::value &&
    !Multiplies<T>::value && !MultipliesInPlace<T>::value && !MixesWith<T>::value;
static_assert(NEVER_A_RAW_COUNT<float>, "float");
static_assert(NEVER_A_RAW_COUNT<double>, "double");
static_assert(NEVER_A_RAW_COUNT<long double>, "long double");
static_assert(NEVER_A_RAW_COUNT<const double&>, "const double&");

// The raw count, the double with its decimals and the text still make an OXFloat; the raw count
// only explicitly.
static_assert(std::is_constructible<OXFloat, int64_t>::value, "int64_t");
static_assert(std::is_constructible<OXFloat, int>::value, "int");
static_assert(!std::is_convertible<int64_t, OXFloat>::value, "int64_t implicitly");
static_assert(std::is_constructible<OXFloat, double, int>::value, "double, int");
static_assert(std::is_constructible<OXFloat, int, int>::value, "int, int");
static_assert(std::is_constructible<OXFloat, const char*>::value, "const char*");
static_assert(std::is_constructible<OXFloat, std::string>::value, "std::string");
static_assert(Multiplies<int32_t>::value && Multiplies<int64_t>::value, "integer factors");
static_assert(MultipliesInPlace<int32_t>::value && MultipliesInPlace<int64_t>::value,
              "integer factors in place");

}  // namespace

TEST(OXFloat, AmountsAndPricesFromNumbersTextAndRawCounts) {
    struct Case {
        const char* how;
        OXFloat value;
        int64_t raw;
    } cases[] = {
        {"OXFloat(1.08485, 5)", OXFloat(1.08485, 5), 108485 * E9 / 100000},
        {"OXFloat(\"1.08485\")", OXFloat("1.08485"), 108485 * E9 / 100000},
        {"OXFloat(std::string(\"1.08485\"))", OXFloat(std::string("1.08485")),
         108485 * E9 / 100000},
        {"OXFloat(int64_t{1084850000})", OXFloat(int64_t{1084850000}), 108485 * E9 / 100000},
        {"OXFloat(1000000, 0)", OXFloat(1000000, 0), 1000000 * E9},
        {"OXFloat(\"1000000\")", OXFloat("1000000"), 1000000 * E9},
        {"OXFloat(1000000 * E9)", OXFloat(1000000 * E9), 1000000 * E9},
        // An integer alone is a raw count: one million billionths.
        {"OXFloat(1000000)", OXFloat(1000000), 1000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        EXPECT_EQ(c.value.toInt(), c.raw);
    }
    EXPECT_EQ(OXFloat(1000000).toString(), "0.001000000");
}

TEST(OXFloat, SentinelsHoldTheirRawValuesAndNames) {
    EXPECT_EQ(OXFloat::NMA.toInt(), INT64_MIN + 1);
    EXPECT_EQ(OXFloat::NDA.toInt(), INT64_MIN + 2);
    EXPECT_EQ(OXFloat::NA.toInt(), INT64_MIN + 3);
    EXPECT_EQ(OXFloat::ZERO.toInt(), 0);
    EXPECT_EQ(ZURAV::iNA, INT64_MIN + 3);
    EXPECT_EQ(OXFloat::NMA.toString(), "NMA");
    EXPECT_EQ(OXFloat::NDA.toString(), "NDA");
    char buf[OXFloat::TEXT_SIZE];
    EXPECT_EQ(OXFloat::NA.toString(buf), 3u);
    EXPECT_STREQ(buf, "N/A");
}

TEST(OXFloat, PrintsSignIntegerPartAndNineDecimals) {
    struct Case {
        int64_t raw;
        const char* text;
    } cases[] = {
        {3 * E9 / 2, "1.500000000"},
        {-E9 / 2, "-0.500000000"},
        {-(E9 + 5), "-1.000000005"},
        {0, "0.000000000"},
        {-5, "-0.000000005"},
        {1, "0.000000001"},
        {INT64_MAX, "9223372036.854775807"},
        // A peer can send the lowest raw value; its magnitude does not fit in int64_t.
        {INT64_MIN, "-9223372036.854775808"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char buf[OXFloat::TEXT_SIZE];
        EXPECT_EQ(OXFloat(c.raw).toString(buf), std::strlen(c.text));
        EXPECT_STREQ(buf, c.text);
        std::ostringstream os;
        os << OXFloat(c.raw);
        EXPECT_EQ(os.str(), c.text);
    }
}

TEST(OXFloat, ParsesDecimalText) {
    struct Case {
        const char* text;
        int64_t raw;
    } cases[] = {
        {"1.5", 3 * E9 / 2},
        {"-1.5", -3 * E9 / 2},
        {".25", E9 / 4},
        {".5", E9 / 2},
        {"3", 3 * E9},
        {"3.", 3 * E9},
        {"7", 7 * E9},
        {"-0.000000001", -1},
        {"1,5", 3 * E9 / 2},
        {"1.1234567891", 1123456789},  // the tenth decimal is cut, not rounded
        {"1e5", 3 * E9 / 2},           // any one character separates the fraction
        {"-.5", -E9 / 2},
        {"+2.25", 9 * E9 / 4},
        // A leading '-' and then the integer part as strtoll reads it, white space and a sign.
        {"-+1.5", -3 * E9 / 2},
        {"- 1.5", -3 * E9 / 2},
        {"-\t+0.25", -E9 / 4},
        // The fraction takes the sign also behind white space or a sign that strtoll reads.
        {" -1.5", -3 * E9 / 2},
        {" -0.5", -E9 / 2},
        {"\t2.5", 5 * E9 / 2},
        {"\n\v\f\r 3", 3 * E9},
        {"9223372036.854775807", INT64_MAX},
        {"-9223372036.854775804", INT64_MIN + 4},
        {"0.0000000001", 0},
        {"1.00000000000000000000009", E9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(OXFloat(c.text).toInt(), c.raw);
        EXPECT_EQ(OXFloat(std::string(c.text)).toInt(), c.raw);
    }
}

TEST(OXFloat, TextWithoutAFittingNumberIsNA) {
    const char* cases[] = {"", "-", "x1", "abc",
                           // Without digits, only a point may stand where the integer part begins.
                           " .5", "+.5", "- .5", "+-1.5",
                           // Two minus signs, or a fraction behind a sign or white space,
                           // would give a wrong amount.
                           "--1", "--1.5", "- -1.5", "1.-5", "1. 5",
                           "9223372037",            // the integer part does not fit
                           "9223372036.854775808",  // the whole amount does not fit
                           "99999999999999999999999.5",
                           "-9223372036.854775805"};  // would be a sentinel
    for (const char* c : cases) {
        SCOPED_TRACE(c);
        EXPECT_EQ(OXFloat(c).toInt(), ZURAV::iNA);
    }
    EXPECT_EQ(OXFloat(static_cast<const char*>(nullptr)).toInt(), ZURAV::iNA);
}

TEST(OXFloat, RoundsDoublesToThePrecisionTiesToEven) {
    struct Case {
        double value;
        int precision;
        int64_t raw;
    } cases[] = {
        {1.23456, 2, 123 * E9 / 100}, {0.125, 2, 12 * E9 / 100}, {2.5, 0, 2 * E9}, {3.5, 0, 4 * E9},
        {-1.5, 9, -3 * E9 / 2},       {1.5, 1, 3 * E9 / 2},      {0.0, 9, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(OXFloat(c.value, c.precision).toInt(), c.raw);
    }
    EXPECT_DOUBLE_EQ(OXFloat(3 * E9 / 2).toDouble(), 1.5);
}

TEST(OXFloat, RejectsBadPrecisionsAndValuesWithTheirTexts) {
    auto message = [](double value, int precision) {
        return apitest::thrown<std::out_of_range>([&] { OXFloat(value, precision); });
    };
    EXPECT_EQ(message(1.5, 10), "Invalid precision '10' should be in the [0...9] range.");
    EXPECT_EQ(message(1.5, -1), "Invalid precision '-1' should be in the [0...9] range.");
    const std::string range = "' should be between -9.22337e+09 and 9.22337e+09.";
    EXPECT_EQ(message(1e10, 2), "Invalid value '1e+10" + range);
    EXPECT_EQ(message(-1e10, 2), "Invalid value '-1e+10" + range);
    // Passes the range test, but its scaled value does not fit in 64 bits.
    EXPECT_EQ(message(9223372036.854776, 9), "Invalid value '9.22337e+09" + range);
    EXPECT_EQ(message(std::nan(""), 2), "Invalid value 'nan" + range);
}

TEST(OXFloat, ComparesByRawValueSoSentinelsSortFirst) {
    const OXFloat one(E9), two(2 * E9), lowest(-9 * E9);
    EXPECT_TRUE(OXFloat::NA < lowest);
    EXPECT_TRUE(OXFloat::NMA < OXFloat::NA);
    EXPECT_TRUE(one < two && two > one && one <= one && one >= one && one != two);
    EXPECT_EQ(one.compare(two), -1);
    EXPECT_EQ(two.compare(one), 1);
    EXPECT_EQ(one.compare(OXFloat(E9)), 0);
    EXPECT_TRUE(OXFloat::isValid(one));
    EXPECT_FALSE(OXFloat::isValid(OXFloat::NA));
    EXPECT_FALSE(OXFloat::isValid(OXFloat::NMA));
}

TEST(OXFloat, ArithmeticOnAmountsAndNAForSentinelsOrOverflow) {
    OXFloat x(3 * E9 / 2);
    EXPECT_EQ((x + OXFloat(E9)).toInt(), 5 * E9 / 2);
    EXPECT_EQ((x - OXFloat(2 * E9)).toInt(), -E9 / 2);
    EXPECT_EQ((x * int32_t{3}).toInt(), 9 * E9 / 2);
    EXPECT_EQ((x * int64_t{-2}).toInt(), -3 * E9);
    x += OXFloat(E9);
    x -= OXFloat(E9 / 2);
    x *= int32_t{2};
    EXPECT_EQ(x.toInt(), 4 * E9);
    EXPECT_EQ(x + OXFloat::NA, OXFloat::NA);
    EXPECT_EQ(OXFloat::NDA * int64_t{2}, OXFloat::NA);
    EXPECT_EQ(OXFloat(INT64_MAX) + OXFloat(int64_t{1}), OXFloat::NA);
    EXPECT_EQ(OXFloat(INT64_MAX) * int64_t{2}, OXFloat::NA);
}
