#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "SessionFixtures.h"
#include "api/ProtoInit.h"
#include "catalogue/OXProtocol.h"
#include "client/OXClient.h"
#include "support/client/RefusingPort.h"
#include "support/client/SocketPairs.h"
#include "support/client/TestServer.h"

namespace {

using namespace ZURAV;

// Records its own destruction.
class Probe : public OXClient {
  public:
    explicit Probe(bool* deleted) : OXClient("user", "secret", "localhost", 1), _deleted(deleted) {}
    ~Probe() override { *_deleted = true; }

  private:
    bool* _deleted;
};

TEST(OXClient, TheLastReleaseDeletesTheClient) {
    bool deleted = false;
    OXClient* c = new Probe(&deleted);
    c->addref();
    c->release();
    EXPECT_FALSE(deleted);
    c->release();
    EXPECT_TRUE(deleted);
}

TEST(OXClient, NullTextsAreRefused) {
    EXPECT_THROW(OXClient(nullptr, "p", "h", 1), std::invalid_argument);
    EXPECT_THROW(OXClient("u", nullptr, "h", 1), std::invalid_argument);
    EXPECT_THROW(OXClient("u", "p", nullptr, 1, "h2", 2), std::invalid_argument);
}

TEST(OXClient, ANewClientIsNeitherConnectedNorRunningAndKnowsNoFeed) {
    OXClient c("user", "secret", "localhost", 1, "other", 2);
    EXPECT_FALSE(c.isConnected());
    EXPECT_FALSE(c.isRunning());
    int fd1 = 0, fd2 = -1;
    c.get(fd1, fd2);
    EXPECT_EQ(fd1, -1);
    EXPECT_GE(fd2, 0);
    int n = -1;
    EXPECT_EQ(c.getFeeds(n), nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(c.getFeedByID(1), nullptr);
    EXPECT_EQ(c.getFeedByName("x"), nullptr);
}

// ---- open ----

using test_support::Behaviour;
using test_support::TestServer;

int lowestFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return fd;
}

class OXClientOpenThreads : public testing::Test {
  protected:
    void SetUp() override {
        Orbanex::initialize();
        ProtoInit::initialize();
    }
    void TearDown() override { Orbanex::finalize(); }
};

TEST_F(OXClientOpenThreads, ANullUserPasswordOrHostOpensNothing) {
    // An attempt would write its login on the pair's write end.
    test_support::SocketPairs pairs;
    const std::string host =
        "pipes:" + std::to_string(pairs.clientRead()) + "," + std::to_string(pairs.clientWrite());
    EXPECT_EQ(OXClient::open("trader", nullptr, host.c_str(), 0), nullptr);
    EXPECT_EQ(OXClient::open(nullptr, "secret", host.c_str(), 0), nullptr);
    EXPECT_EQ(OXClient::open("trader", "secret", nullptr, 0, host.c_str(), 0), nullptr);
    const std::pair<int, int> serverEnds = pairs.takeServerEnds();
    EXPECT_FALSE(readable(serverEnds.first));
    close(serverEnds.first);
    close(serverEnds.second);
}

TEST_F(OXClientOpenThreads, AFailedLoginThrowsTheResultsNameAndLeavesNoClient) {
    TestServer server;
    server.setDefault(Behaviour::refuse(ConnectionResponse::FAILED_INVALID_PASSWORD));
    test_support::RefusingPort refusing;
    struct Case {
        int port;
        const char* error;
    };
    const Case cases[] = {
        {refusing.port(), "Error connecting: SOCKERR_CONNECT"},
        {server.port(), "Error connecting: INVALID_PASSWORD"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.error);
        const int freeBefore = lowestFreeDescriptor();
        try {
            OXClient::open("trader", "wrong", "127.0.0.1", k.port);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), k.error);
        }
        // The server has let its end go: every descriptor left is the client's.
        EXPECT_TRUE(server.waitFor(
            [](const TestServer::Record& r) { return r.empty() || r.back().closed; }));
        EXPECT_EQ(lowestFreeDescriptor(), freeBefore);  // its pipe closed: the client is gone
    }
}

TEST_F(OXClientOpenThreads, AnAcceptedLoginGivesAConnectedClient) {
    TestServer server;
    OXClient* const c = OXClient::open("trader", "secret", "127.0.0.1", server.port());
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->isConnected());
    EXPECT_EQ(c->connect(), APIResult::IS_CONNECTED);
    EXPECT_EQ(c->stop(), APIResult::NOT_RUNNING);
    c->release();
    EXPECT_TRUE(server.waitFor([](const TestServer::Record& r) { return r.at(0).closed; }));
}

}  // namespace
