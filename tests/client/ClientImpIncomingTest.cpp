#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "api/ConfigMessage.h"
#include "api/LockResponseMessage.h"
#include "api/MsgFactory.h"
#include "api/ProtoInit.h"
#include "api/RiskResponseMessage.h"
#include "api/SubmitOrderMessage.h"
#include "client/ClientImp.h"

namespace {

using namespace ZURAV;

// Standard error as text for the life of the object.
class CaptureStderr {
  public:
    CaptureStderr() : _old(std::cerr.rdbuf(_text.rdbuf())) {}
    ~CaptureStderr() { std::cerr.rdbuf(_old); }
    std::string text() const { return _text.str(); }

  private:
    std::ostringstream _text;
    std::streambuf* _old;
};

class ClientImpIncoming : public testing::Test {
  protected:
    void SetUp() override { ProtoInit::initialize(); }

    // What dispatching a new message of type id writes to standard error.
    std::string reportOf(MsgType_t id, std::string* expected) {
        const ShpOXMessage msg = MsgFactory::createMessage(id);
        std::ostringstream text;
        text << *msg;
        *expected = "Handler not implemented for: " + text.str() + "\n";
        const CaptureStderr err;
        client.dispatchMessage(msg, msg.get(), id);
        return err.text();
    }

    ClientImp client{nullptr, "user", "password", "localhost", 1, nullptr, 0};
};

TEST_F(ClientImpIncoming, AMessageTheSessionDoesNotHandleIsReportedOnStandardError) {
    for (MsgType_t id :
         {RiskResponseMessage::ID, LockResponseMessage::ID, SubmitOrderMessage::ID}) {
        SCOPED_TRACE(id);
        std::string expected;
        EXPECT_EQ(reportOf(id, &expected), expected);
        EXPECT_EQ(expected.rfind("Handler not implemented for: <", 0), 0u);
    }
}

TEST_F(ClientImpIncoming, AConfigurationIsHandledWithoutAReport) {
    std::string expected;
    EXPECT_EQ(reportOf(ConfigMessage::ID, &expected), "");
}

TEST_F(ClientImpIncoming, SequenceIdsOnlyRiseExceptWhenTheServerSetsThem) {
    EXPECT_EQ(client.getSequenceID(5), -2);
    client.updateLastSequenceID(5, 10);
    EXPECT_EQ(client.getSequenceID(5), 10);
    client.updateLastSequenceID(5, 7);
    EXPECT_EQ(client.getSequenceID(5), 10);
    client.setLastSequenceID(5, 3);
    EXPECT_EQ(client.getSequenceID(5), 3);
    // A locally made rejection's -1 creates an entry for an unknown feed only.
    client.updateLastSequenceID(6, -1);
    client.updateLastSequenceID(5, -1);
    EXPECT_EQ(client.getSequenceID(6), -1);
    EXPECT_EQ(client.getSequenceID(5), 3);

    EXPECT_EQ(client.getOrigFeedSequenceID(), 0);
    client.setOrigFeedSequenceID(44);
    EXPECT_EQ(client.getOrigFeedSequenceID(), 44);
}

// The loop writes the sequence ids while the application's threads read them.
TEST(ClientImpIncomingThreads, SequenceIdsAreReadSafelyWhileTheLoopWritesThem) {
    ClientImp client(nullptr, "user", "password", "localhost", 1, nullptr, 0);
    const SequenceID_t last = 20000;
    std::thread loop([&client, last] {
        for (SequenceID_t s = 1; s <= last; ++s) {
            client.updateLastSequenceID(s % 50, s);  // new feeds rebalance the map
            client.setOrigFeedSequenceID(s);
        }
    });
    const FeedID_t watched = 49;  // its last value is 19999
    SequenceID_t seen = -2;
    while (seen < last - 1) {
        const SequenceID_t now = client.getSequenceID(watched);
        EXPECT_GE(now, seen);
        seen = now;
        EXPECT_GE(client.getOrigFeedSequenceID(), 0);
    }
    loop.join();
    EXPECT_EQ(client.getSequenceID(0), last);
    EXPECT_EQ(client.getOrigFeedSequenceID(), last);
}

}  // namespace
