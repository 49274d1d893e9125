// Configuration, subscription and key records: worked examples in bytes, text and order.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class Configuration : public apitest::ApiTest {};

// The text of both increments of a market when they are NA.
const std::string NA_INCREMENTS = "bigIncrement=" + NA_TEXT + "  minIncrement=" + NA_TEXT;

APIFeed feedOfThree() {
    APIFeed f;
    f.name = "F";
    f.exchangeName = "X";
    f.feedID = 1;
    f.flags = 0x6;  // MARKET_DATA and TRADING
    f.marketList = {market(1, "A"), market(2, "B"), market(3, "C")};
    return f;
}

}  // namespace

TEST_F(Configuration, FeedMarketIDOrdersByMarketThenFeed) {
    struct Case {
        FeedMarketID less, more;
    };
    const Case cases[] = {
        {fm(1, 9), fm(2, 0)},
        {fm(-1, 5), fm(0, 5)},
        {fm(3, 2), fm(3, 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(text(c.less) + " < " + text(c.more));
        EXPECT_TRUE(c.less < c.more);
        EXPECT_FALSE(c.more < c.less);
        EXPECT_TRUE(c.less != c.more);
        EXPECT_FALSE(c.less < c.less);
    }
    // As a key: the order in which stored subscriptions are sent again.
    const std::set<FeedMarketID> keys = {fm(3, 4), fm(1, 9), fm(3, 2), fm(2, 0)};
    std::string order;
    for (const FeedMarketID& k : keys)
        order += std::to_string(k.marketID) + std::to_string(k.feedID);
    EXPECT_EQ(order, "19203234");
}

TEST_F(Configuration, FeedMarketIDBytesAndText) {
    EXPECT_EQ(hex(encodeRecord(fm(3, 1))), "06 02");
    EXPECT_TRUE(decoded<FeedMarketID>(bytes("06 02")) == fm(3, 1));
    EXPECT_EQ(text(fm(3, 1)), "<FeedMarketID ( marketID=3  feedID=1 )>");
}

TEST_F(Configuration, MarketWithIncrementsSentAsNAEqualsAFreshOne) {
    APIMarket fresh = market(7, "EUR/USD");
    // marketID 7, name, feedID 1, both increments as the single byte of NA, SPOT, SP.
    const std::string body = bytes("0e 07 45 55 52 2f 55 53 44 02 07 07 01 05");
    EXPECT_EQ(hex(encodeRecord(fresh)), hex(body));
    EXPECT_TRUE(decoded<APIMarket>(body) == fresh);
    EXPECT_EQ(text(fresh), "<APIMarket ( marketID=7  name=\"EUR/USD\"  feedID=1  " + NA_INCREMENTS +
                               "  instrumentType=SPOT  settlementDate=SP )>");
}

TEST_F(Configuration, ConfigBytesAndText) {
    EXPECT_EQ(hex(encode(ConfigMessage())), "00");
    EXPECT_EQ(text(ConfigMessage()), "<ConfigMessage ( feedsList=[  ] )>");

    // count, name, exchangeName, feedID, flags, market count, the market.
    EXPECT_EQ(hex(encode(config())), "01 01 46 00 04 80 04 01 02 01 41 02 07 07 01 05");
    EXPECT_EQ(text(config()), "<ConfigMessage ( feedsList=[ ( name=\"F\"" + br(31) +
                                  "exchangeName=\"\"" + br(31) + "feedID=2" + br(31) + "flags=256" +
                                  br(31) + "marketList=[ ( marketID=1  name=\"A\"  feedID=1  " +
                                  NA_INCREMENTS +
                                  "  instrumentType=SPOT  settlementDate=SP ) ] ) ] )>");
}

TEST_F(Configuration, FeedsCopyAndCompareMarketByMarket) {
    const APIFeed a = feedOfThree();
    APIFeed copy(a);
    EXPECT_TRUE(copy == a);
    copy.marketList[2].name = "D";  // the copy holds markets of its own
    EXPECT_EQ(a.marketList[2].name, "C");

    // Differing only in the third market: unequal, ordered by that market's fields.
    APIFeed b = feedOfThree();
    b.marketList[2].minIncrement = OXFloat(int64_t{1});
    EXPECT_TRUE(a != b);
    EXPECT_TRUE(a < b);  // NA before any amount
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(copy != a);
    EXPECT_TRUE(a < copy);  // "C" before "D"
}

TEST_F(Configuration, AGrowingListOfFeedsMovesTheirMarkets) {
    std::vector<APIFeed> feeds(1, feedOfThree());
    const APIMarket* markets = feeds[0].marketList.data();
    feeds.reserve(feeds.capacity() + 1);  // reallocates: each feed is moved, not copied
    EXPECT_EQ(feeds[0].marketList.data(), markets);
    EXPECT_TRUE(feeds[0] == feedOfThree());
}

TEST_F(Configuration, SubscriptionMessages) {
    const SubscribeMessage sub = subscribe();
    EXPECT_EQ(hex(encode(sub)), "00 02 04 01 73 01 00 00");
    EXPECT_EQ(text(sub), "<SubscribeMessage ( sub=( apiType=MARKETDATA  feedID=1  marketID=2 )" +
                             br(20) + "clSubID=\"s\"" + br(20) + "sticky=T" + br(20) +
                             "sessionID=0" + br(20) + "timestamp=0 )>");

    EXPECT_EQ(hex(encode(unsubscribe())), "01 02 00 00 00 00");

    UnsubscribeAllMessage all;
    EXPECT_EQ(hex(encode(all)), "00 00 00");
    EXPECT_EQ(text(all), "<UnsubscribeAllMessage ( clSubID=\"\"  sessionID=0  timestamp=0 )>");
}

TEST_F(Configuration, SubscriptionEventStickyByteReadsTrue) {
    ShpOXMessage msg =
        decode(SubscriptionEventMessage::ID, bytes(SUBSCRIPTION_EVENT_STICKY_BYTE_5));
    ASSERT_TRUE(msg);
    const SubscriptionEventMessage& ev = msg->getRef<SubscriptionEventMessage>();
    EXPECT_TRUE(ev.contents.sticky);
    EXPECT_EQ(ev.contents.status, SubscriptionStatus::ENABLED);
    EXPECT_EQ(hex(encode(ev)), "01 02 00 00 01 00 01 00 00");
    EXPECT_EQ(text(ev.contents),
              "<SubscriptionEvent ( sub=( apiType=TRADING  feedID=1  marketID=0 )" + br(21) +
                  "clSubID=\"\"" + br(21) + "status=ENABLED" + br(21) + "reason=\"\"" + br(21) +
                  "sticky=T )>");
}

TEST_F(Configuration, IDNamePair) {
    IDNamePair p;
    p.id = -1;
    p.name = "g";
    EXPECT_EQ(hex(encodeRecord(p)), "01 01 67");
    EXPECT_EQ(text(p), "<IDNamePair ( id=-1  name=\"g\" )>");
}
