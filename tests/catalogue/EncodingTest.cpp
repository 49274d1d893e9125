// The binary encoding of catalogue records and messages: the worked example, the bytes of each
// kind, the scrambled and fixed-length strings, decoding into existing lists, block exhaustion,
// and hostile or oversized input.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "CatalogueTestUtil.h"
#include "framework/CodecError.h"
#include "framework/DumbCrypt.h"

using namespace Orbanex;
using namespace cattest;
using test_support::hex;
using test_support::stored;
using test_support::unhex;

namespace {

class Encoding : public CatalogueTest {};

}  // namespace

TEST_F(Encoding, MarketDataExampleIs24Bytes) {
    InBlock<MktDataMessage> m;
    m->mvd.fmID = FeedMarketID(7, 2);
    m->mvd.timeExchange = 1000;
    m->mvd.timeApiClient = -1;
    m->mvd.isSnapshot = true;
    MDEntry& e = m->mvd.mdEntryList.add_back();
    e.price = 700;
    e.amount = Tarvik::NA;
    e.updateAction = MDUpdateAction::NEW;
    e.element = MDElement::LEVEL;
    e.side = Side::BID;
    e.source = 1;
    e.numberOfOrders = 3;
    m->streamID = 5;
    const Bytes body = encode(*m);
    EXPECT_EQ(hex(body), "0e 04 d0 0f 00 00 00 00 01 01 01 f0 15 07 00 00 01 01 01 06 00 00 00 0a");

    InBlock<MktDataMessage> back;
    EXPECT_EQ(decode(body, *back), 24u);
    EXPECT_EQ(back->mvd.fmID.marketID, 7);
    EXPECT_EQ(back->mvd.fmID.feedID, 2);
    EXPECT_EQ(back->mvd.timeApiClient, -1);
    ASSERT_EQ(back->mvd.mdEntryList.size(), 1u);
    const MDEntry& b = back->mvd.mdEntryList[0];
    EXPECT_EQ(b.price, 700);
    EXPECT_EQ(b.amount, Tarvik::NA);
    EXPECT_EQ(b.side, Side::BID);
    EXPECT_EQ(b.numberOfOrders, 3);
    EXPECT_EQ(stored(b.components), std::string(1, '\0'));  // decoded: assigned, one NUL
    EXPECT_EQ(back->streamID, 5);
    EXPECT_EQ(encode(*back), body);
}

TEST_F(Encoding, BytesOfEachKind) {
    InBlock<ClientConnectMessage> connect;
    connect->user = "abc";
    InBlock<KeyValuePair> pair;
    pair->key.clear();  // assigned empty; value never assigned: both one byte 00
    InBlock<ClientConnectMessage> long200;
    long200->user = std::string(200, 'x');
    InBlock<BatchUnregisterMessage> batch;
    batch->batchDefID = 300;
    InBlock<ClientDisconnectMessage> disconnect;
    disconnect->timeDisconnected = -1;
    InBlock<MemBusHeartbeatMessage> bus;
    bus->id.appID = -32768;
    InBlock<InsertLogMessage> level;
    level->level = static_cast<LogLevel::Type>(255);  // no enumeration names 255
    InBlock<RequestMessage> request;
    request->request = Request::SECURITYINFO;  // its low byte
    InBlock<PadMessage> pad;
    pad->padding = "xxx";

    struct Case {
        const char* what;
        Bytes body;
        std::string expected;
    };
    const Case cases[] = {
        {"string abc, then an unassigned one", encode(*connect), "03 61 62 63 00"},
        {"assigned-empty and unassigned strings", encode(*pair), "00 00"},
        {"int32 300", encode(*batch), "d8 04"},
        {"int64 -1", encode(*disconnect), "00 01"},
        {"int16 -32768", encode(*bus), "ff ff 03 00"},
        {"enumeration byte 255", encode(*level), "00 ff"},
        {"Request SECURITYINFO", encode(*request), "00 00 4f"},
        {"fixed-length string", encode(*pad), "03 00 78 78 78"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hex(c.body), c.expected);
    }
    EXPECT_EQ(hex(encode(*long200)).substr(0, 5), "c8 01");

    // Read back: an undefined enumeration byte stays; Request keeps only its low byte.
    InBlock<InsertLogMessage> levelBack;
    decode(encode(*level), *levelBack);
    EXPECT_EQ(levelBack->level, 255);
    InBlock<RequestMessage> requestBack;
    decode(encode(*request), *requestBack);
    EXPECT_EQ(requestBack->request, 79);
}

TEST_F(Encoding, ListCounts) {
    const struct {
        size_t n;
        const char* prefix;
    } cases[] = {
        {0, "00"}, {127, "7f 00"}, {128, "80 80 00"}, {300, "81 2c 00"}, {32767, "ff ff 00"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        InBlock<BatchesCompletedMessage> m(1 << 18);
        m->batchesCompleted.resize(c.n);
        const Bytes body = encode(*m);
        EXPECT_EQ(hex(body).substr(0, std::string(c.prefix).size()), c.prefix);
        InBlock<BatchesCompletedMessage> back(1 << 18);
        EXPECT_EQ(decode(body, *back), body.size());
        EXPECT_EQ(back->batchesCompleted.size(), c.n);
    }
}

TEST_F(Encoding, Decimals) {
    const struct {
        int64_t value;
        const char* bytes;
    } cases[] = {
        {0, "00"},           {31, "7c"},
        {32, "80 01"},       {700, "f0 15"},
        {Tarvik::NA, "07"},  {Tarvik::NMA, "03"},
        {Tarvik::NDA, "05"}, {-5, "ec ff ff ff ff ff ff ff ff 07"},
    };
    const std::string rest = " 00 00 00 00 00 00 00 00";  // the other fields of a fresh MDEntry
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        InBlock<MDEntry> e;
        e->price = c.value;
        EXPECT_EQ(hex(encode(*e)), c.bytes + rest);
        InBlock<MDEntry> back;
        EXPECT_EQ(decode(encode(*e), *back), encode(*e).size());
        EXPECT_EQ(back->price, c.value);
    }
    // Bit 1 of the first byte asks for the complement; bit 0 plays no part.
    const struct {
        const char* bytes;
        int64_t value;
    } reads[] = {{"02", -1}, {"01", 0}};
    for (const auto& r : reads) {
        SCOPED_TRACE(r.bytes);
        InBlock<MDEntry> back;
        decode(unhex(r.bytes + rest), *back);
        EXPECT_EQ(back->price, r.value);
    }
}

TEST_F(Encoding, AnyBoolByteButZeroReadsTrue) {
    InBlock<ConnectResponseMessage> m;
    EXPECT_EQ(decode(unhex("00 00 00 02"), *m), 4u);
    EXPECT_TRUE(m->isAdmin);
    EXPECT_EQ(hex(encode(*m)), "00 00 00 01");
}

TEST_F(Encoding, ScrambledStringsAreScrambledOnTheWireOnly) {
    InBlock<LogMessage> m;
    m->thread = "abc";
    m->description = "entry";
    const Bytes body = encode(*m);
    std::string scrambled = "abc";
    DumbCrypt::encrypt(&scrambled[0], 3, 0);
    ASSERT_NE(scrambled, "abc");
    ASSERT_GE(body.size(), 5u);
    EXPECT_EQ(body[1], 3);
    EXPECT_EQ(std::string(body.begin() + 2, body.begin() + 5), scrambled);
    EXPECT_EQ(stored(m->thread), std::string("abc", 4));  // the object stays plain

    InBlock<LogMessage> back;
    EXPECT_EQ(decode(body, *back), body.size());
    EXPECT_EQ(stored(back->thread), std::string("abc", 4));
    EXPECT_EQ(stored(back->description), std::string("entry", 6));
    EXPECT_EQ(stored(back->logger), std::string(1, '\0'));
}

TEST_F(Encoding, FixedLengthStringHasATwoByteLength) {
    const struct {
        size_t n;
        const char* length;
    } cases[] = {{0, "00 00"}, {3, "03 00"}, {300, "2c 01"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        InBlock<PadMessage> pad;
        pad->padding = std::string(c.n, 'x');
        const Bytes body = encode(*pad);
        EXPECT_EQ(body.size(), c.n + 2);
        EXPECT_EQ(hex(Bytes(body.begin(), body.begin() + 2)), c.length);
        InBlock<PadMessage> back;
        EXPECT_EQ(decode(body, *back), c.n + 2);
        EXPECT_EQ(back->padding.size_(), c.n);
    }
}

TEST_F(Encoding, AnElementOfAListOfStringsStopsAtItsFirstNul) {
    // The same bytes, 61 00 62, as an element of groupNames and as a plain string.
    InBlock<TradeHierarchy> hierarchy;
    EXPECT_EQ(decode(unhex("00 01 03 61 00 62"), *hierarchy), 6u);
    ASSERT_EQ(hierarchy->groupNames.size(), 1u);
    EXPECT_EQ(stored(hierarchy->groupNames[0]), std::string("a", 2));
    InBlock<KeyValuePair> pair;
    EXPECT_EQ(decode(unhex("03 61 00 62 00"), *pair), 5u);
    EXPECT_EQ(stored(pair->key), std::string("a\0b", 4));
}

TEST_F(Encoding, DecodingSizesExistingListsToTheCount) {
    InBlock<ConfigMessage> m;
    m->feedsList.resize(3);
    for (APIFeed& f : m->feedsList) f.name = "a feed name";
    const size_t releasedBefore = m.alloc().unused_size();
    // One feed: name "F", exchangeName "", feedID 1, flags 0, no markets.
    EXPECT_EQ(decode(unhex("01 01 46 00 02 00 00"), *m), 7u);
    ASSERT_EQ(m->feedsList.size(), 1u);
    EXPECT_EQ(stored(m->feedsList[0].name), std::string("F", 2));
    // The two surplus feeds were destroyed, their names booked as released.
    EXPECT_GT(m.alloc().unused_size(), releasedBefore);

    // Growing builds new elements in the list's block.
    EXPECT_EQ(decode(unhex("02 01 41 00 02 00 00 01 42 00 04 00 00"), *m), 13u);
    ASSERT_EQ(m->feedsList.size(), 2u);
    EXPECT_EQ(stored(m->feedsList[1].name), std::string("B", 2));
    EXPECT_TRUE(m.holds(m->feedsList[1].name.c_str()));
    m->checkbounds(m.begin(), m.end());
}

TEST_F(Encoding, ABlockTooSmallRaisesAtTheFirstFieldThatDoesNotFit) {
    // user "u" fits; a password of 450 bytes, less than the block but more than it has left,
    // does not.
    Bytes body = unhex("01 75 c2 03");
    body.insert(body.end(), 450, 'p');
    InBlock<ClientConnectMessage> m(512);
    EXPECT_EQ(thrown<std::out_of_range>([&] { decode(body, *m); }),
              "BufferAllocator: exhausted memory block. (MsgName=TestMessage, Site=test)");
    EXPECT_EQ(stored(m->user), std::string("u", 2));

    // A list longer than the whole block (256 bytes hold 64 ints).
    Bytes counts = unhex("00 81 2c");  // feedID 0, then 300 market ids
    counts.insert(counts.end(), 301, 0);
    InBlock<RequestSnapshotMessage> r(256);
    EXPECT_EQ(thrown<std::length_error>([&] { decode(counts, *r); }), "vector::_M_fill_insert");
}

TEST_F(Encoding, HostileBodiesAreRefusedWithinTheirBytes) {
    InBlock<BatchesCompletedMessage> counts;
    InBlock<ClientConnectMessage> strings;
    InBlock<BatchUnregisterMessage> ints;
    const std::function<void(const Bytes&)> intoCounts = [&](const Bytes& b) {
        decode(b, *counts);
    };
    const std::function<void(const Bytes&)> intoStrings = [&](const Bytes& b) {
        decode(b, *strings);
    };
    const std::function<void(const Bytes&)> intoInts = [&](const Bytes& b) { decode(b, *ints); };
    struct Case {
        const char* what;
        const std::function<void(const Bytes&)>& decodeInto;
        const char* bytes;
    };
    const Case cases[] = {
        {"list count beyond the bytes left", intoCounts, "ff ff 00 00"},
        {"string length beyond the bytes left", intoStrings, "05 61 62"},
        {"string length longer than 16 bits", intoStrings, "80 80 80 01"},
        {"varint longer than an int32", intoInts, "80 80 80 80 80 01"},
        {"body ends inside a varint", intoInts, "80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW(c.decodeInto(unhex(c.bytes)), Tarvik::DecodeError);
    }
    // The count was refused before the list took any storage.
    EXPECT_EQ(counts->batchesCompleted.capacity(), 0u);
}

TEST_F(Encoding, WhatTheFormatCannotCarryIsRefused) {
    InBlock<ClientConnectMessage> m(1 << 18);
    m->user = std::string(65535, 'u');
    EXPECT_EQ(encode(*m).size(), 3 + 65535 + 1u);
    m->user = std::string(65536, 'u');
    EXPECT_THROW(encode(*m), Tarvik::EncodeError);

    InBlock<BatchesCompletedMessage> list(1 << 18);
    list->batchesCompleted.resize(32768);
    EXPECT_THROW(encode(*list), Tarvik::EncodeError);

    // Never a byte past the room given.
    InBlock<ClientConnectMessage> abc;
    abc->user = "abc";
    std::vector<char> buf(4, '#');
    Tarvik::FastCodec c(buf.data(), buf.data() + 3);
    EXPECT_THROW(abc->write(c), Tarvik::EncodeError);
    EXPECT_EQ(buf[3], '#');
}
