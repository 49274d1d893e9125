// Market data messages: worked examples in bytes, text and order.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class MarketData : public apitest::ApiTest {};

const char* const LEVEL_BYTES = "80 f8 82 ad 16 80 80 e8 98 a9 bf 8d 07 07 00 01 01 01 06 00";

std::string levelGroup() {
    return "( price=1500000000  amount=1000000000000000  minAmount=" + NA_TEXT +
           "  updateAction=NEW  element=LEVEL  side=BID  source=1  numberOfOrders=3  "
           "components=\"\" )";
}

}  // namespace

TEST_F(MarketData, DefaultEntryCarriesNA) {
    const MDEntry e;
    EXPECT_EQ(hex(encodeRecord(e)), "07 07 07 00 00 00 00 00 00");
    EXPECT_EQ(text(e), "<MDEntry ( price=" + NA_TEXT + "  amount=" + NA_TEXT +
                           "  minAmount=" + NA_TEXT +
                           "  updateAction=NEW  element=  side=  source=0  numberOfOrders=0  "
                           "components=\"\" )>");
}

TEST_F(MarketData, EntryBytesAndText) {
    EXPECT_EQ(hex(encodeRecord(level())), LEVEL_BYTES);
    EXPECT_TRUE(decoded<MDEntry>(bytes(LEVEL_BYTES)) == level());
    EXPECT_EQ(text(level()), "<MDEntry " + levelGroup() + ">");
}

TEST_F(MarketData, NarrowFieldsAndSourceBits) {
    MDEntry e = level();
    struct Case {
        int16_t orders;
        const char* bytes;
    } const cases[] = {{-1, "01"}, {64, "80 01"}, {3, "06"}, {-32768, "ff ff 03"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orders);
        e.numberOfOrders = c.orders;
        const std::string body = encodeRecord(e);
        EXPECT_EQ(hex(body.substr(18, body.size() - 19)), c.bytes);
        EXPECT_EQ(decoded<MDEntry>(body).numberOfOrders, c.orders);
    }
    e.numberOfOrders = 3;
    e.source = 15;  // all four source bits, never converted through their names
    EXPECT_EQ(hex(encodeRecord(e).substr(17, 1)), "0f");
    EXPECT_NE(text(e).find("  source=15  "), std::string::npos);
}

TEST_F(MarketData, UpdateBytes) {
    const std::string body = encode(marketUpdate());
    EXPECT_EQ(hex(body), std::string("0e 06 00 00 00 00 00 00 01 01 ") + LEVEL_BYTES + " 00 00 00");
    EXPECT_EQ(body.size(), 33u);
    ShpOXMessage back = decode(MktDataMessage::ID, body);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->getRef<MktDataMessage>() == marketUpdate());
}

TEST_F(MarketData, UpdateTextIsTwelveLines) {
    const std::string expected =
        "<MktDataMessage ( mvd=( fmID=( marketID=7  feedID=3 )" + br(24) + "timeExchange=0" +
        br(24) + "timeArrival=0" + br(24) + "timeHandler=0" + br(24) + "timeEnhanced=0" + br(24) +
        "timeApiServer=0" + br(24) + "timeApiClient=0" + br(24) + "isSnapshot=T" + br(24) +
        "mdEntryList=[ " + levelGroup() + " ] )" + br(18) + "fmIDsInBatch=[  ]" + br(18) +
        "batchID=0" + br(18) + "streamID=0 )>";
    EXPECT_EQ(text(marketUpdate()), expected);

    // A second entry starts a line of its own under the first.
    MktDataMessage two = marketUpdate();
    two.mvd.mdEntryList.push_back(level());
    EXPECT_NE(text(two).find("mdEntryList=[ " + levelGroup() + br(38) + levelGroup() + " ] )"),
              std::string::npos);
}

TEST_F(MarketData, SnapshotRequestBytesAndText) {
    const RequestSnapshotMessage req = snapshotRequest();
    EXPECT_EQ(hex(encode(req)), "06 01 0e 00");
    EXPECT_EQ(text(req), "<RequestSnapshotMessage ( feedID=3" + br(26) + "markets=[ 7 ]" + br(26) +
                             "streamID=0 )>");
}

TEST_F(MarketData, ListCountsOfOneAndTwoBytes) {
    struct Case {
        size_t n;
        const char* count;
    } const cases[] = {{127, "7f"}, {128, "80 80"}, {300, "81 2c"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        RequestSnapshotMessage req;
        req.feedID = 3;
        req.markets.assign(c.n, 1);
        const std::string body = encode(req);
        const size_t countBytes = body.size() - 2 - c.n;
        EXPECT_EQ(hex(body.substr(1, countBytes)), c.count);
        ShpOXMessage back = decode(RequestSnapshotMessage::ID, body);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->getRef<RequestSnapshotMessage>().markets.size(), c.n);
    }
}

TEST_F(MarketData, ViewOrder) {
    MarketView a = marketUpdate().mvd, b = a;
    b.timeApiClient = 1;
    EXPECT_TRUE(a != b);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);

    MarketView longer = a;
    longer.mdEntryList.push_back(MDEntry());
    EXPECT_TRUE(a < longer);  // a proper prefix orders first
    EXPECT_FALSE(longer < a);
}

TEST_F(MarketData, DecodingReplacesTheEntries) {
    MarketView target = marketUpdate().mvd;
    target.mdEntryList.assign(5, level());
    const MarketView one = marketUpdate().mvd;
    EXPECT_EQ(decodeRecord(encodeRecord(one), target), encodeRecord(one).size());
    EXPECT_EQ(target.mdEntryList.size(), 1u);
    EXPECT_TRUE(target == one);
}
