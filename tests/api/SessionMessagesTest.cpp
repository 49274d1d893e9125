// Login, ping, heartbeat and service messages: worked examples in bytes and text.
#include <gtest/gtest.h>

#include <string>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class SessionMessages : public apitest::ApiTest {};

}  // namespace

TEST_F(SessionMessages, EmptyVersionIsTwentyFiveZeroBytes) {
    const std::string body = encode(VersionMessage());
    EXPECT_EQ(body, std::string(25, '\0'));
    ShpOXMessage back = decode(VersionMessage::ID, body);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->getRef<VersionMessage>() == VersionMessage());
}

TEST_F(SessionMessages, VersionBytesAreSignedAndTheLastFieldOrders) {
    VersionMessage v;
    v.version_major = -56;
    const std::string body = encode(v);
    EXPECT_EQ(hex(body.substr(0, 3)), "00 c8 00");
    ShpOXMessage back = decode(VersionMessage::ID, body);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getRef<VersionMessage>().version_major, -56);
    // A version global of 200 cut to 8 bits arrives as -56.
    v.version_major = static_cast<int8_t>(200);
    EXPECT_EQ(hex(encode(v).substr(1, 1)), "c8");

    VersionMessage a, b;
    a.extra5 = "a";
    b.extra5 = "b";
    EXPECT_TRUE(a != b);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
}

TEST_F(SessionMessages, PingBytes) {
    RuThereMessage negative = ping();
    EXPECT_EQ(hex(encode(negative)), "02 00");
    negative.dpdSeqNo = -1;
    EXPECT_EQ(hex(encode(negative).substr(0, 1)), "01");

    EXPECT_EQ(hex(encode(imHere())), "02 04 05");
}

TEST_F(SessionMessages, AnyNonZeroBoolByteReadsTrueAndEncodesAsOne) {
    ShpOXMessage two = decode(ConnectResponseMessage::ID, bytes(CONNECT_RESPONSE_ADMIN_BYTE_2));
    ShpOXMessage one = decode(ConnectResponseMessage::ID, bytes("00 00 0e 01"));
    ASSERT_TRUE(two);
    ASSERT_TRUE(one);
    const ConnectResponseMessage& m = two->getRef<ConnectResponseMessage>();
    EXPECT_TRUE(m.isAdmin);
    EXPECT_EQ(m.sessionID, 7);
    EXPECT_EQ(m.connectionResponse, ConnectionResponse::SUCCESS);
    EXPECT_EQ(hex(encode(m)), "00 00 0e 01");
    EXPECT_TRUE(m == one->getRef<ConnectResponseMessage>());
}

TEST_F(SessionMessages, HeartbeatBytesAndText) {
    EXPECT_EQ(hex(encode(heartbeat())), "02 02 06 12 0a");
    EXPECT_EQ(text(heartbeat()), "<HeartbeatMessage ( contents=( timeApiServer=1" + br(31) +
                                     "activeFeeds=[ 3" + br(45) + "9 ] )" + br(20) +
                                     "feedSeqID=5 )>");
}

TEST_F(SessionMessages, TerminalMessagesPrintOnOneLine) {
    EXPECT_EQ(text(logout()), "<ClientDisconnectMessage ( sessionID=7  timeDisconnected=0 )>");
    EXPECT_EQ(hex(encode(logout())), "0e 00");

    EXPECT_EQ(text(login()), "<ClientConnectMessage ( user=\"u\"  password=\"p w\" )>");
    EXPECT_EQ(hex(encode(login())), "01 75 03 70 20 77");

    EXPECT_EQ(text(refusedLogin()),
              "<ConnectResponseMessage ( connectionResponse=FAILED_USER_LOCKED  text=\"locked\"  "
              "sessionID=0  isAdmin=F )>");

    EXPECT_EQ(text(insertLog()), "<InsertLogMessage ( description=\"hi\"  level=LOGINFO )>");
    EXPECT_EQ(hex(encode(insertLog())), "02 68 69 04");

    TestMessage test;
    test.test = APITest::NONE;
    EXPECT_EQ(text(test), "<TestMessage ( test=NONE )>");
    EXPECT_EQ(hex(encode(test)), "00");
}
