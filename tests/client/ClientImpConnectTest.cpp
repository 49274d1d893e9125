#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ClientImpInspector.h"
#include "ConsoleLog.h"
#include "SessionFixtures.h"
#include "api/ClientConnectMessage.h"
#include "api/ConfigMessage.h"
#include "api/ConnectResponseMessage.h"
#include "api/InsertLogMessage.h"
#include "api/MsgFactory.h"
#include "api/ProtoInit.h"
#include "api/RiskResponseMessage.h"
#include "api/RuThereMessage.h"
#include "api/VersionMessage.h"
#include "api/ZURAVProtocol.h"
#include "catalogue/OXProtocol.h"
#include "client/AbstractOXHandler.h"
#include "client/ClientImp.h"
#include "common/TimeUtil.h"
#include "support/client/FullQueuePort.h"
#include "support/client/RefusingPort.h"
#include "support/client/SocketPairs.h"
#include "support/client/TestServer.h"

namespace {

using namespace ZURAV;
using test_support::Behaviour;
using test_support::ConnectionRecord;
using test_support::ReceivedFrame;
using test_support::TestServer;
typedef ClientImpInspector In;

bool closedByClient(const TestServer& server, size_t connection) {
    return server.waitFor([connection](const TestServer::Record& r) {
        return r.size() > connection && r[connection].closed;
    });
}

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
        ASSERT_GE(r.frames.size(), 2u);
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

// ---- the login ----

TEST_F(ClientConnectThreads, ALoginSendsVersionCredentialsAndAPingAndIsAccepted) {
    TestServer server;
    Behaviour accept = Behaviour::accept();
    accept.configs.resize(1);
    accept.configs[0].feedsList.resize(1);
    accept.configs[0].feedsList[0].feedID = 5;
    accept.lastSequenceIDs.resize(1);
    accept.lastSequenceIDs[0].feedID = 5;
    accept.lastSequenceIDs[0].sequenceID = 42;
    server.setDefault(accept);
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);

    ASSERT_EQ(c.connect(true), APIResult::OK);
    EXPECT_TRUE(c.isConnected());
    EXPECT_EQ(In::exitStatus(c), APIResult::OK);
    EXPECT_EQ(In::dispatchThread(c), std::this_thread::get_id());
    // What arrived during the login was kept: configuration, sequence ids, the session id.
    EXPECT_NE(c.getFeedByID(5), nullptr);
    EXPECT_EQ(c.getSequenceID(5), 42);
    ASSERT_TRUE(server.waitForFrames(3));
    const ConnectionRecord first = server.record().at(0);
    EXPECT_EQ(In::sessionID(c), first.sessionID);
    ASSERT_NE(In::orderIDs(c), nullptr);
    EXPECT_EQ(In::orderIDs(c)->allocate(), static_cast<OrderID_t>(first.sessionID) << 40);

    expectLogin(first);
    const RuThereMessage* ping = first.frames[2].as<RuThereMessage>();
    ASSERT_NE(ping, nullptr);
    EXPECT_EQ(ping->dpdSeqNo, 1);
    for (const ReceivedFrame& f : first.frames) {
        ASSERT_TRUE(f.decoded());
        EXPECT_EQ(f.header.length, f.body.size() + 10);
        EXPECT_EQ(f.header.id, f.message->getMsgType());
    }

    // Refused without sending anything: the next frame is the log line sent after.
    EXPECT_EQ(c.connect(true), APIResult::IS_CONNECTED);
    AbstractOXHandler handler;
    In::setHandler(c, &handler);
    EXPECT_EQ(c.connect(true), APIResult::IS_RUNNING);
    In::setHandler(c, nullptr);
    c.log("after", LogLevel::LOGINFO);
    ASSERT_TRUE(server.waitForMessages(InsertLogMessage::ID));
    EXPECT_EQ(server.record()[0].count(VersionMessage::ID), 1u);
    EXPECT_EQ(server.record()[0].count(ClientConnectMessage::ID), 1u);

    // A new login after the end of the first gets a new session and a new allocator.
    c.setConnected(false);
    c.closeSockets();
    ASSERT_EQ(c.connect(true), APIResult::OK);
    ASSERT_TRUE(server.waitForConnections(2));
    const ClientSessionID_t second = server.record()[1].sessionID;
    EXPECT_NE(second, first.sessionID);
    EXPECT_EQ(In::sessionID(c), second);
    EXPECT_EQ(In::orderIDs(c)->allocate(), static_cast<OrderID_t>(second) << 40);
}

TEST_F(ClientConnectThreads, ARefusedLoginGivesTheResultOfItsCodeAndClosesTheConnection) {
    struct Case {
        int code;
        APIResult::Type result;
    };
    const Case cases[] = {
        {ConnectionResponse::FAILED_INVALID_USER, APIResult::INVALID_USER},
        {ConnectionResponse::FAILED_INVALID_PASSWORD, APIResult::INVALID_PASSWORD},
        {ConnectionResponse::FAILED_USER_ALREADY_CONNECTED, APIResult::USER_ALREADY_CONNECTED},
        {ConnectionResponse::FAILED_OTHER, APIResult::COULD_NOT_LOGIN},
        {ConnectionResponse::FAILED_INCOMPATIBLE_PROTOCOL, APIResult::INCOMPATIBLE_PROTOCOL},
        {ConnectionResponse::FAILED_USER_LOCKED, APIResult::USER_LOCKED},
        {ConnectionResponse::FAILED_SYSTEM_LOCKED, APIResult::SYSTEM_LOCKED},
        // Codes outside the table are failures too, never a login.
        {6, APIResult::COULD_NOT_LOGIN},
        {9, APIResult::COULD_NOT_LOGIN},
        {255, APIResult::COULD_NOT_LOGIN},
    };
    TestServer server;
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
    size_t connection = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.code);
        server.queue(Behaviour::refuse(static_cast<ConnectionResponse::Type>(k.code)));
        EXPECT_EQ(c.connect(true), k.result);
        EXPECT_FALSE(c.isConnected());
        EXPECT_EQ(In::rsock(c), -1);
        EXPECT_EQ(In::orderIDs(c), nullptr);
        EXPECT_TRUE(closedByClient(server, connection++));
    }
}

TEST_F(ClientConnectThreads, AFirstServerRefusingConnectionsPassesTheLoginToTheSecond) {
    TestServer server;
    test_support::RefusingPort refusing;
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", refusing.port(), "127.0.0.1",
                server.port());
    EXPECT_EQ(c.connect(true), APIResult::OK);
    EXPECT_EQ(In::currentServer(c), 1);
    EXPECT_TRUE(c.isConnected());
}

// A login lost with its connection says nothing of the other server: the pass goes on to it.
// A server that speaks wrongly ends the pass, as a refusal does.
TEST_F(ClientConnectThreads, ALoginLostWithItsConnectionGoesOnToTheNextServer) {
    const struct {
        const char* what;
        std::function<void(TestServer&)> firstServer;
        APIResult::Type result;
        int server;  // the one in use or tried last
    } rows[] = {
        {"end of stream", [](TestServer& s) { s.setDefault(Behaviour::closeAtOnce()); },
         APIResult::OK, 1},
        {"reset", [](TestServer& s) { s.crash(); }, APIResult::OK, 1},
        {"no answer until the time-out", [](TestServer& s) { s.setDefault(Behaviour::silent()); },
         APIResult::OK, 1},
        {"a malformed answer",
         [](TestServer& s) {
             s.setDefault(Behaviour::malformedAnswer(test_support::Malformed::LENGTH_9));
         },
         APIResult::PROTOCOL_ERROR, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestServer first;
        row.firstServer(first);
        TestServer second;
        ClientImp c(nullptr, "trader", "secret", "127.0.0.1", first.port(), "127.0.0.1",
                    second.port());
        // The time seam: a time-out of 100 ms instead of 5 s.
        In::setPeriods(c, 10 * Orbanex::TimeUtil::ONE_MSEC, 100 * Orbanex::TimeUtil::ONE_MSEC);

        EXPECT_EQ(c.connect(true), row.result);
        EXPECT_EQ(In::currentServer(c), row.server);
        EXPECT_EQ(c.isConnected(), row.result == APIResult::OK);
        EXPECT_EQ(second.record().size(), row.result == APIResult::OK ? 1u : 0u);
        EXPECT_TRUE(first.waitForConnections(1));
    }
}

TEST_F(ClientConnectThreads, AFirstServerThatNeverCompletesTheConnectionIsGivenUpAfterTheTimeOut) {
    const ConsoleLog log;
    auto unanswered = std::make_unique<test_support::FullQueuePort>();
    TestServer second;
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", unanswered->port(), "127.0.0.1",
                second.port());
    In::setPeriods(c, 10 * Orbanex::TimeUtil::ONE_MSEC, 100 * Orbanex::TimeUtil::ONE_MSEC);

    std::future<APIResult::Type> login =
        std::async(std::launch::async, [&c] { return c.connect(true); });
    const bool returned = login.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned) unanswered.reset();  // a refused SYN ends a connect stuck in the system
    ASSERT_TRUE(returned);
    EXPECT_EQ(login.get(), APIResult::OK);
    EXPECT_EQ(In::currentServer(c), 1);
    EXPECT_EQ(log.count(std::string(":ERROR:Error: ") + std::strerror(ETIMEDOUT)), 1u)
        << log.text();
}

TEST_F(ClientConnectThreads, ALoginRefusedByTheFirstServerEndsTheAttempt) {
    TestServer first;
    first.setDefault(Behaviour::refuse(ConnectionResponse::FAILED_INVALID_PASSWORD));
    TestServer second;
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", first.port(), "127.0.0.1", second.port());
    EXPECT_EQ(c.connect(true), APIResult::INVALID_PASSWORD);
    EXPECT_EQ(In::currentServer(c), 0);  // the second was never tried
    EXPECT_FALSE(c.isConnected());
}

TEST_F(ClientConnectThreads, ASilentServerTimesTheLoginOutAfterFiveSecondsOfPings) {
    TestServer server;
    server.setDefault(Behaviour::silent());
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
    const Timestamp_t start = Orbanex::TimeUtil::now();
    EXPECT_EQ(c.connect(true), APIResult::TIMEOUT);
    EXPECT_GT(Orbanex::TimeUtil::now() - start, 5 * Orbanex::TimeUtil::ONE_SEC);
    EXPECT_FALSE(c.isConnected());
    EXPECT_EQ(In::rsock(c), -1);
    ASSERT_TRUE(closedByClient(server, 0));
    const ConnectionRecord r = server.record()[0];
    ASSERT_GE(r.count(RuThereMessage::ID), 2u);
    for (size_t i = 0; i < r.count(RuThereMessage::ID); ++i) {
        EXPECT_EQ(r.find(RuThereMessage::ID, i)->as<RuThereMessage>()->dpdSeqNo,
                  static_cast<SequenceID_t>(i + 1));
    }
}

TEST_F(ClientConnectThreads, APipesHostLogsInOverTheDescriptorPair) {
    TestServer server;
    test_support::SocketPairs pairs;
    const int readFd = pairs.clientRead();
    const int writeFd = pairs.clientWrite();
    const std::string host = pairs.handOverClientEnds();
    const std::pair<int, int> serverEnds = pairs.takeServerEnds();
    server.adopt(serverEnds.first, serverEnds.second);

    ClientImp c(nullptr, "trader", "secret", host.c_str(), 0, nullptr, 0);
    ASSERT_EQ(c.connect(true), APIResult::OK);
    EXPECT_EQ(In::rsock(c), readFd);
    EXPECT_EQ(In::wsock(c), writeFd);
    // The server records a frame once its answer is out: the login frame may follow.
    ASSERT_TRUE(server.waitForFrames(2));
    EXPECT_EQ(In::sessionID(c), server.record().at(0).sessionID);
    expectLogin(server.record().at(0));
}

// With heartbeats off the loop waits without limit: the login must end with the pass that
// handled its answer, not with the next bytes from the server.
TEST_F(ClientConnectThreads, WithHeartbeatsOffAnAcceptedLoginReturnsWithoutMoreBytes) {
    TestServer server;
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
    c.setUseHeartbeat(false);
    std::future<APIResult::Type> login =
        std::async(std::launch::async, [&c] { return c.connect(true); });
    const bool returned = login.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned) server.closeConnection();  // lets a stuck login end
    EXPECT_TRUE(returned);
    EXPECT_EQ(login.get(), APIResult::OK);
    c.log("after", LogLevel::LOGINFO);
    ASSERT_TRUE(server.waitForMessages(InsertLogMessage::ID));
    EXPECT_EQ(server.record()[0].count(RuThereMessage::ID), 0u);
}

// The reconnection inside run() logs in with a handler installed, so stop() can end the login
// loop before any answer: no login then, and no other server tried, even when the loop meets
// the end of the connection and the stop in the same pass (a login lost with its connection
// alone goes on to the next server).
TEST_F(ClientConnectThreads, AStopDuringTheLoginOfAReconnectionClosesWithNotConnected) {
    for (const bool connectionEnds : {false, true}) {
        SCOPED_TRACE(connectionEnds ? "the connection ends with the stop" : "the login waits");
        TestServer server;
        Behaviour silent = Behaviour::silent();
        // Before any answer, a message whose handling stops the session, ends the connection
        // and waits until its end of stream has arrived.
        silent.answerRequests = connectionEnds;
        server.setDefault(silent);
        server.respond(VersionMessage::ID, [](const ReceivedFrame&, test_support::Reply& reply) {
            reply.send(RiskResponseMessage());
        });
        TestServer next;  // accepts the login
        RecordingClient c("127.0.0.1", server.port(), "127.0.0.1", next.port());
        c.onDefault = [&](const OXMessage&) {
            EXPECT_EQ(c.stop(), APIResult::OK);
            server.closeConnection();
            EXPECT_TRUE(readable(In::rsock(c), 10000));
        };
        AbstractOXHandler handler;
        In::setHandler(c, &handler);
        std::thread stopper([&] {
            if (!connectionEnds && server.waitForFrames(2)) c.stop();
        });
        EXPECT_EQ(c.connect(false), APIResult::NOT_CONNECTED);
        stopper.join();
        In::setHandler(c, nullptr);
        EXPECT_FALSE(c.isConnected());
        EXPECT_EQ(In::rsock(c), -1);
        EXPECT_TRUE(closedByClient(server, 0));
        EXPECT_EQ(In::currentServer(c), 0);  // the next server not even tried
        EXPECT_TRUE(next.record().empty());
    }
}

TEST_F(ClientConnectThreads, AnExceptionOutOfTheLoginLoopClosesTheConnectionFirst) {
    TestServer server;
    Behaviour silent = Behaviour::silent();
    silent.answerRequests = true;
    server.setDefault(silent);
    // Before any answer the server sends a message whose handling throws.
    server.respond(VersionMessage::ID, [](const ReceivedFrame&, test_support::Reply& reply) {
        reply.send(RiskResponseMessage());
    });
    RecordingClient c("127.0.0.1", server.port());
    c.onDefault = [](const OXMessage&) { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(c.connect(true), std::runtime_error);
    EXPECT_EQ(In::exitStatus(c), APIResult::EXCEPTION_THROWN);
    EXPECT_FALSE(c.isConnected());
    EXPECT_EQ(In::rsock(c), -1);
    EXPECT_TRUE(closedByClient(server, 0));
}

TEST_F(ClientConnectThreads, ALoginAnswerWhileConnectedIsIgnoredWithAWarning) {
    TestServer server;
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
    ASSERT_EQ(c.connect(true), APIResult::OK);
    const ClientSessionID_t session = In::sessionID(c);
    const IdAllocator* const allocator = In::orderIDs(c);

    const ConsoleLog log;
    ConnectResponseMessage refusal;
    refusal.connectionResponse = ConnectionResponse::FAILED_INVALID_PASSWORD;
    ConnectResponseMessage success;
    success.connectionResponse = ConnectionResponse::SUCCESS;
    success.sessionID = session + 100;
    server.sendRaw(server.frame(refusal) + server.frame(success));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (log.count(":WARN:Login answer") < 2 && std::chrono::steady_clock::now() < deadline) {
        if (readable(In::rsock(c), 100)) c.dispatch(false);
    }

    EXPECT_TRUE(c.isConnected());
    EXPECT_FALSE(c.isStopRequested());
    EXPECT_EQ(In::exitStatus(c), APIResult::OK);
    EXPECT_EQ(In::sessionID(c), session);
    EXPECT_EQ(In::orderIDs(c), allocator);
    EXPECT_EQ(log.count(":WARN:Login answer while logged in; ignored."), 2u) << log.text();
}

// A request that passed its checks while the old connection stood may write after it is gone,
// and fail: what that records must not end the next connection before it has begun.
TEST_F(ClientConnectThreads, AWriteFailingBetweenTwoConnectionsNeverFailsTheNewOne) {
    TestServer server;
    server.setDefault(Behaviour::silent());
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
    std::atomic<bool> writing{true};
    std::atomic<int> writes{0};
    // Pings go out without a login, so they reach the write whatever the connection's state.
    std::thread writer([&] {
        for (; writing; ++writes) c.send(MsgFactory::createMessage(RuThereMessage::ID));
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (writes == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    std::vector<APIResult::Type> results;
    for (int i = 0; i < 20; ++i) {
        results.push_back(c.connectOne("127.0.0.1", server.port()));
        c.closeSockets();
    }
    writing = false;
    writer.join();
    EXPECT_EQ(results, std::vector<APIResult::Type>(20, APIResult::OK));
}

TEST_F(ClientConnect, AnAttemptReportsItsOwnFailureNotOneLeftFromEarlier) {
    // The connection to be tried writes to a descriptor that is no socket: the version
    // message's send fails.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    RecordingClient c("localhost", 1);
    {
        SocketPairConnection earlier(c);
        In::setPeriods(c, Orbanex::TimeUtil::ONE_MSEC, 5 * Orbanex::TimeUtil::ONE_MSEC);
        c.dispatch(true);
        ASSERT_EQ(In::exitStatus(c), APIResult::TIMEOUT);
        c.closeSockets();
    }
    close(pipeFds[1]);
    const std::string host =
        "pipes:" + std::to_string(pipeFds[0]) + "," + std::to_string(pipeFds[0]);
    EXPECT_EQ(c.connectOne(host, 0), APIResult::SOCKERR_WRITING);
    EXPECT_EQ(In::rsock(c), -1);  // the descriptor was the session's, and is closed
}

}  // namespace
