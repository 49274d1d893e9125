#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "catalogue/OXProtocol.h"
#include "catalogue/OXProtocolWriter.h"
#include "common/FastOStream.h"
#include "framework/CodecError.h"
#include "framework/MsgDescriptor.h"
#include "logging/Message.h"
#include "logging/MessagingInit.h"

using Orbanex::LogMessage;
using Orbanex::Message;
using Orbanex::ShpMessage;

namespace {

class MessageTest : public ::testing::Test {
  protected:
    void SetUp() override { Orbanex::MessagingInit::initialize(); }
    void TearDown() override { Orbanex::MessagingInit::finalize(); }

    static ShpMessage logMessage(const std::string& description) {
        ShpMessage msg = CREATE_MESSAGE(LogMessage);
        LogMessage& m = *static_cast<LogMessage*>(msg->getPayload());
        m.timestamp = 1709647629123456000LL;
        m.thread.assign("ZURAV");
        m.level = Orbanex::LogLevel::LOGWARN;
        m.logger.assign("API");
        m.filename.assign("src/client/Session.cpp");
        m.lineno = 120;
        m.function.assign("connect");
        m.description.assign(description.c_str());
        return msg;
    }
};

TEST_F(MessageTest, EncodeAndDecodeRoundTripExactly) {
    ShpMessage original = logMessage("no answer");
    char buf[1024];
    const size_t n = Message::encodeMessage(original, buf, sizeof buf);
    ShpMessage decoded = Message::decodeMessage(CALLSITE, LogMessage::ID, buf, n);
    EXPECT_EQ(decoded->getMsgType(), LogMessage::ID);
    EXPECT_STREQ(decoded->getMsgName(), "LogMessage");
    EXPECT_TRUE(*static_cast<LogMessage*>(decoded->getPayload()) ==
                *static_cast<LogMessage*>(original->getPayload()));

    // The same body, exactly: re-encoding gives the same bytes.
    char again[1024];
    ASSERT_EQ(Message::encodeMessage(decoded, again, sizeof again), n);
    EXPECT_EQ(std::string(buf, n), std::string(again, n));

    // A body that does not fit is refused, not written past the buffer.
    EXPECT_THROW(Message::encodeMessage(original, buf, n - 1), Tarvik::EncodeError);
    EXPECT_THROW(Message::encodeMessage(original, buf, 0), Tarvik::EncodeError);
}

TEST_F(MessageTest, EveryDecodingFailureBecomesAProtocolError) {
    char buf[1024];
    const size_t n = Message::encodeMessage(logMessage("text"), buf, sizeof buf);
    std::string hostile(buf, n);
    hostile[0] = static_cast<char>(0xFF);  // a varint that never ends within the body
    const struct {
        const char* name;
        Tarvik::MsgType_t id;
        std::string body;
        const char* what;  // part of the error text; null: any
    } cases[] = {
        {"unknown id", 0x7777, std::string(buf, n), "Invalid id '30583' for protocol 'Orbanex'"},
        {"empty body", LogMessage::ID, "", "empty message body"},
        {"truncated", LogMessage::ID, std::string(buf, n - 3), nullptr},
        {"bytes left over", LogMessage::ID, std::string(buf, n) + "xy", "2 bytes left over"},
        {"hostile varint", LogMessage::ID, hostile.substr(0, 6), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::testing::internal::CaptureStderr();
        std::string what;
        try {
            Message::decodeMessage(CALLSITE, c.id, c.body.data(), c.body.size());
            ADD_FAILURE() << "decoded";
        } catch (const Orbanex::OXProtocolError& e) {
            what = e.what();
        }
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(err,
                  "Error decoding message of type '" + std::to_string(c.id) + "': " + what + "\n");
        if (c.what != nullptr) {
            EXPECT_THAT(what, ::testing::HasSubstr(c.what));
        }
    }
}

TEST_F(MessageTest, DumpRendersTheMessageBetweenAngleBrackets) {
    ShpMessage empty = CREATE_MESSAGE(Orbanex::ProtocolDefinitionMessage);
    std::ostringstream text;
    empty->dump(text, false);
    EXPECT_EQ(text.str(), "<ProtocolDefinitionMessage (proto=\"\")>");

    ShpMessage log = logMessage("a\nb");
    std::ostringstream viaStream, viaDump;
    viaStream << *static_cast<LogMessage*>(log->getPayload());
    log->dump(viaDump, false);
    EXPECT_EQ(viaDump.str(), viaStream.str());
    // A stream too short for the text gets it cut, never overrun.
    char small[16];
    Orbanex::FastOStream fos(small, small + sizeof small);
    log->dump(fos, false);
    EXPECT_EQ(std::string(small, fos.size()), viaDump.str().substr(0, 16));
}

TEST_F(MessageTest, LastHandleRetiresTheMessageOnceIntoThePool) {
    auto& pool = Message::getAtomicPool();
    ShpMessage a = logMessage("shared");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a.get()) % 64, 0u);
    Message* raw = a.get();
    const size_t cachedBefore = pool.size();
    {
        ShpMessage b = a, c = a;
        ShpMessage d = b;
        EXPECT_EQ(raw->getcount(), 4);
    }
    EXPECT_EQ(raw->getcount(), 1);
    EXPECT_EQ(pool.size(), cachedBefore);
    a.reset();
    EXPECT_EQ(pool.size(), cachedBefore + 1);
    // The next message takes that block again.
    ShpMessage next = CREATE_MESSAGE(LogMessage);
    EXPECT_EQ(next.get(), raw);
}

TEST_F(MessageTest, CopyIsDeepAndIndependent) {
    ShpMessage original = logMessage("original");
    ShpMessage copy = COPY_MESSAGE(original);
    static_cast<LogMessage*>(original->getPayload())->description.assign("changed");
    EXPECT_EQ(static_cast<LogMessage*>(copy->getPayload())->description, std::string("original"));
    EXPECT_EQ(copy->getDescriptor(), original->getDescriptor());
}

TEST_F(MessageTest, UnknownTypeOrNoCatalogueIsRefusedAtConstruction) {
    EXPECT_THROW(Message::createMessage(CALLSITE, 0x7777), std::runtime_error);
    Orbanex::MessagingInit::finalize();
    EXPECT_THROW(CREATE_MESSAGE(LogMessage), std::runtime_error);
    Orbanex::MessagingInit::initialize();
}

TEST_F(MessageTest, ReleasedAfterMessagingIsFinalizedTouchesNoDescriptor) {
    ShpMessage survivor = logMessage("outlives the catalogue");
    Orbanex::MessagingInit::finalize();
    EXPECT_EQ(Orbanex::__protocol, nullptr);
    survivor.reset();  // under AddressSanitizer a descriptor access here would be reported
    Orbanex::MessagingInit::initialize();
    ShpMessage fresh = CREATE_MESSAGE(LogMessage);
    EXPECT_STREQ(fresh->getMsgName(), "LogMessage");
}

}  // namespace
