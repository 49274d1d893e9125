#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/Util.h"

using Orbanex::Util;

namespace {

struct WriterCase {
    const char* label;
    std::function<int(char*)> write;
    std::string expected;
};

// Runs each writer over a buffer pre-filled with '#', so that a stray byte (a NUL, a digit past
// the returned count) shows in the result.
void expectWriters(const std::vector<WriterCase>& cases) {
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.label);
        char buf[80];
        std::memset(buf, '#', sizeof buf);
        const int count = c.write(buf);
        EXPECT_EQ(buf[count], '#') << "wrote past its count";
        EXPECT_EQ(std::string(buf, static_cast<size_t>(count)), c.expected);
    }
}

}  // namespace

TEST(Util, FreeFormWritersInEveryBaseAndWidth) {
    const std::vector<WriterCase> cases = {
        {"itoa 0", [](char* b) { return Util::itoa(0, b, 10); }, "0"},
        {"itoa min", [](char* b) { return Util::itoa(INT_MIN, b, 10); }, "-2147483648"},
        {"itoa max", [](char* b) { return Util::itoa(INT_MAX, b, 10); }, "2147483647"},
        {"itoa base 36", [](char* b) { return Util::itoa(255, b, 36); }, "73"},
        {"itoa base 16", [](char* b) { return Util::itoa(255, b, 16); }, "ff"},
        {"itoa negative base 2", [](char* b) { return Util::itoa(-255, b, 2); }, "-11111111"},
        {"itoa base 1", [](char* b) { return Util::itoa(5, b, 1); }, ""},
        {"itoa base 37", [](char* b) { return Util::itoa(5, b, 37); }, ""},
        {"stoa min", [](char* b) { return Util::stoa(SHRT_MIN, b, 10); }, "-32768"},
        {"ustoa max hex", [](char* b) { return Util::ustoa(USHRT_MAX, b, 16); }, "ffff"},
        {"uitoa max", [](char* b) { return Util::uitoa(UINT_MAX, b, 10); }, "4294967295"},
        {"ltoa min", [](char* b) { return Util::ltoa(LONG_MIN, b, 10); }, "-9223372036854775808"},
        {"lltoa min hex", [](char* b) { return Util::lltoa(LLONG_MIN, b, 16); },
         "-8000000000000000"},
        {"lltoa base 36", [](char* b) { return Util::lltoa(-35, b, 36); }, "-z"},
        {"ultoa max", [](char* b) { return Util::ultoa(ULONG_MAX, b, 10); },
         "18446744073709551615"},
        {"ulltoa max hex", [](char* b) { return Util::ulltoa(ULLONG_MAX, b, 16); },
         "ffffffffffffffff"},
        {"ulltoa max binary", [](char* b) { return Util::ulltoa(ULLONG_MAX, b, 2); },
         std::string(64, '1')},
    };
    expectWriters(cases);
}

TEST(Util, FixedWidthWritersFillExactlyTheWidth) {
    const std::vector<WriterCase> cases = {
        {"pads", [](char* b) { return Util::itoa_fixed(7, b, 2, 10, '0'); }, "07"},
        {"drops high digits", [](char* b) { return Util::itoa_fixed(123, b, 2, 10, '0'); }, "23"},
        {"fill before sign", [](char* b) { return Util::itoa_fixed(-5, b, 4, 10, '0'); }, "00-5"},
        {"sign lost when digits fill", [](char* b) { return Util::itoa_fixed(-12, b, 2, 10, '0'); },
         "12"},
        {"sign fits", [](char* b) { return Util::itoa_fixed(-12, b, 3, 10, '0'); }, "-12"},
        {"zero blank fill", [](char* b) { return Util::itoa_fixed(0, b, 3, 10, ' '); }, "  0"},
        {"year", [](char* b) { return Util::uitoa_fixed(2024, b, 4, 10, '0'); }, "2024"},
        {"micros", [](char* b) { return Util::ltoa_fixed(42, b, 6, 10, '0'); }, "000042"},
        {"hex", [](char* b) { return Util::ulltoa_fixed(255, b, 4, 16, '0'); }, "00ff"},
        {"short min", [](char* b) { return Util::stoa_fixed(SHRT_MIN, b, 7, 10, ' '); }, " -32768"},
        {"ushort", [](char* b) { return Util::ustoa_fixed(9, b, 2, 10, '0'); }, "09"},
        {"ulong", [](char* b) { return Util::ultoa_fixed(ULONG_MAX, b, 3, 10, '0'); }, "615"},
        {"long long min", [](char* b) { return Util::lltoa_fixed(LLONG_MIN, b, 20, 10, '0'); },
         "-9223372036854775808"},
        {"bad base", [](char* b) { return Util::itoa_fixed(5, b, 3, 37, '0'); }, ""},
        {"no width", [](char* b) { return Util::itoa_fixed(5, b, 0, 10, '0'); }, ""},
    };
    expectWriters(cases);
}

TEST(Util, NdigitsCountsDecimalDigits) {
    EXPECT_EQ(Util::ndigits(0), 0);
    EXPECT_EQ(Util::ndigits(9), 1);
    EXPECT_EQ(Util::ndigits(10), 2);
    EXPECT_EQ(Util::ndigits(UINT32_MAX), 10);
}

TEST(Util, AtoinRescalesToTheDigitCount) {
    const struct {
        const char* text;
        int ndigits;
        uint32_t expected;
    } cases[] = {
        {"05", 3, 50},  // the leading zero counts as a digit
        {" 5", 2, 5},   // so does the blank
        {"5", 9, 500000000},
        {"25", 9, 250000000},
        {"123456789", 9, 123456789},
        {"1234567891", 9, 123456789},
        {"", 9, 0},
        {"9", 40, 0},  // 9 * 10^39 is a multiple of 2^32
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Util::atoin(c.text, c.ndigits), c.expected);
    }
}

TEST(Util, ParseDecimalGivesNanoUnits) {
    const struct {
        const char* text;
        int64_t expected;
    } cases[] = {
        {"-1.5", -1500000000},
        {"  2.", 2000000000},
        {".25", 250000000},
        {"-0.5", -500000000},
        {"0.000000001", 1},
        {"12.3456789012", 12345678901},
        {"1.5x", 1500000000},
        {"3abc", 3000000000},
        {"1.-5", 1000000000},
        {"abc", 0},
        {"", 0},
        {"9223372036.854775807", INT64_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Util::parseDecimal(c.text), c.expected);
    }
}

TEST(Util, AtoiReadsTheDigitRunEndingAtE) {
    const char* text = "12a34";
    EXPECT_EQ(Util::atoi(text, text + 4), 34);
    EXPECT_EQ(Util::atoi(text, text + 1), 12);
    EXPECT_EQ(Util::atoi(text, text + 2), 0);
    EXPECT_EQ(Util::atoi(text + 1, text), 0);
    EXPECT_EQ(Util::atoi(text + 1, text + 1), 2);  // stops at s
    const char* zeros = "0042";
    EXPECT_EQ(Util::atoi(zeros, zeros + 3), 42);
}

TEST(Util, BasenameKeepsTheTextAfterTheLastSlash) {
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"a/b/c", "c"}, {"/c", "/c"}, {"c", "c"}, {"a/", ""}, {"/a/b", "b"}, {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(Util::basename(c.path), c.expected);
    }
}

TEST(Util, TextHelpers) {
    EXPECT_EQ(Util::cleanString("a-b c_9Z", '_'), "a_b_c_9Z");
    EXPECT_TRUE(Util::startswith("Logger", "Log"));
    EXPECT_TRUE(Util::startswith("Logger", ""));
    EXPECT_FALSE(Util::startswith("Lo", "Log"));
    EXPECT_FALSE(Util::startswith("Logger", "log"));
}

TEST(Util, IsDeveloperFollowsTheEnvironment) {
    const char* saved = std::getenv("THIRD_PARTY_JAVA");
    const std::string previous = saved != nullptr ? saved : "";
    unsetenv("THIRD_PARTY_JAVA");
    EXPECT_FALSE(Util::isDeveloper());
    setenv("THIRD_PARTY_JAVA", "", 1);
    EXPECT_TRUE(Util::isDeveloper());
    if (saved != nullptr) {
        setenv("THIRD_PARTY_JAVA", previous.c_str(), 1);
    } else {
        unsetenv("THIRD_PARTY_JAVA");
    }
}

TEST(Util, ReadFileReturnsTheWholeFileTerminated) {
    char path[] = "/tmp/utiltest-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::string content("ab\0cd", 5);
    std::ofstream(path, std::ios::binary) << content;

    size_t sz = 0;
    const char* data = Util::readFile(path, sz);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(sz, 5u);
    EXPECT_EQ(std::string(data, sz), content);
    EXPECT_EQ(data[sz], '\0');
    delete[] data;
    std::remove(path);

    sz = 77;
    EXPECT_EQ(Util::readFile(path, sz), nullptr);
    EXPECT_EQ(sz, 77u);
    // A directory opens for reading, but has no content to read.
    EXPECT_EQ(Util::readFile(::testing::TempDir().c_str(), sz), nullptr);
    EXPECT_EQ(sz, 77u);
}

TEST(Util, PrintBacktraceWritesAHeaderAndFrames) {
    std::ostringstream os;
    Util::print_backtrace(os);
    const std::string text = os.str();
    EXPECT_EQ(text.rfind("Backtrace: \n", 0), 0u);
    EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST(Util, ModpDtoaTruncatesToThePrecision) {
    const struct {
        double value;
        int prec;
        const char* expected;
    } cases[] = {
        {2.5, 2, "2.50"},
        {0.005, 3, "0.005"},
        {1.999, 2, "1.99"},
        {-0.25, 1, "-0.2"},
        {3.7, 0, "3"},
        {0.0, 3, "0.000"},
        {-1.5, 12, "-1.500000000"},  // precision clamped to 9
        {1e19, 1, "10000000000000000000.0"},
        {1e20, 2, "1.00e+20"},
        {-1e300, 0, "-1e+300"},
        {std::numeric_limits<double>::infinity(), 2, "inf"},
        {std::nan(""), 2, "nan"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        char buf[32];
        const size_t n = Util::modp_dtoa(c.value, buf, c.prec);
        EXPECT_STREQ(buf, c.expected);
        EXPECT_EQ(n, std::strlen(c.expected));
    }
}
