#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

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

}  // namespace
