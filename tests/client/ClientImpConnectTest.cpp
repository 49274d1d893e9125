#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "ClientImpInspector.h"
#include "api/ClientConnectMessage.h"
#include "api/ConfigMessage.h"
#include "api/ProtoInit.h"
#include "api/VersionMessage.h"
#include "api/ZURAVProtocol.h"
#include "catalogue/OXProtocol.h"
#include "client/ClientImp.h"
#include "support/client/RefusingPort.h"
#include "support/client/SocketPairs.h"
#include "support/client/TestServer.h"

namespace {

using namespace ZURAV;
using test_support::Behaviour;
using test_support::ConnectionRecord;
using test_support::TestServer;
typedef ClientImpInspector In;

int lowestFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return fd;
}

bool nonBlocking(int fd) { return (fcntl(fd, F_GETFL) & O_NONBLOCK) != 0; }

// The login messages are built from the catalogue's signatures: the library is initialised.
class ClientConnect : public testing::Test {
  protected:
    void SetUp() override {
        Orbanex::initialize();
        ProtoInit::initialize();
    }
    void TearDown() override { Orbanex::finalize(); }

    // The two login frames of the current connection, in order.
    static void expectLogin(const ConnectionRecord& r) {
        ASSERT_EQ(r.frames.size(), 2u);
        const VersionMessage* version = r.frames[0].as<VersionMessage>();
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version->program, "ZURAV");
        EXPECT_EQ(version->extra3, "cpp");
        EXPECT_EQ(version->syncSize, 0);
        EXPECT_EQ(version->protosig, API_SIGNATURE);
        EXPECT_EQ(version->extra1, Orbanex::__protocol->getSignature());
        const ClientConnectMessage* login = r.frames[1].as<ClientConnectMessage>();
        ASSERT_NE(login, nullptr);
        EXPECT_EQ(login->user, "trader");
        EXPECT_EQ(login->password, "secret");
    }
};
class ClientConnectThreads : public ClientConnect {};

TEST_F(ClientConnectThreads, ARefusingFirstServerPassesToTheSecondAtOnce) {
    TestServer server;
    server.setDefault(Behaviour::silent());
    test_support::RefusingPort refusing;
    ClientImp* c = new ClientImp(nullptr, "trader", "secret", "127.0.0.1", refusing.port(),
                                 "127.0.0.1", server.port());

    EXPECT_EQ(c->connectMany(), APIResult::OK);
    EXPECT_EQ(In::currentServer(*c), 1);
    EXPECT_NE(In::rsock(*c), -1);
    EXPECT_EQ(In::wsock(*c), In::rsock(*c));
    EXPECT_TRUE(nonBlocking(In::rsock(*c)));
    ASSERT_TRUE(server.waitForFrames(2));
    expectLogin(server.record().at(0));

    // Destroyed without close(): the connection ends, and nothing more is sent on it.
    delete c;
    ASSERT_TRUE(server.waitFor([](const TestServer::Record& r) { return r[0].closed; }));
    EXPECT_EQ(server.record().size(), 1u);
    EXPECT_EQ(server.record()[0].frames.size(), 2u);
}

TEST_F(ClientConnectThreads, DescriptorPairHostsReadAndWriteTheGivenDescriptors) {
    TestServer server;
    server.setDefault(Behaviour::silent());
    test_support::SocketPairs pairs;
    const int readFd = pairs.clientRead();
    const int writeFd = pairs.clientWrite();
    const std::string host = pairs.handOverClientEnds();
    const std::pair<int, int> serverEnds = pairs.takeServerEnds();
    server.adopt(serverEnds.first, serverEnds.second);

    ClientImp c(nullptr, "trader", "secret", host.c_str(), 0, nullptr, 0);
    EXPECT_EQ(c.connectMany(), APIResult::OK);
    EXPECT_EQ(In::rsock(c), readFd);
    EXPECT_EQ(In::wsock(c), writeFd);
    EXPECT_TRUE(nonBlocking(readFd));
    EXPECT_FALSE(nonBlocking(writeFd));
    ASSERT_TRUE(server.waitForFrames(2));
    expectLogin(server.record().at(0));

    c.closeSockets();
    EXPECT_EQ(In::rsock(c), -1);
    EXPECT_EQ(In::wsock(c), -1);
    ASSERT_TRUE(server.waitFor([](const TestServer::Record& r) { return r[0].closed; }));
}

TEST_F(ClientConnectThreads, AnAttemptForgetsTheStopAndTheConfiguration) {
    TestServer server;
    server.setDefault(Behaviour::silent());
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
    ConfigMessage* config = new ConfigMessage();
    const ShpOXMessage sm(config);
    config->feedsList.resize(1);
    config->feedsList[0].feedID = 3;
    c.dispatchMessage(sm, config, ConfigMessage::ID);
    In::requestStop(c);

    EXPECT_EQ(c.connectOne("127.0.0.1", server.port()), APIResult::OK);
    EXPECT_FALSE(c.isStopRequested());
    EXPECT_EQ(c.getFeedByID(3), nullptr);
    ASSERT_TRUE(server.waitForFrames(2));
}

TEST_F(ClientConnect, ARefusedConnectionLeavesNothingOpen) {
    test_support::RefusingPort refusing;
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", refusing.port(), "", 0);
    const int freeWithClient = lowestFreeDescriptor();
    EXPECT_EQ(c.connectMany(), APIResult::SOCKERR_CONNECT);
    EXPECT_EQ(In::currentServer(c), 0);  // the empty second host is skipped
    EXPECT_EQ(In::rsock(c), -1);
    EXPECT_EQ(In::wsock(c), -1);
    EXPECT_EQ(lowestFreeDescriptor(), freeWithClient);
}

TEST_F(ClientConnect, WithoutAnyHostNothingIsTried) {
    ClientImp c(nullptr, "trader", "secret", "", 1, "", 2);
    EXPECT_EQ(c.connectMany(), APIResult::COULD_NOT_CONNECT);
    EXPECT_EQ(In::rsock(c), -1);
}

}  // namespace
