#include <gtest/gtest.h>

#include "ApiTestUtil.h"
#include "OrderSamples.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class OrderReports : public apitest::ApiTest {};

}  // namespace

TEST_F(OrderReports, WorkedExampleBytes) {
    OrderDone done;
    done.sequenceID = 5;
    done.orderID = 7;
    done.clOrdID = "A";
    done.feedID = 1;
    done.marketID = 2;
    EXPECT_EQ(hex(apitest::encodeRecord(done)), "0a 0e 01 41 00 00 00 00 00 00 02 04");

    EXPECT_EQ(hex(apitest::encodeRecord(duplicateA())), "01 01 01 41 00 00 00 00 00 02 04 06");

    EXPECT_EQ(hex(apitest::encodeRecord(submitted())),
              "02 04 01 63 01 65 00 80 80 e8 98 a9 bf 8d 07 03 00 00 00 00 02 04");

    OrderCanceled canceled;
    canceled.sequenceID = 3;
    canceled.orderID = 4;
    canceled.clOrdID = "c";
    canceled.cxlID = "x";
    canceled.feedID = 1;
    canceled.marketID = 2;
    canceled.side = Side::OFR;
    canceled.reason = CancelReason::CANCEL_REQUESTED;
    EXPECT_EQ(hex(apitest::encodeRecord(canceled)),
              "06 08 01 63 00 01 78 00 00 00 00 00 02 04 02 07 07 01");

    OrderReceived received;
    received.sequenceID = 1;
    received.orderID = 2;
    received.clOrdID = "c";
    received.feedID = 1;
    received.marketID = 2;
    received.side = Side::BID;
    received.amount = OXFloat(3 * E9 / 2);
    received.ordType = OrderType::LIMIT;
    received.timeInForce = TimeInForce::IOC;
    EXPECT_EQ(hex(apitest::encodeRecord(received)),
              "02 04 01 63 00 00 00 02 04 01 80 f8 82 ad 16 07 02 03");
}

TEST_F(OrderReports, VarintWidths) {
    OrderDone x;
    x.sequenceID = 64;
    x.orderID = (int64_t{1} << 40) + 1;
    EXPECT_EQ(hex(apitest::encodeRecord(x).substr(0, 8)), "80 01 82 80 80 80 80 40");
}

TEST_F(OrderReports, MessageRoundTripGivesTheSameBytes) {
    OrderRejectedMessage msg;
    msg.contents = duplicateA();
    const std::string body = apitest::encode(msg);
    EXPECT_EQ(hex(body), "00 01 01 01 41 00 00 00 00 00 02 04 06");
    ShpOXMessage back = apitest::decode(OrderRejectedMessage::ID, body);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getMsgType(), OrderRejectedMessage::ID);
    EXPECT_TRUE(back->getRef<OrderRejectedMessage>() == msg);
    EXPECT_EQ(apitest::encode(*back), body);
}

TEST_F(OrderReports, EnumerationBytesAreKeptAsTheyCame) {
    std::string body = apitest::encodeRecord(duplicateA());
    body.back() = static_cast<char>(200);
    OrderRejected x;
    EXPECT_EQ(apitest::decodeRecord(body, x), body.size());
    EXPECT_EQ(RejectReason::toValue(x.reason), 200);
    EXPECT_EQ(apitest::encodeRecord(x), body);
}

TEST_F(OrderReports, OrderingRules) {
    OrderSubmitted ten = submitted(), nine = submitted();
    ten.exOrdID = "10";
    nine.exOrdID = "9";
    EXPECT_TRUE(ten < nine);
    EXPECT_FALSE(nine < ten);

    OrderDone a, b;
    b.timeApiClient = 1;
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(a == b);

    // A message orders by userID first, then by its report.
    OrderDoneMessage m1, m2;
    m1.userID = 1;
    m2.contents.sequenceID = 9;
    EXPECT_TRUE(m2 < m1);
}
