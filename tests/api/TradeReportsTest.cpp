// Trade capture and drop copy: worked examples in bytes, text and order.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class TradeReports : public apitest::ApiTest {};

const char* const TRADE_BYTES =
    "0a 82 80 80 80 80 40 01 41 00 00 02 54 31 00 00 00 00 00 02 02 04 02 80 80 e8 98 a9 bf 8d "
    "07 80 f8 82 ad 16 01 00 00 00 00";

const std::string ZERO_TRADE_GROUP =
    "( sequenceID=0  orderID=0  clOrdID=\"\"  exOrdID=\"\"  exPendingID=\"\"  exTradeID=\"\"  "
    "modelID=\"\"  timeExchange=0  timeHandler=0  timeApiServer=0  timeApiClient=0  feedID=0  "
    "origFeedID=0  marketID=0  side=BID  amount=" +
    NA_TEXT + "  price=" + NA_TEXT +
    "  isTaker=F  matchStatus=DONE  counterPartyID=\"\"  tradeDate=0  settlDate=0 )";

const std::string ZERO_COPY_GROUP =
    "( sequenceID=0  customerClientID=\"\"  customerAccountID=\"\"  userName=\"\"  "
    "onBehalfOfCompID=\"\"  onBehalfOfSubID=\"\"  clOrdID=\"\"  exOrdID=\"\"  exPendingID=\"\"  "
    "exTradeID=\"\"  modelID=\"\"  timeExchange=0  timeHandler=0  timeApiServer=0  "
    "timeApiClient=0  feedID=0  origFeedID=0  marketID=0  side=BID  price=" +
    NA_TEXT + "  origPrice=" + NA_TEXT + "  baseCurrAmt=" + NA_TEXT +
    "  baseCurrency=\"\"  counterCurrAmt=" + NA_TEXT +
    "  counterCurrency=\"\"  settlCurrAmt=" + NA_TEXT +
    "  settlCurrency=\"\"  isTaker=F  matchStatus=DONE  counterPartyID=\"\"  tradeDate=0  "
    "settlDate=0 )";

}  // namespace

TEST_F(TradeReports, TradeCaptureBytes) {
    EXPECT_EQ(hex(encodeRecord(trade())), TRADE_BYTES);
    EXPECT_TRUE(decoded<TradeCapture>(bytes(TRADE_BYTES)) == trade());

    const std::string body = encode(tradeCapture());
    EXPECT_EQ(hex(body), std::string("0a 07 ") + TRADE_BYTES);
    EXPECT_EQ(body.size(), 43u);

    EXPECT_EQ(hex(encodeRecord(zeroTrade())),
              "00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 07 07 00 00 00 00 00");
}

TEST_F(TradeReports, DropCopyIsOneBytePerMember) {
    const std::string record = encodeRecord(zeroCopy());
    EXPECT_EQ(record.size(), 32u);
    EXPECT_EQ(hex(record.substr(18, 7)), "01 07 07 07 00 07 00");  // side, amounts and currencies

    EXPECT_EQ(encode(dropCopy()), record + bytes("0a 00"));

    DropCopy eur = zeroCopy();
    eur.baseCurrency = "EUR";
    EXPECT_EQ(hex(encodeRecord(eur).substr(22, 4)), "03 45 55 52");
}

TEST_F(TradeReports, DefaultsPrintNAAndEmptyStrings) {
    const std::string dropCopy = text(DropCopy());
    size_t amounts = 0, strings = 0;
    for (size_t at = dropCopy.find(NA_TEXT); at != std::string::npos;
         at = dropCopy.find(NA_TEXT, at + 1))
        ++amounts;
    for (size_t at = dropCopy.find("=\"\""); at != std::string::npos;
         at = dropCopy.find("=\"\"", at + 1))
        ++strings;
    EXPECT_EQ(amounts, 5u);
    EXPECT_EQ(strings, 14u);
    EXPECT_EQ(text(zeroCopy()), "<DropCopy " + ZERO_COPY_GROUP + ">");
}

TEST_F(TradeReports, MessagesText) {
    TradeCaptureMessage capture;
    capture.userID = 5;
    capture.contents = zeroTrade();
    EXPECT_EQ(text(capture), "<TradeCaptureMessage ( userID=5" + br(23) + "origPrice=" + NA_TEXT +
                                 br(23) + "contents=" + ZERO_TRADE_GROUP + " )>");

    DropCopyMessage copy;
    copy.contents = zeroCopy();
    copy.userID = 5;
    copy.origFeedSequenceID = 9;
    EXPECT_EQ(text(copy), "<DropCopyMessage ( contents=" + ZERO_COPY_GROUP + br(19) + "userID=5" +
                              br(19) + "origFeedSequenceID=9 )>");
}

TEST_F(TradeReports, Order) {
    TradeCapture a = trade(), b = trade();
    b.timeApiClient = 1;
    EXPECT_TRUE(a != b);
    EXPECT_TRUE(a < b);

    // The drop copy decides before userID.
    DropCopyMessage lesser, greater;
    lesser.contents = zeroCopy();
    lesser.userID = 100;
    greater.contents = zeroCopy();
    greater.contents.settlDate = 1;
    greater.userID = 1;
    EXPECT_TRUE(lesser < greater);
    EXPECT_FALSE(greater < lesser);

    // userID, then origPrice, then the trade.
    TradeCaptureMessage x, y;
    x.contents = trade();
    y.contents = zeroTrade();
    y.origPrice = OXFloat(int64_t{1});
    EXPECT_TRUE(x < y);
}

TEST_F(TradeReports, MatchStatusWithoutANameIsKept) {
    std::string body = encodeRecord(zeroTrade());
    body[18] = 7;  // side, amount, price and isTaker stand at 14 to 17
    const TradeCapture t = decoded<TradeCapture>(body);
    EXPECT_EQ(static_cast<int>(t.matchStatus), 7);
    EXPECT_EQ(encodeRecord(t), body);
    EXPECT_NE(text(t).find("isTaker=F  matchStatus=  counterPartyID"), std::string::npos);
}
