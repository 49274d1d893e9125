#include <gtest/gtest.h>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class OrderEntry : public apitest::ApiTest {};

}  // namespace

TEST_F(OrderEntry, CancelAllOrderBytes) {
    EXPECT_EQ(hex(apitest::encodeRecord(cancelAll())), "02 58 31 01 00 00 00 06");
    CancelAllOrderMessage msg;
    msg.contents = cancelAll();
    EXPECT_EQ(hex(apitest::encode(msg)), "00 02 58 31 01 00 00 00 06");
}

TEST_F(OrderEntry, CancelOrderBytes) {
    EXPECT_EQ(hex(apitest::encodeRecord(cancelOrder())), "02 01 63 04 06 01 6f 00 00 00");
}

TEST_F(OrderEntry, SubmitOrderBytes) {
    const std::string record =
        "02 01 41 00 00 00 02 04 01 80 80 e8 98 a9 bf 8d 07 80 e4 97 d0 12 02 01 07 07";
    EXPECT_EQ(hex(apitest::encodeRecord(submit())), record);
    SubmitOrderMessage msg;
    msg.contents = submit();
    const std::string body = apitest::encode(msg);
    EXPECT_EQ(hex(body), "00 00 00 " + record + " 00");
    EXPECT_EQ(body.size(), 30u);
}

TEST_F(OrderEntry, ComplexOrderBytesAndLongCounts) {
    EXPECT_EQ(hex(apitest::encodeRecord(complexOrder())),
              "01 6e 02 01 63 00 00 00 04 01 01 61 01 62");
    ComplexOrder x = complexOrder();
    x.parameters.resize(200);
    const std::string body = apitest::encodeRecord(x);
    EXPECT_EQ(hex(body.substr(9, 2)), "80 c8");
    ComplexOrder back;
    EXPECT_EQ(apitest::decodeRecord(body, back), body.size());
    EXPECT_EQ(back.parameters.size(), 200u);
    EXPECT_TRUE(back == x);
}

TEST_F(OrderEntry, DecodingIntoAFilledRecordReplacesItsList) {
    ComplexOrder target = complexOrder();
    target.parameters.resize(3);
    target.parameters[2].key = "z";
    const ComplexOrder one = complexOrder();
    apitest::decodeRecord(apitest::encodeRecord(one), target);
    EXPECT_EQ(target.parameters.size(), 1u);
    EXPECT_TRUE(target == one);
}

TEST_F(OrderEntry, OrderingRules) {
    // Differing only in maxShow: unequal, the smaller raw value first, so NA before any amount.
    SubmitOrder a = submit(), b = submit();
    b.maxShow = OXFloat(int64_t{-5} * E9);
    EXPECT_TRUE(a != b);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);

    // A proper prefix of a parameter list orders first.
    ComplexOrder shortList = complexOrder(), longList = complexOrder();
    longList.parameters.push_back(pair("c", "d"));
    EXPECT_TRUE(shortList < longList);
    EXPECT_FALSE(longList < shortList);
    EXPECT_TRUE(shortList != longList);

    // Key before value.
    const KeyValuePair ka = pair("a", "z"), kb = pair("b", "a");
    EXPECT_TRUE(ka < kb);
    EXPECT_FALSE(kb < ka);

    // false before true.
    CancelAllOrder f = cancelAll(), t = cancelAll();
    f.monitoredOnly = false;
    EXPECT_TRUE(f < t);
}
