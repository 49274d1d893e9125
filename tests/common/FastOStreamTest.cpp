#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/FastOStream.h"

using Orbanex::FastOStream;
using Orbanex::StaticOStream;

namespace {

// A stream over a heap array of exactly n bytes: under AddressSanitizer a write one byte past
// the end fails the test.
class ExactBuffer {
  public:
    explicit ExactBuffer(size_t n)
        : _data(new char[n]), _size(n), _os(_data.get(), _data.get() + n) {
        std::memset(_data.get(), '#', n);
    }
    FastOStream& os() { return _os; }
    std::string text() const { return std::string(_data.get(), _os.size()); }
    std::string all() const { return std::string(_data.get(), _size); }

  private:
    std::unique_ptr<char[]> _data;
    size_t _size;
    FastOStream _os;
};

std::string written(StaticOStream<256>& os) { return std::string(os.buffer(), os.size()); }

}  // namespace

TEST(FastOStream, NewStreamIsEmptyAndEndsWithOneNul) {
    char buf[8];
    FastOStream os(buf, buf + sizeof buf);
    EXPECT_EQ(os.size(), 0u);
    EXPECT_EQ(os.free(), sizeof buf);
    EXPECT_EQ(os.ends(), buf);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(os.size(), 1u);
}

TEST(FastOStream, FendsTerminatesOnce) {
    StaticOStream<256> os;
    os << "abc" << Orbanex::fends << Orbanex::fends;
    EXPECT_EQ(os.size(), 4u);
    EXPECT_EQ(written(os), std::string("abc\0", 4));
}

TEST(FastOStream, StringsStopAtNulUnlessWrittenByLength) {
    const std::string withNul("a\0b", 3);
    StaticOStream<256> os;
    os << withNul << '|';
    os.write(withNul.data(), withNul.size());
    os << static_cast<const char*>(nullptr) << Orbanex::fendl;
    EXPECT_EQ(written(os), std::string("a|a\0b\n", 6));
}

TEST(FastOStream, AdvanceMovesOverTextWrittenAtTheCursor) {
    StaticOStream<256> os;
    os << 'x';
    os.advance(static_cast<size_t>(Orbanex::Util::itoa(-42, os.current(), 10)));
    os << 'y';
    EXPECT_EQ(written(os), "x-42y");
}

TEST(FastOStream, WritePadCutsOrFillsToTheWidth) {
    StaticOStream<256> os;
    os.write_pad("Logger", 10, ' ');
    os << '|';
    os.write_pad("Logger", 4, ' ');
    os << '|';
    os.write_pad(nullptr, 2, '.');
    EXPECT_EQ(written(os), "Logger    |Logg|..");
}

TEST(FastOStream, NumbersInDecimal) {
    const struct {
        const char* label;
        std::function<void(FastOStream&)> put;
        const char* expected;
    } cases[] = {
        {"int min", [](FastOStream& os) { os << INT_MIN; }, "-2147483648"},
        {"short min", [](FastOStream& os) { os << static_cast<short>(SHRT_MIN); }, "-32768"},
        {"ushort", [](FastOStream& os) { os << static_cast<unsigned short>(65535); }, "65535"},
        {"unsigned", [](FastOStream& os) { os << UINT_MAX; }, "4294967295"},
        {"long min", [](FastOStream& os) { os << LONG_MIN; }, "-9223372036854775808"},
        {"ulong max", [](FastOStream& os) { os << ULONG_MAX; }, "18446744073709551615"},
        {"long long", [](FastOStream& os) { os << -42LL; }, "-42"},
        {"ull max", [](FastOStream& os) { os << ULLONG_MAX; }, "18446744073709551615"},
        {"char", [](FastOStream& os) { os << 'x'; }, "x"},
        {"double", [](FastOStream& os) { os << 1.5; }, "1.50000"},
        {"float", [](FastOStream& os) { os << 0.25f; }, "0.25000"},
        {"precision 2",
         [](FastOStream& os) {
             os.setprecision(2);
             os << 1.5 << ' ' << 2.125f;
         },
         "1.50 2.12"},
        {"precision 0",
         [](FastOStream& os) {
             os.setprecision(0);
             os << 2.0;
         },
         "2"},
        {"precision clamped to 9",
         [](FastOStream& os) {
             os.setprecision(12);
             os << 0.5;
         },
         "0.500000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        StaticOStream<256> os;
        c.put(os);
        EXPECT_EQ(written(os), c.expected);
    }
}

TEST(FastOStream, FerrorWritesTheErrnoText) {
    StaticOStream<256> os;
    os << 'a';
    errno = 0;
    os << Orbanex::ferror;
    EXPECT_EQ(written(os), "a");

    errno = ENOENT;
    os << Orbanex::ferror;
    EXPECT_EQ(written(os), std::string("a") + std::strerror(ENOENT));

    std::ostringstream ss;
    errno = 0;
    ss << Orbanex::ferror << '|';
    errno = EACCES;
    ss << std::error;
    EXPECT_EQ(ss.str(), std::string("|") + std::strerror(EACCES));
    errno = 0;
}

// Every writer, given less room than its text needs, cuts the text at the end of the buffer,
// never writes past it and leaves the cursor at the end.
TEST(FastOStream, TextThatDoesNotFitIsCutAtTheEnd) {
    const struct {
        const char* label;
        size_t room;
        std::function<void(FastOStream&)> put;
        const char* expected;
    } cases[] = {
        {"c string", 4, [](FastOStream& os) { os << "abcdef"; }, "abcd"},
        {"std string", 4, [](FastOStream& os) { os << std::string("abcdef"); }, "abcd"},
        {"write", 3, [](FastOStream& os) { os.write("abcdef", 6); }, "abc"},
        {"char", 1, [](FastOStream& os) { os << 'a' << 'b'; }, "a"},
        {"int", 5, [](FastOStream& os) { os << INT_MIN; }, "-2147"},
        {"ull", 3, [](FastOStream& os) { os << ULLONG_MAX; }, "184"},
        {"after text", 6, [](FastOStream& os) { os << "ab" << 123456; }, "ab1234"},
        {"double", 4, [](FastOStream& os) { os << 1.5; }, "1.50"},
        {"huge double", 8, [](FastOStream& os) { os << 1e300; }, "10000000"},
        {"float", 1, [](FastOStream& os) { os << 2.5f; }, "2"},
        {"pad text", 3, [](FastOStream& os) { os.write_pad("Logger", 10, ' '); }, "Log"},
        {"pad fill", 8, [](FastOStream& os) { os.write_pad("Logger", 10, '.'); }, "Logger.."},
        {"ferror", 5,
         [](FastOStream& os) {
             errno = ENOENT;
             os << Orbanex::ferror;
             errno = 0;
         },
         "No su"},
        {"advance", 4,
         [](FastOStream& os) {
             os.advance(2);
             os.advance(9);
         },
         "####"},
        {"nothing fits", 0, [](FastOStream& os) { os << "a" << 1 << 2.0 << 'c'; }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ExactBuffer buf(c.room);
        c.put(buf.os());
        EXPECT_EQ(buf.text(), c.expected);
        EXPECT_EQ(buf.os().size(), c.room);
        EXPECT_EQ(buf.os().free(), 0u);
    }
}

TEST(FastOStream, EndsOnAFullBufferGivesUpTheLastCharacter) {
    ExactBuffer buf(4);
    buf.os() << "abcdef";
    EXPECT_STREQ(buf.os().ends(), "abc");
    EXPECT_EQ(buf.os().size(), 4u);
    buf.os() << Orbanex::fends;
    EXPECT_EQ(buf.all(), std::string("abc\0", 4));
}

TEST(FastOStream, TextThatFitsExactlyIsWhole) {
    ExactBuffer buf(11);
    buf.os() << INT_MIN;
    EXPECT_EQ(buf.text(), "-2147483648");
}
