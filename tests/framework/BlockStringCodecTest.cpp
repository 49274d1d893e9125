#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/DumbCrypt.h"
#include "framework/FastCodec.h"
#include "support/Bytes.h"
#include "support/CodecBytes.h"
#include "support/TestBlock.h"

using bufstl::bufstring;
using Tarvik::DecodeError;
using Tarvik::EncodeError;
using Tarvik::FastCodec;
using test_support::Bytes;
using test_support::decodeAll;
using test_support::encode;
using test_support::hex;
using test_support::stored;
using test_support::TestBlock;
using test_support::unhex;

namespace {

enum class Form { PLAIN, FIXED, CRYPT };

void writeAs(Form f, FastCodec& c, const bufstring& s) {
    switch (f) {
        case Form::PLAIN:
            c.write_string(s);
            break;
        case Form::FIXED:
            c.write_string_fixed(s);
            break;
        case Form::CRYPT:
            c.write_cryptstring(s);
            break;
    }
}

void readAs(Form f, FastCodec& c, bufstring& s) {
    switch (f) {
        case Form::PLAIN:
            c.read_string(s);
            break;
        case Form::FIXED:
            c.read_string_fixed(s);
            break;
        case Form::CRYPT:
            c.read_cryptstring(s);
            break;
    }
}

const char* formName(Form f) {
    return f == Form::PLAIN ? "plain" : f == Form::FIXED ? "fixed" : "crypt";
}

}  // namespace

TEST(BlockStringCodec, GoldenBytesOfTheThreeForms) {
    TestBlock block(1024);
    bufstring abc(block.alloc()), empty(block.alloc()), never(block.alloc());
    abc = "abc";
    empty.clear();

    std::string scrambled("abc");
    Orbanex::DumbCrypt::encrypt(&scrambled[0], 3, 0);
    Bytes crypt = unhex("03");
    crypt.insert(crypt.end(), scrambled.begin(), scrambled.end());

    EXPECT_EQ(hex(encode([&](FastCodec& c) { c.write_string(abc); })), "03 61 62 63");
    EXPECT_EQ(hex(encode([&](FastCodec& c) { c.write_string(std::string("abc")); })),
              "03 61 62 63");
    EXPECT_EQ(hex(encode([&](FastCodec& c) { c.write_string_fixed(abc); })), "03 00 61 62 63");
    EXPECT_EQ(hex(encode([&](FastCodec& c) { c.write_cryptstring(abc); })), hex(crypt));
    EXPECT_NE(hex(crypt), "03 61 62 63");
    EXPECT_EQ(stored(abc), std::string("abc\0", 4));  // the source is not scrambled

    for (const bufstring* s : {&empty, &never}) {
        EXPECT_EQ(hex(encode([&](FastCodec& c) { c.write_string(*s); })), "00");
        EXPECT_EQ(hex(encode([&](FastCodec& c) { c.write_string_fixed(*s); })), "00 00");
        EXPECT_EQ(hex(encode([&](FastCodec& c) { c.write_cryptstring(*s); })), "00");
    }
}

TEST(BlockStringCodec, EveryFormReadsBackWhatItWrote) {
    const std::string texts[] = {"", "abc", std::string("nul\0inside", 10), std::string(300, 'x'),
                                 std::string(65535, '\xff')};
    for (Form f : {Form::PLAIN, Form::FIXED, Form::CRYPT}) {
        for (const std::string& text : texts) {
            SCOPED_TRACE(::testing::Message() << formName(f) << " of " << text.size());
            TestBlock block(70000 * 2);
            bufstring in(block.alloc()), out(block.alloc());
            in.assign(text.data(), text.size());
            const Bytes bytes = encode([&](FastCodec& c) { writeAs(f, c, in); });
            decodeAll(bytes, [&](FastCodec& c) { readAs(f, c, out); });
            EXPECT_EQ(stored(out), text + '\0');
            EXPECT_TRUE(out == in);
        }
    }
}

TEST(BlockStringCodec, PlainFormIsInterchangeableWithTheStdStringForm) {
    TestBlock block(1024);
    bufstring s(block.alloc());
    decodeAll(encode([](FastCodec& c) { c.write_string(std::string("a\0b", 3)); }),
              [&](FastCodec& c) { c.read_string(s); });
    EXPECT_EQ(stored(s), std::string("a\0b\0", 4));
    std::string back;
    decodeAll(encode([&](FastCodec& c) { c.write_string(s); }),
              [&](FastCodec& c) { back = c.read_string(); });
    EXPECT_EQ(back, std::string("a\0b", 3));
}

TEST(BlockStringCodec, ReadingReplacesTheTextAndKeepsOneNul) {
    TestBlock block(1024);
    bufstring s(block.alloc());
    decodeAll(unhex("00"), [&](FastCodec& c) { c.read_string(s); });
    EXPECT_EQ(stored(s), std::string(1, '\0'));
    s = "a longer text";
    const char* storage = s.c_str();
    decodeAll(unhex("02 68 69"), [&](FastCodec& c) { c.read_string(s); });
    EXPECT_EQ(stored(s), std::string("hi\0", 3));
    EXPECT_EQ(s.c_str(), storage);
}

TEST(BlockStringCodec, TruncatedOrMalformedInputRaisesDecodeErrorAndTakesNoStorage) {
    struct Case {
        Form form;
        const char* bytes;
    };
    const Case cases[] = {
        {Form::PLAIN, "05 61 62 63"},     // length beyond the input
        {Form::CRYPT, "05 61 62 63"},     //
        {Form::PLAIN, "80"},              // length varint cut short
        {Form::PLAIN, "ff ff ff ff 01"},  // length varint too long for 16 bits
        {Form::FIXED, "03"},              // fixed length cut short
        {Form::FIXED, "03 00 61 62"},     // fixed length beyond the input
        {Form::FIXED, "ff ff 00"},        // 65535 announced, one byte there
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << formName(c.form) << " " << c.bytes);
        TestBlock block(1024);
        bufstring s(block.alloc());
        const Bytes bytes = unhex(c.bytes);
        std::vector<char> in(bytes.begin(), bytes.end());
        FastCodec codec(in.data(), in.data() + in.size());
        EXPECT_THROW(readAs(c.form, codec, s), DecodeError);
        EXPECT_LE(codec.size(), bytes.size());
        EXPECT_EQ(block.alloc().size(), 0u);
        EXPECT_EQ(stored(s), "");
    }
}

TEST(BlockStringCodec, WritesRefuseTooLongStringsAndFullOutput) {
    TestBlock block(70000);
    bufstring big(block.alloc());
    big.assign(std::string(65536, 'x').c_str());
    EXPECT_THROW(encode([&](FastCodec& c) { c.write_string(big); }), EncodeError);
    EXPECT_THROW(encode([&](FastCodec& c) { c.write_cryptstring(big); }), EncodeError);

    bufstring abc(block.alloc());
    abc = "abc";
    for (Form f : {Form::PLAIN, Form::FIXED, Form::CRYPT}) {
        SCOPED_TRACE(formName(f));
        char out[4] = {9, 9, 9, 9};
        FastCodec c(out, out + (f == Form::FIXED ? 4 : 3));
        EXPECT_THROW(writeAs(f, c, abc), EncodeError);
        EXPECT_EQ(c.size(), 0u);
    }
}

TEST(BlockStringCodec, ExhaustedBlockWhileReadingPassesTheAllocatorError) {
    TestBlock block(16);
    block.alloc().allocate(12, nullptr);
    bufstring s(block.alloc());
    EXPECT_THROW(decodeAll(unhex("04 61 62 63 64"), [&](FastCodec& c) { c.read_string(s); }),
                 std::out_of_range);
    EXPECT_EQ(stored(s), "");
}
