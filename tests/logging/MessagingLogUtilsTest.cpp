#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>

#include "LoggingTestUtil.h"
#include "common/OXVersion.h"
#include "framework/MsgLogFile.h"
#include "framework/MsgProtocol.h"
#include "logging/BinaryLog.h"
#include "logging/MessagingInit.h"
#include "logging/MessagingLogUtils.h"

using Orbanex::ShpMessage;
using Orbanex::VersionMessage;

namespace {

class MessagingLogUtils : public ::testing::Test {
  protected:
    void SetUp() override { Orbanex::MessagingInit::initialize(); }
    void TearDown() override { Orbanex::MessagingInit::finalize(); }

    bool signatureOf(const std::string& bytes, std::string& signature) {
        const std::string name = dir.path() + "/file.dat";
        std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
        std::unique_ptr<Tarvik::MsgLogFile> file(
            Tarvik::MsgLogFile::open(name.c_str(), Orbanex::__protocol));
        EXPECT_NE(file, nullptr);
        return Orbanex::getLogSignature(file.get(), signature);
    }

    logtest::TempDir dir;
};

TEST_F(MessagingLogUtils, VersionMessageDescribesTheBuildAndTheCatalogue) {
    ShpMessage msg = Orbanex::getVersionMessage(0);
    ASSERT_EQ(msg->getMsgType(), VersionMessage::ID);
    const VersionMessage& v = *static_cast<VersionMessage*>(msg->getPayload());
    EXPECT_EQ(v.program, std::string("Sondrel"));
    EXPECT_EQ(v.version_major, static_cast<int8_t>(Orbanex::Version::VERSION_MAJOR));
    EXPECT_EQ(v.version_minor, static_cast<int8_t>(Orbanex::Version::VERSION_MINOR));
    EXPECT_EQ(v.version_micro, static_cast<int8_t>(Orbanex::Version::VERSION_MICRO));
    EXPECT_EQ(v.syncSize, 0);
    EXPECT_EQ(v.revision, std::string(Orbanex::Version::REVISION));
    EXPECT_EQ(v.protosig, std::string(Orbanex::__protocol->getSignatureAPI()));
    EXPECT_EQ(v.extra1, std::string(Orbanex::__protocol->getSignature()));
    EXPECT_EQ(v.extra1.size_(), 32u);
    EXPECT_EQ(v.extra2, std::to_string(getpid()));
    EXPECT_EQ(v.extra3, std::string("cpp"));
    for (const auto* empty : {&v.version_extra, &v.branch, &v.time, &v.extra4, &v.extra5}) {
        EXPECT_EQ(*empty, std::string());
    }
    EXPECT_EQ(static_cast<VersionMessage*>(Orbanex::getVersionMessage(512)->getPayload())->syncSize,
              512);
}

TEST_F(MessagingLogUtils, ProtocolDefinitionHoldsTheCompressedDefinition) {
    ShpMessage msg = Orbanex::getProtocolDefinitionMessage();
    EXPECT_EQ(static_cast<Orbanex::ProtocolDefinitionMessage*>(msg->getPayload())->proto,
              std::string("(Not supported.)"));
}

TEST_F(MessagingLogUtils, SignatureIsReadFromTheFirstRecordOnly) {
    logtest::FixedClock clock;
    std::string logName;
    {
        Orbanex::BinaryLog log;
        ASSERT_TRUE(log.configure(dir.base(), 1024, 0, false, true, true));
        logName = log.getCurrentFileName();
    }
    std::string signature = "untouched";
    std::unique_ptr<Tarvik::MsgLogFile> file(
        Tarvik::MsgLogFile::open(logName.c_str(), Orbanex::__protocol));
    ASSERT_TRUE(Orbanex::getLogSignature(file.get(), signature));
    EXPECT_EQ(signature, Orbanex::__protocol->getSignature());

    // A file that starts with a log record, an empty, short or hostile file: no signature, and
    // nothing read outside the file.
    ShpMessage logRecord = CREATE_MESSAGE(Orbanex::LogMessage);
    char frame[256];
    const size_t n = Orbanex::BinaryLog::frameMessage(logRecord, logtest::T0, frame, sizeof frame);
    ShpMessage version = Orbanex::getVersionMessage(0);
    char vframe[4096];
    const size_t vn = Orbanex::BinaryLog::frameMessage(version, logtest::T0, vframe, sizeof vframe);
    std::string badBody(vframe, vn);
    badBody[12] = static_cast<char>(0xFF);  // the program string's length runs past the record
    badBody[13] = static_cast<char>(0xFF);
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"log record first", std::string(frame, n)},
        {"empty", ""},
        {"shorter than a header", std::string(vframe, 5)},
        {"record cut short", std::string(vframe, vn - 1)},
        {"length beyond the file", std::string("\xF0\xFF\x00\x00", 4) + std::string(vframe + 4, 8)},
        {"malformed body", badBody},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        signature = "untouched";
        EXPECT_FALSE(signatureOf(c.bytes, signature));
        EXPECT_EQ(signature, "untouched");
    }
}

}  // namespace
