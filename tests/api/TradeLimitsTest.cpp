// Trade limits and risk: worked examples in bytes, text and order.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class TradeLimits : public apitest::ApiTest {};

TradeLimit limit(const char* nopAmount) {
    TradeLimit t;
    t.limitID = "L";
    t.feedID = 1;
    t.marketID = 2;
    t.ccyType = CcyType::COUNTER;
    t.nopAmount = nopAmount;
    return t;
}

}  // namespace

TEST_F(TradeLimits, MarketRateBytesAndText) {
    EXPECT_EQ(hex(encodeRecord(rate())), "02 00 04 31 2e 32 35");
    EXPECT_TRUE(decoded<MarketRate>(bytes("02 00 04 31 2e 32 35")) == rate());
    EXPECT_EQ(text(rate()), "<MarketRate ( marketID=1  settlTime=0  rate=\"1.25\" )>");
}

TEST_F(TradeLimits, EmptyDataIsZeroBytes) {
    EXPECT_EQ(encodeRecord(TradeLimitData()), std::string(7, '\0'));
    EXPECT_EQ(encode(TradeLimitDataMessage()), std::string(9, '\0'));
    EXPECT_EQ(encode(RiskResponseMessage()), std::string(4, '\0'));
}

TEST_F(TradeLimits, WarningPercentagesAndCcyType) {
    struct Case {
        int16_t pct;
        const char* bytes;
    } const cases[] = {{-1, "01"}, {80, "a0 01"}, {-32768, "ff ff 03"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pct);
        TradeLimit t = limit("");
        t.dslWarnPct = c.pct;
        const std::string body = encodeRecord(t);
        EXPECT_EQ(hex(body.substr(body.size() - bytes(c.bytes).size())), c.bytes);
        EXPECT_EQ(decoded<TradeLimit>(body).dslWarnPct, c.pct);
    }
    // limitID, groupName, feedID, marketID, then ccyType.
    const std::string body = encodeRecord(limit(""));
    EXPECT_EQ(hex(body.substr(0, 5)), "01 4c 00 02 04");
    EXPECT_EQ(hex(body.substr(5, 1)), "02");
    std::string seven = body;
    seven[5] = 7;
    const TradeLimit t = decoded<TradeLimit>(seven);
    EXPECT_EQ(static_cast<int>(t.ccyType), 7);
    EXPECT_EQ(encodeRecord(t), seven);
    EXPECT_NE(text(t).find("  ccyType=  nopAmount="), std::string::npos);
}

TEST_F(TradeLimits, ListCounts) {
    struct Case {
        size_t n;
        const char* count;
    } const cases[] = {{127, "7f"}, {200, "80 c8"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        TradeLimitDataMessage msg;
        msg.groupIDNamePairs.resize(c.n);
        const std::string body = encode(msg);
        // Seven bytes of the empty data, the count, n pairs of two bytes, the empty user list.
        EXPECT_EQ(hex(body.substr(7, body.size() - 8 - 2 * c.n)), c.count);
        ShpOXMessage back = decode(TradeLimitDataMessage::ID, body);
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->getRef<TradeLimitDataMessage>() == msg);
    }
}

TEST_F(TradeLimits, AmountsCompareAsText) {
    EXPECT_TRUE(limit("10") < limit("9"));
    EXPECT_FALSE(limit("9") < limit("10"));
    EXPECT_TRUE(limit("1.0") != limit("1.00"));
    EXPECT_TRUE(limit("-5") < limit("1"));
    // Not parsed or checked: any text travels.
    EXPECT_TRUE(decoded<TradeLimit>(encodeRecord(limit("abc"))) == limit("abc"));
}

TEST_F(TradeLimits, RiskResponseOrder) {
    RiskResponse a, b;
    a.clRequestID = "a";
    a.limitStatus = {limitStatus(), limitStatus()};
    b.clRequestID = "b";
    EXPECT_TRUE(a < b);  // clRequestID before the lists

    RiskResponse prefix = a;
    prefix.limitStatus.pop_back();
    prefix.usageStatus.resize(1);  // later lists do not count once limitStatus differs
    EXPECT_TRUE(prefix < a);
    EXPECT_FALSE(a < prefix);
}

TEST_F(TradeLimits, RiskResponseText) {
    const RiskResponse r = riskResponse();
    EXPECT_EQ(text(r), "<RiskResponse ( clRequestID=\"r1\"" + br(16) +
                           "limitStatus=[ ( group=\"g\"  feedID=1  marketID=2  status=SUCCESS  "
                           "reason=\"\" ) ]" +
                           br(16) + "usageStatus=[  ] )>");
    EXPECT_EQ(hex(encodeRecord(r)), "02 72 31 01 01 67 02 04 01 00 00");
}

TEST_F(TradeLimits, HierarchyText) {
    const TradeHierarchy h = hierarchy();
    EXPECT_EQ(text(h), "<TradeHierarchy ( userName=\"u\"" + br(18) + "groupNames=[ \"a\"" + br(31) +
                           "\"b\" ] )>");
    EXPECT_EQ(hex(encodeRecord(h)), "01 75 02 01 61 01 62");
}

TEST_F(TradeLimits, DataMessageText) {
    EXPECT_EQ(text(tradeLimitData()),
              "<TradeLimitDataMessage ( contents=( clDataID=\"d\"" + br(36) + "groupLimits=[  ]" +
                  br(36) + "groupStates=[  ]" + br(36) + "userHierarchy=[  ]" + br(36) +
                  "marketRates=[ ( marketID=1  settlTime=0  rate=\"1.25\" ) ]" + br(36) +
                  "numRemainingMessages=0" + br(36) + "isSnapshot=F )" + br(25) +
                  "groupIDNamePairs=[ ( id=4  name=\"G\" ) ]" + br(25) + "userIDNamePairs=[  ] )>");
}
