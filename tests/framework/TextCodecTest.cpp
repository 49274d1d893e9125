#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/FastOStream.h"
#include "framework/TextCodec.h"
#include "framework/bufstring.h"
#include "support/TestBlock.h"

using Orbanex::FastOStream;
using Orbanex::StaticOStream;
typedef Tarvik::TextCodec<FastOStream> TextCodec;

namespace {

std::string render(const std::function<void(TextCodec&)>& write) {
    StaticOStream<256> os;
    TextCodec codec(os);
    write(codec);
    return std::string(os.buffer(), os.size());
}

}  // namespace

TEST(TextCodec, ValueForms) {
    struct Case {
        const char* name;
        std::function<void(TextCodec&)> write;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"bool true", [](TextCodec& c) { c.write_bool(true); }, "T"},
        {"bool false", [](TextCodec& c) { c.write_bool(false); }, "F"},
        {"int8 0xFF", [](TextCodec& c) { c.write_int8(static_cast<char>(0xFF)); }, "-1"},
        {"int8 min", [](TextCodec& c) { c.write_int8(static_cast<char>(0x80)); }, "-128"},
        {"int8 'A'", [](TextCodec& c) { c.write_int8('A'); }, "65"},
        {"uint8 0xFF", [](TextCodec& c) { c.write_uint8(0xFF); }, "255"},
        {"int16 min", [](TextCodec& c) { c.write_int16(-32768); }, "-32768"},
        {"uint16 max", [](TextCodec& c) { c.write_uint16(65535); }, "65535"},
        {"int32 min", [](TextCodec& c) { c.write_int32(-2147483647 - 1); }, "-2147483648"},
        {"uint32 max", [](TextCodec& c) { c.write_uint32(4294967295u); }, "4294967295"},
        {"int64 min", [](TextCodec& c) { c.write_int64(-9223372036854775807LL - 1); },
         "-9223372036854775808"},
        {"uint64 max", [](TextCodec& c) { c.write_uint64(18446744073709551615ULL); },
         "18446744073709551615"},
        {"int32 0", [](TextCodec& c) { c.write_int32(0); }, "0"},
        {"float8 1.5", [](TextCodec& c) { c.write_float8(1.5); }, "1.50000"},
        {"float8 -0.125", [](TextCodec& c) { c.write_float8(-0.125); }, "-0.12500"},
        {"float4 0.25", [](TextCodec& c) { c.write_float4(0.25f); }, "0.25000"},
        {"string", [](TextCodec& c) { c.write_string(std::string("abc")); }, "\"abc\""},
        {"string empty", [](TextCodec& c) { c.write_string(std::string()); }, "\"\""},
        {"string stops at NUL", [](TextCodec& c) { c.write_string(std::string("ab\0c", 4)); },
         "\"ab\""},
        {"string quote unescaped", [](TextCodec& c) { c.write_string(std::string("a\"b\\")); },
         "\"a\"b\\\""},
        {"cryptstring plain", [](TextCodec& c) { c.write_cryptstring(std::string("pw")); },
         "\"pw\""},
        {"blob quoted", [](TextCodec& c) { c.write_blob(std::string("x\ny")); }, "\"x\ny\""},
        {"cryptblob plain", [](TextCodec& c) { c.write_cryptblob(std::string("k")); }, "\"k\""},
        {"rawfield", [](TextCodec& c) { c.write_rawfield("BUY"); }, "BUY"},
        {"rawfield null", [](TextCodec& c) { c.write_rawfield(nullptr); }, ""},
        {"data", [](TextCodec& c) { c.write_data("a=\n"); }, "a=\n"},
        {"data null", [](TextCodec& c) { c.write_data(nullptr); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(render(c.write), c.text);
    }
}

TEST(TextCodec, FloatsFollowTheStreamsPrecision) {
    StaticOStream<64> os;
    os.setprecision(2);
    TextCodec codec(os);
    codec.write_float8(1.0 / 3);
    codec.write_data(" ");
    codec.write_float4(2.5f);
    EXPECT_EQ(std::string(os.buffer(), os.size()), "0.33 2.50");
}

TEST(TextCodec, WritesNoTerminatingNul) {
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    FastOStream os(buf, buf + sizeof buf);
    TextCodec codec(os);
    codec.write_int32(42);
    EXPECT_EQ(os.size(), 2u);
    EXPECT_EQ(std::string(buf, sizeof buf), "42######");
}

TEST(TextCodec, ReadsReturnZeroAndTouchNothing) {
    StaticOStream<16> os;
    os << "x";
    TextCodec codec(os);
    EXPECT_FALSE(codec.read_bool());
    EXPECT_EQ(codec.read_int8(), 0);
    EXPECT_EQ(codec.read_uint8(), 0);
    EXPECT_EQ(codec.read_int16(), 0);
    EXPECT_EQ(codec.read_uint16(), 0);
    EXPECT_EQ(codec.read_int32(), 0);
    EXPECT_EQ(codec.read_uint32(), 0u);
    EXPECT_EQ(codec.read_int64(), 0);
    EXPECT_EQ(codec.read_uint64(), 0u);
    EXPECT_EQ(codec.read_float4(), 0.0f);
    EXPECT_EQ(codec.read_float8(), 0.0);
    EXPECT_EQ(os.size(), 1u);
    EXPECT_EQ(&codec.stream(), &os);
}

// Every value form written into buffers of every size up to its full text: the text is cut at
// the end, the cursor stops there, and under AddressSanitizer no byte past the heap array is
// touched (the float forms included, whose formatter is handed the room left).
TEST(TextCodec, TextThatDoesNotFitIsCutAtTheEnd) {
    test_support::TestBlock block(256);
    bufstl::bufstring blockText(block.alloc());
    blockText = "block text";
    const std::vector<std::function<void(TextCodec&)>> writes = {
        [](TextCodec& c) { c.write_int64(-9223372036854775807LL - 1); },
        [](TextCodec& c) { c.write_uint64(18446744073709551615ULL); },
        [](TextCodec& c) { c.write_float8(-1.0e300); },
        [](TextCodec& c) { c.write_float4(-3.0e38f); },
        [](TextCodec& c) { c.write_string(std::string("quoted text")); },
        [](TextCodec& c) { c.write_cryptblob(std::string("scrambled")); },
        [](TextCodec& c) { c.write_data("label="); },
        [&](TextCodec& c) { c.write_string(blockText); },
    };
    EXPECT_EQ(render(writes.back()), "\"block text\"");
    for (size_t w = 0; w < writes.size(); ++w) {
        const std::string full = render(writes[w]);
        for (size_t n = 1; n <= full.size(); ++n) {
            SCOPED_TRACE("write " + std::to_string(w) + ", room " + std::to_string(n));
            std::unique_ptr<char[]> buf(new char[n]);
            FastOStream os(buf.get(), buf.get() + n);
            TextCodec codec(os);
            writes[w](codec);
            writes[w](codec);
            EXPECT_EQ(os.size(), n);
            EXPECT_EQ(os.free(), 0u);
            EXPECT_EQ(std::string(buf.get(), n), (full + full).substr(0, n));
        }
    }
}

TEST(TextCodec, BlockStringForms) {
    test_support::TestBlock block(1024);
    bufstl::bufstring unassigned(block.alloc());
    bufstl::bufstring nulOnly(block.alloc());
    nulOnly.clear();
    bufstl::bufstring text(block.alloc());
    text = "say \"hi\"\\";
    bufstl::bufstring inner(block.alloc());
    inner.assign("a\0b", 3);

    struct Case {
        const char* name;
        std::function<void(TextCodec&)> write;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"no storage", [&](TextCodec& c) { c.write_string(unassigned); }, "\"\""},
        {"only the NUL", [&](TextCodec& c) { c.write_string(nulOnly); }, "\"\""},
        {"quotes unescaped", [&](TextCodec& c) { c.write_string(text); }, "\"say \"hi\"\\\""},
        {"inner NUL kept", [&](TextCodec& c) { c.write_string(inner); },
         std::string("\"a\0b\"", 5)},
        {"cryptstring plain", [&](TextCodec& c) { c.write_cryptstring(text); }, "\"say \"hi\"\\\""},
        {"blob quoted", [&](TextCodec& c) { c.write_blob(inner); }, std::string("\"a\0b\"", 5)},
        {"cryptblob plain", [&](TextCodec& c) { c.write_cryptblob(text); }, "\"say \"hi\"\\\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(render(c.write), c.text);
    }
}

TEST(TextCodec, BlockStringReadsLeaveTheTargetUnchanged) {
    test_support::TestBlock block(256);
    bufstl::bufstring s(block.alloc());
    s = "keep";
    StaticOStream<16> os;
    TextCodec codec(os);
    codec.read_string(s);
    codec.read_cryptstring(s);
    codec.read_blob(s);
    codec.read_cryptblob(s);
    EXPECT_TRUE(s == std::string("keep"));
    EXPECT_EQ(os.size(), 0u);
}
