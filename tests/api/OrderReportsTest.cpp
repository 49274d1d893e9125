#include <gtest/gtest.h>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class OrderReports : public apitest::ApiTest {};

}  // namespace

TEST_F(OrderReports, WorkedExampleBytes) {
    EXPECT_EQ(hex(apitest::encodeRecord(orderDone())), "0a 0e 01 41 00 00 00 00 00 00 02 04");

    EXPECT_EQ(hex(apitest::encodeRecord(duplicateA())), "01 01 01 41 00 00 00 00 00 02 04 06");

    EXPECT_EQ(hex(apitest::encodeRecord(submitted())),
              "02 04 01 63 01 65 00 80 80 e8 98 a9 bf 8d 07 03 00 00 00 00 02 04");

    EXPECT_EQ(hex(apitest::encodeRecord(orderCanceled())),
              "06 08 01 63 00 01 78 00 00 00 00 00 02 04 02 07 07 01");

    EXPECT_EQ(hex(apitest::encodeRecord(orderReceived())),
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
