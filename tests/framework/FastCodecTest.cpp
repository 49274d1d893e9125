#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/BufferAllocator.h"
#include "framework/FastCodec.h"
#include "framework/MsgHead.h"
#include "framework/bufstring.h"
#include "support/CodecBytes.h"

using Tarvik::DecodeError;
using Tarvik::EncodeError;
using Tarvik::FastCodec;
using test_support::Bytes;
using test_support::decode;
using test_support::decodeAll;
using test_support::encode;
using test_support::hex;
using test_support::unhex;

namespace {

struct Golden {
    const char* name;
    std::function<void(FastCodec&)> write;
    const char* bytes;
};

}  // namespace

TEST(FastCodec, WorkedExamplesHoldByteForByte) {
    const std::vector<Golden> cases = {
        {"int32 300", [](FastCodec& c) { c.write_int32(300); }, "d8 04"},
        {"int32 -3", [](FastCodec& c) { c.write_int32(-3); }, "05"},
        {"int64 -1", [](FastCodec& c) { c.write_int64(-1); }, "01"},
        {"uint16 300", [](FastCodec& c) { c.write_uint16(300); }, "ac 02"},
        {"int16 -32768", [](FastCodec& c) { c.write_int16(-32768); }, "ff ff 03"},
        {"uint16 65535", [](FastCodec& c) { c.write_uint16(65535); }, "ff ff 03"},
        {"string abc", [](FastCodec& c) { c.write_string("abc"); }, "03 61 62 63"},
        {"empty string", [](FastCodec& c) { c.write_string(""); }, "00"},
        {"string with NUL", [](FastCodec& c) { c.write_string(std::string("a\0b", 3)); },
         "03 61 00 62"},
        {"length 5", [](FastCodec& c) { c.write_length(5); }, "05"},
        {"length 127", [](FastCodec& c) { c.write_length(127); }, "7f"},
        {"length 128", [](FastCodec& c) { c.write_length(128); }, "80 80"},
        {"length 300", [](FastCodec& c) { c.write_length(300); }, "81 2c"},
        {"length 32767", [](FastCodec& c) { c.write_length(32767); }, "ff ff"},
        {"oxfloat 1.5", [](FastCodec& c) { c.write_oxfloat(1500000000LL); }, "80 f8 82 ad 16"},
        {"oxfloat 31", [](FastCodec& c) { c.write_oxfloat(31); }, "7c"},
        {"oxfloat 32", [](FastCodec& c) { c.write_oxfloat(32); }, "80 01"},
        {"oxfloat NA", [](FastCodec& c) { c.write_oxfloat(Tarvik::NA); }, "07"},
        {"oxfloat NMA", [](FastCodec& c) { c.write_oxfloat(Tarvik::NMA); }, "03"},
        {"oxfloat NDA", [](FastCodec& c) { c.write_oxfloat(Tarvik::NDA); }, "05"},
        {"oxfloat -1", [](FastCodec& c) { c.write_oxfloat(-1); }, "fc ff ff ff ff ff ff ff ff 07"},
        {"bool", [](FastCodec& c) { c.write_bool(true), c.write_bool(false); }, "01 00"},
        {"int8/uint8", [](FastCodec& c) { c.write_int8(-1), c.write_uint8(0x80); }, "ff 80"},
        {"uint16 fixed", [](FastCodec& c) { c.write_uint16_fixed(0xA013); }, "13 a0"},
        {"int64 fixed", [](FastCodec& c) { c.write_int64_fixed(-2); }, "fe ff ff ff ff ff ff ff"},
    };
    for (const Golden& g : cases) {
        SCOPED_TRACE(g.name);
        EXPECT_EQ(hex(encode(g.write)), g.bytes);
    }
}

TEST(FastCodec, MsgHeadFrameBytesAndTimeParts) {
    Tarvik::MsgHead head;
    head.length = 10 + 5;
    head.id = 0xA013;
    head.nsecs = 1500000000LL * 1000000000LL + 123456789;
    const Bytes bytes = encode([&](FastCodec& c) { head.write(c); });
    EXPECT_EQ(hex(bytes), "0f 00 13 a0 15 cd 71 82 0d 12 d1 14");

    Tarvik::MsgHead back = decodeAll(bytes, [](FastCodec& c) {
        Tarvik::MsgHead h;
        h.read(c);
        return h;
    });
    // Copies: the packed fields must not be bound to references.
    const uint16_t length = back.length, id = back.id;
    const int64_t nsecs = back.nsecs, sent = head.nsecs;
    EXPECT_EQ(length, 15);
    EXPECT_EQ(id, 0xA013);
    EXPECT_EQ(nsecs, sent);
    EXPECT_EQ(back.secs(), 1500000000);
    EXPECT_EQ(back.usecs(), 123456);
}

TEST(FastCodec, MsgHeadTimePartsTruncateTowardZero) {
    struct Case {
        int64_t nsecs;
        int32_t secs;
        long usecs;
    };
    const Case cases[] = {
        {0, 0, 0},
        {999999999, 0, 999999},
        {-1500, 0, -1},
        {-1000000001, -1, 0},
        {-1500000000LL, -1, -500000},
        {1500000999LL, 1, 500000},
        {1700000000LL * 1000000000LL + 123456789, 1700000000, 123456},
        // Past 2038: the 32-bit seconds wrap, the microseconds stay right.
        {5000000000LL * 1000000000LL + 7000, static_cast<int32_t>(5000000000LL), 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nsecs);
        Tarvik::MsgHead h;
        h.nsecs = c.nsecs;
        EXPECT_EQ(h.secs(), c.secs);
        EXPECT_EQ(h.usecs(), c.usecs);
    }
}

TEST(FastCodec, IntegersRoundTripAtTheirBoundaries) {
    const std::vector<long long> values = {0,         1,         -1,        63,        -64,
                                           64,        127,       128,       -32768,    32767,
                                           INT32_MIN, INT32_MAX, INT64_MIN, INT64_MAX, 1LL << 35};
    for (long long v : values) {
        SCOPED_TRACE(v);
        const Bytes b64 = encode([&](FastCodec& c) { c.write_int64(v); });
        EXPECT_LE(b64.size(), 10u);
        EXPECT_EQ(decodeAll(b64, [](FastCodec& c) { return c.read_int64(); }), v);
        if (v >= INT32_MIN && v <= INT32_MAX) {
            const Bytes b32 = encode([&](FastCodec& c) { c.write_int32(static_cast<int>(v)); });
            EXPECT_LE(b32.size(), 5u);
            EXPECT_EQ(decodeAll(b32, [](FastCodec& c) { return c.read_int32(); }), v);
        }
        if (v >= -32768 && v <= 32767) {
            const Bytes b16 = encode([&](FastCodec& c) { c.write_int16(static_cast<short>(v)); });
            EXPECT_LE(b16.size(), 3u);
            EXPECT_EQ(decodeAll(b16, [](FastCodec& c) { return c.read_int16(); }), v);
        }
        if (v >= 0 && v <= 65535) {
            const Bytes bu =
                encode([&](FastCodec& c) { c.write_uint16(static_cast<uint16_t>(v)); });
            EXPECT_EQ(decodeAll(bu, [](FastCodec& c) { return c.read_uint16(); }), v);
        }
    }
    EXPECT_EQ(hex(encode([](FastCodec& c) {
                  c.write_int32(0), c.write_int32(-1), c.write_int32(1), c.write_int32(-2);
              })),
              "00 01 02 03");
}

TEST(FastCodec, SixteenBitReadersKeepTheLowBits) {
    EXPECT_EQ(decodeAll(unhex("ff ff 03"), [](FastCodec& c) { return c.read_int16(); }), -32768);
    EXPECT_EQ(decodeAll(unhex("ff ff 03"), [](FastCodec& c) { return c.read_uint16(); }), 65535);
    // A third group wider than 16 bits is taken as it comes, keeping the low 16 bits.
    EXPECT_EQ(decodeAll(unhex("80 80 7c"), [](FastCodec& c) { return c.read_uint16(); }), 0);
    EXPECT_EQ(decodeAll(unhex("02"), [](FastCodec& c) { return c.read_bool(); }), true);
}

TEST(FastCodec, DecimalRoundTripsEverySpecialAndBoundaryValue) {
    const std::vector<long long> values = {
        Tarvik::NMA,     Tarvik::NDA, Tarvik::NA, Tarvik::MAX, 0,    -1, INT64_MIN,
        INT64_MAX,       31,          32,         4095,        4096, -2, 1000000000LL,
        (1LL << 33) - 1, 1LL << 61};
    for (long long v : values) {
        SCOPED_TRACE(v);
        const Bytes b = encode([&](FastCodec& c) { c.write_oxfloat(v); });
        EXPECT_EQ(decodeAll(b, [](FastCodec& c) { return c.read_oxfloat(); }), v);
        // Sizes: 1 byte for the sentinels and 0..31, 2 below 4096, at most 5 below 2^33,
        // 10 from 2^61 on and for every other negative value.
        if (v == Tarvik::NMA || v == Tarvik::NDA || v == Tarvik::NA || (v >= 0 && v < 32)) {
            EXPECT_EQ(b.size(), 1u);
        } else if (v < 0 || v >= (1LL << 61)) {
            EXPECT_EQ(b.size(), 10u);
        } else if (v < 4096) {
            EXPECT_EQ(b.size(), 2u);
        } else if (v < (1LL << 33)) {
            EXPECT_LE(b.size(), 5u);
        }
    }
    EXPECT_EQ(encode([](FastCodec& c) { c.write_oxfloat(1000000000LL); }).size(), 5u);
}

TEST(FastCodec, DecimalReaderAcceptsComplementFormsFromPeers) {
    struct Case {
        const char* bytes;
        long long value;
    };
    const Case cases[] = {
        {"02", -1},
        {"06", -2},
        {"fe ff ff ff ff ff ff ff ff 03", INT64_MIN},
        {"01", 0},  // bit 0 is ignored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(decodeAll(unhex(c.bytes), [](FastCodec& k) { return k.read_oxfloat(); }),
                  c.value);
    }
}

TEST(FastCodec, StringsAndListCountsRoundTrip) {
    const std::vector<std::string> strings = {"",
                                              "abc",
                                              std::string("\0x\0", 3),
                                              std::string(127, 'a'),
                                              std::string(128, 'b'),
                                              std::string(65535, 'c')};
    for (const std::string& s : strings) {
        SCOPED_TRACE(s.size());
        const Bytes b = encode([&](FastCodec& c) { c.write_string(s); });
        EXPECT_EQ(decodeAll(b, [](FastCodec& c) { return c.read_string(); }), s);
    }
    for (unsigned n : {0u, 1u, 127u, 128u, 255u, 256u, 32767u}) {
        SCOPED_TRACE(n);
        Bytes b = encode([&](FastCodec& c) { c.write_length(n); });
        b.resize(b.size() + n, 0);  // room for n one-byte elements
        decode(b, [&](FastCodec& c) { EXPECT_EQ(c.read_length(), n); });
    }
}

TEST(FastCodec, WritersRefuseWhatTheFormatCannotCarry) {
    std::vector<char> buf(70000);
    FastCodec c(buf.data(), buf.data() + buf.size());
    EXPECT_THROW(c.write_string(std::string(65536, 'x')), EncodeError);
    EXPECT_THROW(c.write_length(32768), EncodeError);
    EXPECT_THROW(c.write_length(70000), EncodeError);
    EXPECT_EQ(c.size(), 0u) << "a refused write leaves nothing behind";
}

TEST(FastCodec, WritesNeverPassTheEndOfTheRange) {
    const std::vector<std::pair<const char*, std::function<void(FastCodec&)>>> writes = {
        {"int64", [](FastCodec& c) { c.write_int64(INT64_MIN); }},
        {"int32", [](FastCodec& c) { c.write_int32(INT32_MIN); }},
        {"oxfloat", [](FastCodec& c) { c.write_oxfloat(-5); }},
        {"string", [](FastCodec& c) { c.write_string("hello"); }},
        {"int64 fixed", [](FastCodec& c) { c.write_int64_fixed(1); }},
        {"uint16 fixed", [](FastCodec& c) { c.write_uint16_fixed(1); }},
        {"length", [](FastCodec& c) { c.write_length(300); }},
    };
    for (const auto& [name, write] : writes) {
        SCOPED_TRACE(name);
        const size_t full = encode(write).size();
        for (size_t room = 1; room < full; ++room) {
            std::vector<char> out(room);  // heap: ASan flags any byte written past it
            FastCodec c(out.data(), out.data() + out.size());
            EXPECT_THROW(write(c), EncodeError) << "room " << room;
            EXPECT_LE(c.size(), room);
        }
    }
}

TEST(FastCodec, EveryTruncatedEncodingRaisesDecodeError) {
    struct Case {
        const char* name;
        std::function<void(FastCodec&)> write;
        std::function<void(FastCodec&)> read;
    };
    const std::vector<Case> cases = {
        {"int64", [](FastCodec& c) { c.write_int64(INT64_MIN); },
         [](FastCodec& c) { c.read_int64(); }},
        {"int32", [](FastCodec& c) { c.write_int32(INT32_MAX); },
         [](FastCodec& c) { c.read_int32(); }},
        {"int16", [](FastCodec& c) { c.write_int16(-32768); },
         [](FastCodec& c) { c.read_int16(); }},
        {"uint16", [](FastCodec& c) { c.write_uint16(65535); },
         [](FastCodec& c) { c.read_uint16(); }},
        {"oxfloat", [](FastCodec& c) { c.write_oxfloat(-7); },
         [](FastCodec& c) { c.read_oxfloat(); }},
        {"string", [](FastCodec& c) { c.write_string(std::string(200, 'q')); },
         [](FastCodec& c) { c.read_string(); }},
        {"length", [](FastCodec& c) { c.write_length(200); },
         [](FastCodec& c) { c.read_length(0); }},
        {"fixed", [](FastCodec& c) { c.write_int64_fixed(5); },
         [](FastCodec& c) { c.read_int64_fixed(); }},
        {"head", [](FastCodec& c) { Tarvik::MsgHead().write(c); },
         [](FastCodec& c) { Tarvik::MsgHead().read(c); }},
        {"record", [](FastCodec& c) { c.write_int32(-300), c.write_string("ab"), c.write_bool(1); },
         [](FastCodec& c) { c.read_int32(), c.read_string(), c.read_bool(); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const Bytes full = encode(k.write);
        for (size_t len = 1; len < full.size(); ++len) {
            std::vector<char> in(full.begin(), full.begin() + static_cast<long>(len));
            FastCodec c(in.data(), in.data() + in.size());
            EXPECT_THROW(k.read(c), DecodeError) << "prefix of " << len << " bytes";
            EXPECT_LE(c.size(), len);
        }
    }
}

TEST(FastCodec, MalformedInputRaisesDecodeError) {
    struct Case {
        const char* name;
        const char* bytes;
        std::function<void(FastCodec&)> read;
    };
    const std::vector<Case> cases = {
        {"uint16 of 4 groups", "80 80 80 01", [](FastCodec& c) { c.read_uint16(); }},
        {"int16 of 4 groups", "ff ff ff 01", [](FastCodec& c) { c.read_int16(); }},
        {"int32 of 6 groups", "80 80 80 80 80 01", [](FastCodec& c) { c.read_int32(); }},
        {"int64 of 11 groups", "80 80 80 80 80 80 80 80 80 80 01",
         [](FastCodec& c) { c.read_int64(); }},
        {"decimal of 12 bytes", "80 80 80 80 80 80 80 80 80 80 80 01",
         [](FastCodec& c) { c.read_oxfloat(); }},
        {"string longer than input", "05 61 62", [](FastCodec& c) { c.read_string(); }},
        {"count beyond input", "81 00 01 02 03", [](FastCodec& c) { c.read_length(); }},
        {"count beyond 4-byte elements", "03 00 00 00 00 00 00 00 00",
         [](FastCodec& c) { c.read_length(4); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_THROW(decode(unhex(k.bytes), k.read), DecodeError);
    }
}

TEST(FastCodec, ListCountThatFitsIsAccepted) {
    decode(unhex("03 00 00 00 00 00 00 00 00 00 00 00 00"),
           [](FastCodec& c) { EXPECT_EQ(c.read_length(4), 3); });
}

// With the codec and the block string included, the block-string members link: they are defined
// where they are declared.
TEST(FastCodec, BlockStringMembersNeedOnlyTheCodecHeader) {
    alignas(8) char region[64];
    Tarvik::BufferAllocator alloc(region, sizeof region, "test", "test");
    bufstl::bufstring s(alloc), plain(alloc), fixed(alloc), crypt(alloc);
    s = "ab";
    const Bytes bytes = encode([&](FastCodec& c) {
        c.write_string(s);
        c.write_string_fixed(s);
        c.write_cryptstring(s);
    });
    EXPECT_EQ(hex(bytes).substr(0, 20), "02 61 62 02 00 61 62");
    decodeAll(bytes, [&](FastCodec& c) {
        c.read_string(plain);
        c.read_string_fixed(fixed);
        c.read_cryptstring(crypt);
    });
    EXPECT_STREQ(plain.c_str(), "ab");
    EXPECT_STREQ(fixed.c_str(), "ab");
    EXPECT_STREQ(crypt.c_str(), "ab");
}

TEST(FastCodecDeathTest, EmptyRangeIsAnAssertion) {
    char byte = 0;
    EXPECT_DEATH(FastCodec(&byte, &byte), "Assertion `_begin < _end' failed");
}
