#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ClientImpInspector.h"
#include "ConsoleLog.h"
#include "HandlerFixtures.h"
#include "RunFixtures.h"
#include "SessionFixtures.h"
#include "api/ClientConnectMessage.h"
#include "api/ClientDisconnectMessage.h"
#include "api/MktDataMessage.h"
#include "api/MsgFactory.h"
#include "api/ReplayMessage.h"
#include "api/RuThereMessage.h"
#include "api/SubmitOrderMessage.h"
#include "api/SubscribeMessage.h"
#include "api/TestMessage.h"
#include "client/OXClient.h"
#include "common/TimeUtil.h"
#include "support/client/FullQueuePort.h"
#include "support/client/TestServer.h"
#include "support/client/WireFrame.h"

namespace {

using namespace ZURAV;
using test_support::Behaviour;
using test_support::TestServer;
typedef ClientImpInspector In;
typedef std::vector<std::string> Names;

const Timestamp_t MS = Orbanex::TimeUtil::ONE_MSEC;

// A client logged in to the server's next connection.
class ClientRun : public InitialisedLibrary {
  protected:
    void connect(OXClient& client) { ASSERT_EQ(client.connect(), APIResult::OK); }

    // Whether the server saw the client end connection n.
    bool closedByClient(size_t n) const {
        return server.waitFor(
            [n](const TestServer::Record& r) { return r.size() > n && r[n].closed; });
    }

    TestServer server;
    LifecycleHandler handler;
};
class ClientRunThreads : public ClientRun {};

TEST_F(ClientRun, WithoutAHandlerOrAConnectionNothingRuns) {
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    EXPECT_EQ(client.run(nullptr), APIResult::INVALID_PARAMETER);
    EXPECT_EQ(client.processEvents(nullptr), APIResult::INVALID_PARAMETER);
    EXPECT_EQ(client.run(&handler), APIResult::NOT_CONNECTED);
    EXPECT_EQ(client.processEvents(&handler), APIResult::NOT_CONNECTED);
    EXPECT_EQ(client.close(), APIResult::NOT_CONNECTED);
    EXPECT_EQ(client.stop(), APIResult::NOT_RUNNING);
    EXPECT_EQ(client.join(), APIResult::OK);
    EXPECT_TRUE(handler.names().empty());

    connect(client);
    EXPECT_EQ(client.run(nullptr), APIResult::INVALID_PARAMETER);
    EXPECT_FALSE(client.isRunning());
    // The thread that connected has not run a loop yet.
    EXPECT_EQ(client.join(), APIResult::NOT_IMPLEMENTED);
}

TEST_F(ClientRun, InsideACallbackOfRunTheLoopCannotBeEnteredClosedOrJoined) {
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    struct Row {
        const char* what;
        std::function<APIResult::Type()> call;
        APIResult::Type expected;
    };
    LifecycleHandler other;
    const std::vector<Row> rows = {
        {"run", [&] { return client.run(&other); }, APIResult::IS_RUNNING},
        // Would take over run()'s handler and remove it on returning.
        {"processEvents", [&] { return client.processEvents(&other); }, APIResult::IS_RUNNING},
        {"close", [&] { return client.close(); }, APIResult::IS_RUNNING},
        {"join", [&] { return client.join(); }, APIResult::NOT_IMPLEMENTED},
        {"wait", [&] { return client.wait(); }, APIResult::NOT_IMPLEMENTED},
        {"connect", [&] { return client.connect(); }, APIResult::IS_RUNNING},
    };
    std::vector<APIResult::Type> results;
    handler.inside = [&](const std::string& name, OXClient&) {
        if (name != "onStart") return;
        for (const Row& row : rows) results.push_back(row.call());
        EXPECT_TRUE(client.isRunning());
        EXPECT_EQ(client.stop(), APIResult::OK);
    };

    EXPECT_EQ(client.run(&handler), APIResult::OK);
    ASSERT_EQ(results.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        EXPECT_EQ(results[i], rows[i].expected);
    }
    EXPECT_EQ(handler.names(), (Names{"onStart", "onStop"}));
    EXPECT_EQ(handler.clients(), (std::vector<OXClient*>{&client, &client}));
    EXPECT_TRUE(other.names().empty());
    EXPECT_FALSE(client.isRunning());
    EXPECT_TRUE(client.isConnected());
    // The loop has run and returned on this thread.
    EXPECT_EQ(client.join(), APIResult::OK);
}

// A request that the client refuses itself while no loop runs queues its rejection. The login
// loop of the next connect() has no handler and leaves the queue alone, so the first loop after
// the login delivers every rejection, in the order of the requests.
TEST_F(ClientRun, RejectionsMadeWhileNoLoopRunsReachTheFirstLoopAfterTheNextLogin) {
    Behaviour accept;
    accept.configs.push_back(testConfiguration());
    server.setDefault(accept);
    const OXFloat amount("1"), price("2");
    const struct {
        const char* what;
        std::function<void(OXClient&)> before;   // leaves the client unconnected
        std::function<void(OXClient&)> refused;  // requests the client refuses itself
        Names callbacks;
        std::vector<std::string> rejected;        // their client order ids
        std::vector<std::string> cancelRejected;  // their cancel ids
    } rows[] = {
        {"before the first login",
         [](OXClient&) {},
         [](OXClient& c) {
             EXPECT_EQ(c.cancelOrder("X1", "A"), APIResult::INVALID_ORDERID);
             EXPECT_EQ(c.cancelOrder("X2", "B"), APIResult::INVALID_ORDERID);
         },
         {"onOrderCancelRejected", "onOrderCancelRejected"},
         {},
         {"X1", "X2"}},
        {"between close() and connect()",
         [&](OXClient& c) {
             ASSERT_EQ(c.connect(), APIResult::OK);
             ASSERT_EQ(c.submitOrder("A", 3, 10, Side::BID, amount, price, OrderType::LIMIT,
                                     TimeInForce::GTC)
                           .first,
                       APIResult::OK);
             ASSERT_EQ(c.close(), APIResult::OK);
         },
         [&](OXClient& c) {
             EXPECT_EQ(c.submitOrder("A", 3, 10, Side::BID, amount, price, OrderType::LIMIT,
                                     TimeInForce::GTC),
                       std::make_pair(APIResult::DUPLICATE_CLIENT_ORDERID, OrderID_t(0)));
             EXPECT_EQ(c.modifyOrder("nobody", "N", amount, price).first,
                       APIResult::INVALID_ORDERID);
             EXPECT_EQ(c.cancelOrder("X3", "nobody"), APIResult::INVALID_ORDERID);
         },
         {"onOrderRejected", "onOrderRejected", "onOrderCancelRejected"},
         {"A", "N"},
         {"X3"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        OXClient client("trader", "secret", "127.0.0.1", server.port());
        row.before(client);
        ASSERT_FALSE(client.isConnected());
        row.refused(client);

        connect(client);
        RecordingHandler recording;
        EXPECT_EQ(client.processEvents(&recording), APIResult::OK);
        EXPECT_EQ(recording.names(), row.callbacks);
        std::vector<std::string> rejected, cancelRejected;
        for (const OrderRejected& r : recording.rejected) rejected.push_back(r.clOrdID);
        for (const OrderCancelRejected& r : recording.cancelRejected) {
            cancelRejected.push_back(r.cxlID);
        }
        EXPECT_EQ(rejected, row.rejected);
        EXPECT_EQ(cancelRejected, row.cancelRejected);
        EXPECT_EQ(client.close(), APIResult::OK);
    }
}

TEST_F(ClientRunThreads, AStopFromAnotherThreadEndsRunWithOnStopAndJoinReturnsAfterIt) {
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    std::future<APIResult::Type> running =
        std::async(std::launch::async, [&] { return client.run(&handler); });
    ASSERT_TRUE(handler.waitFor("onStart"));
    // The loop waits in its wait for something to happen; a ping goes out meanwhile.
    ASSERT_TRUE(server.waitForMessages(RuThereMessage::ID, 2));

    EXPECT_EQ(client.stop(), APIResult::OK);
    EXPECT_EQ(client.join(), APIResult::OK);
    EXPECT_FALSE(client.isRunning());
    EXPECT_EQ(handler.names(), (Names{"onStart", "onStop"}));
    ASSERT_EQ(running.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(running.get(), APIResult::OK);
    EXPECT_TRUE(client.isConnected());
    EXPECT_EQ(server.record().size(), 1u);
}

TEST_F(ClientRunThreads, CloseSaysGoodbyeEvenAfterAStopAndASecondCloseFindsNoConnection) {
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    handler.inside = [](const std::string& name, OXClient& c) {
        if (name == "onStart") c.stop();
    };
    ASSERT_EQ(client.run(&handler), APIResult::OK);

    EXPECT_EQ(client.close(), APIResult::OK);
    EXPECT_FALSE(client.isConnected());
    ASSERT_TRUE(closedByClient(0));
    const test_support::ConnectionRecord r = server.record().at(0);
    ASSERT_FALSE(r.frames.empty());
    const ClientDisconnectMessage* bye = r.frames.back().as<ClientDisconnectMessage>();
    ASSERT_NE(bye, nullptr);
    EXPECT_EQ(bye->sessionID, 0);
    EXPECT_EQ(bye->timeDisconnected, 0);
    EXPECT_EQ(r.count(ClientDisconnectMessage::ID), 1u);

    EXPECT_EQ(client.close(), APIResult::NOT_CONNECTED);
    int fd = 0;
    int pipe = 0;
    client.get(fd, pipe);
    EXPECT_EQ(fd, -1);
    // A closed session may log in again.
    EXPECT_EQ(client.connect(), APIResult::OK);
    EXPECT_EQ(server.record().size(), 2u);
}

TEST_F(ClientRunThreads, ASilentServerWithoutListenerTimesOutFailsToReconnectAndStops) {
    ConsoleLog log;
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    server.update([](Behaviour& b) { b.answerPings = false; });
    server.closeListener();
    // The time seam: a period of 10 ms and a time-out of 100 ms instead of 0.4 s and 5 s.
    In::setPeriods(In::of(client), 10 * MS, 100 * MS);

    EXPECT_EQ(client.run(&handler), APIResult::SOCKERR_CONNECT);
    EXPECT_EQ(handler.names(), (Names{"onStart", "onDisconnect", "onStop"}));
    EXPECT_EQ(log.count("Timeout on heartbeats, stopping dispatch."), 1u);
    EXPECT_FALSE(client.isRunning());
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(closedByClient(0));
    EXPECT_EQ(client.close(), APIResult::NOT_CONNECTED);
}

TEST_F(ClientRunThreads, AnEndOfStreamUnderProcessEventsIsReportedOnceWithoutLifecycleCallbacks) {
    ConsoleLog log;
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    int fd = -1;
    int pipe = -1;
    client.get(fd, pipe);
    ASSERT_NE(fd, -1);
    server.closeConnection();

    APIResult::Type result = APIResult::OK;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (result == APIResult::OK && std::chrono::steady_clock::now() < deadline) {
        readable(fd, 100);
        result = client.processEvents(&handler);
    }
    EXPECT_EQ(result, APIResult::SOCKERR_CLOSED);
    EXPECT_EQ(client.processEvents(&handler), APIResult::NOT_CONNECTED);
    EXPECT_TRUE(handler.names().empty());
    EXPECT_FALSE(client.isRunning());
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(log.count("Socket closed (EOF)."), 1u);
    EXPECT_EQ(server.record().size(), 1u);
}

TEST_F(ClientRunThreads, AProtocolErrorEndsRunWithoutReconnectingAndLeavesTheConnectionOpen) {
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    handler.inside = [&](const std::string& name, OXClient&) {
        if (name == "onStart") {
            server.sendRaw(test_support::malformedFrame(test_support::Malformed::LENGTH_9, 1));
        }
    };

    EXPECT_EQ(client.run(&handler), APIResult::PROTOCOL_ERROR);
    EXPECT_EQ(handler.names(), (Names{"onStart", "onStop"}));
    EXPECT_EQ(server.record().size(), 1u);
    EXPECT_TRUE(client.isConnected());
    // The stream is out of step: no loop reads it again.
    server.send(MktDataMessage());
    EXPECT_EQ(client.processEvents(&handler), APIResult::PROTOCOL_ERROR);
    EXPECT_EQ(client.run(&handler), APIResult::PROTOCOL_ERROR);
    EXPECT_EQ(handler.names(), (Names{"onStart", "onStop"}));
    EXPECT_FALSE(client.isRunning());
    EXPECT_EQ(client.close(), APIResult::OK);
    EXPECT_TRUE(closedByClient(0));
}

TEST_F(ClientRunThreads, ALostConnectionIsWonBackWithOnDisconnectAndOnConnect) {
    ConsoleLog log;
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    handler.inside = [&](const std::string& name, OXClient& c) {
        if (name == "onStart") server.closeConnection();
        if (name == "onConnect") c.stop();
    };

    EXPECT_EQ(client.run(&handler), APIResult::OK);
    EXPECT_EQ(handler.names(), (Names{"onStart", "onDisconnect", "onConnect", "onStop"}));
    EXPECT_EQ(log.count("Socket closed (EOF)."), 1u);
    const TestServer::Record r = server.record();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_TRUE(client.isConnected());
    EXPECT_EQ(In::sessionID(In::of(client)), r[1].sessionID);
    // The first gap in the ping answers after a reconnection is not reported.
    EXPECT_FALSE(In::logHeartbeatSeqMismatch(In::of(client)));
}

// A stop that the application asks for while run() is reconnecting is never dropped by the
// connection attempt, which clears the stop requests of the connection before it: no new
// connection is made, whatever the next server would do.
TEST_F(ClientRunThreads, AStopFromOnDisconnectEndsRunWithoutANewConnection) {
    Behaviour pingsOnly = Behaviour::silent();
    pingsOnly.answerPings = true;
    const struct {
        const char* what;
        Behaviour next;
    } rows[] = {{"next server accepts the login", Behaviour::accept()},
                {"next server answers pings but never the login", pingsOnly}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const size_t first = server.record().size();
        OXClient client("trader", "secret", "127.0.0.1", server.port());
        connect(client);
        server.setDefault(row.next);
        LifecycleHandler handler;
        handler.inside = [&](const std::string& name, OXClient& c) {
            if (name == "onStart") server.closeConnection();
            if (name == "onDisconnect") {
                EXPECT_EQ(c.stop(), APIResult::OK);
            }
        };
        std::future<APIResult::Type> running =
            std::async(std::launch::async, [&] { return client.run(&handler); });

        const bool stopped = handler.waitFor("onStop");
        if (!stopped) client.stop();  // the stop was lost: end the run so the test can fail
        ASSERT_TRUE(stopped);
        ASSERT_EQ(running.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(running.get(), APIResult::NOT_CONNECTED);
        EXPECT_EQ(handler.names(), (Names{"onStart", "onDisconnect", "onStop"}));
        EXPECT_FALSE(client.isConnected());
        EXPECT_EQ(server.record().size(), first + 1);
        // As after any stop, requests are refused until the next run or connection attempt.
        EXPECT_EQ(In::of(client).send(MsgFactory::createMessage(TestMessage::ID)),
                  APIResult::IS_STOPPING);
        server.setDefault(Behaviour::accept());
        EXPECT_EQ(client.connect(), APIResult::OK);
        EXPECT_EQ(client.close(), APIResult::OK);
    }
}

TEST_F(ClientRunThreads, AStopFromAnotherThreadDuringTheLoginOfAReconnectionEndsRun) {
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    server.queue(Behaviour::silent());
    handler.inside = [&](const std::string& name, OXClient&) {
        if (name == "onStart") server.closeConnection();
    };
    std::future<APIResult::Type> running =
        std::async(std::launch::async, [&] { return client.run(&handler); });
    // The second connection has the login messages and waits for an answer.
    ASSERT_TRUE(server.waitFor([](const TestServer::Record& r) {
        return r.size() == 2 && r[1].count(ClientConnectMessage::ID) == 1;
    }));

    EXPECT_EQ(client.stop(), APIResult::OK);
    ASSERT_EQ(running.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(running.get(), APIResult::NOT_CONNECTED);
    EXPECT_EQ(handler.names(), (Names{"onStart", "onDisconnect", "onStop"}));
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(closedByClient(1));
}

// Whatever callback throws, the exception leaves run() and the handler is removed: the client
// does not report itself running, join() returns, and a new run() works.
TEST_F(ClientRunThreads, AnExceptionFromALifecycleCallbackLeavesRunWithTheHandlerRemoved) {
    for (const std::string thrower : {"onStart", "onStop"}) {
        SCOPED_TRACE(thrower);
        OXClient client("trader", "secret", "127.0.0.1", server.port());
        connect(client);
        LifecycleHandler throwing;
        throwing.inside = [&](const std::string& name, OXClient& c) {
            if (name == "onStart") c.stop();
            if (name == thrower) throw std::runtime_error(name);
        };

        EXPECT_THROW(client.run(&throwing), std::runtime_error);
        EXPECT_EQ(throwing.names().back(), thrower);
        EXPECT_FALSE(client.isRunning());
        std::future<APIResult::Type> joined =
            std::async(std::launch::async, [&] { return client.join(); });
        ASSERT_EQ(joined.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(joined.get(), APIResult::OK);

        LifecycleHandler next;
        next.inside = [](const std::string& name, OXClient& c) {
            if (name == "onStart") c.stop();
        };
        EXPECT_EQ(client.run(&next), APIResult::OK);
        EXPECT_EQ(next.names(), (Names{"onStart", "onStop"}));
        EXPECT_EQ(client.close(), APIResult::OK);
    }
}

// The subscriptions remembered with clear-on-stop off go out again after a reconnection inside
// run(), in order of market id, then feed id; with it on (the default) they are forgotten. The
// new login's session id is in the next order id either way.
TEST_F(ClientRunThreads, StickySubscriptionsAndANewSessionIdAcrossAReconnection) {
    Behaviour accept;
    accept.configs.push_back(testConfiguration());
    server.setDefault(accept);
    const struct {
        bool clearOnStop;
        std::vector<MarketID_t> resent;  // the markets of the subscriptions sent again, in order
    } rows[] = {{false, {0, 10, 40}}, {true, {}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.clearOnStop ? "clear on stop" : "kept on stop");
        ConsoleLog log;
        const size_t first = server.record().size();
        OXClient client("trader", "secret", "127.0.0.1", server.port());
        client.setStickySubscriptions(true, row.clearOnStop);
        connect(client);
        LifecycleHandler handler;
        handler.inside = [&](const std::string& name, OXClient& c) {
            if (name != "onStart") return;
            EXPECT_EQ(c.subscribeMD(2, 40), APIResult::OK);
            EXPECT_EQ(c.subscribeOF(3), APIResult::OK);
            EXPECT_EQ(c.subscribeMD(3, 10), APIResult::OK);
            EXPECT_EQ(c.submitOrder("before", 3, 10, Side::BID, OXFloat("1"), OXFloat("2"),
                                    OrderType::LIMIT, TimeInForce::GTC)
                          .first,
                      APIResult::OK);
            server.closeConnection();
        };
        std::future<APIResult::Type> running =
            std::async(std::launch::async, [&] { return client.run(&handler); });
        ASSERT_TRUE(handler.waitFor("onConnect"));
        const std::pair<APIResult::Type, OrderID_t> after =
            client.submitOrder("after", 3, 10, Side::OFR, OXFloat("1"), OXFloat("2"),
                               OrderType::LIMIT, TimeInForce::GTC);
        EXPECT_EQ(after.first, APIResult::OK);
        ASSERT_TRUE(server.waitFor([&](const TestServer::Record& r) {
            return r.size() == first + 2 && r[first + 1].count(SubmitOrderMessage::ID) == 1 &&
                   r[first + 1].count(SubscribeMessage::ID) >= row.resent.size();
        }));
        EXPECT_EQ(client.stop(), APIResult::OK);
        ASSERT_EQ(running.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(running.get(), APIResult::OK);
        EXPECT_EQ(client.close(), APIResult::OK);
        ASSERT_TRUE(closedByClient(first + 1));

        const TestServer::Record r = server.record();
        std::vector<MarketID_t> subscribed;
        std::vector<MarketID_t> resent;
        for (const test_support::ReceivedFrame& f : r[first].frames) {
            if (const SubscribeMessage* m = f.as<SubscribeMessage>()) {
                subscribed.push_back(m->sub.marketID);
            }
        }
        for (const test_support::ReceivedFrame& f : r[first + 1].frames) {
            if (const SubscribeMessage* m = f.as<SubscribeMessage>()) {
                resent.push_back(m->sub.marketID);
                EXPECT_TRUE(m->sticky);
            }
        }
        EXPECT_EQ(subscribed, (std::vector<MarketID_t>{40, 0, 10}));
        EXPECT_EQ(resent, row.resent);
        EXPECT_EQ(log.count("Sticky resubscribe: 3"), row.clearOnStop ? 0u : 1u);

        const OrderID_t s0 = r[first].sessionID;
        const OrderID_t s1 = r[first + 1].sessionID;
        ASSERT_NE(s0, s1);
        const SubmitOrderMessage* before =
            r[first].find(SubmitOrderMessage::ID)->as<SubmitOrderMessage>();
        EXPECT_EQ(before->contents.orderID, s0 << 40);
        EXPECT_EQ(after.second, s1 << 40);
        EXPECT_EQ(
            r[first + 1].find(SubmitOrderMessage::ID)->as<SubmitOrderMessage>()->contents.orderID,
            s1 << 40);
        EXPECT_EQ(handler.names(), (Names{"onStart", "onDisconnect", "onConnect", "onStop"}));
    }
}

// The connection attempt of a reconnection watches for the application's stop: a server host
// that never answers does not keep run() for the time-out period.
TEST_F(ClientRunThreads, AStopDuringTheTcpConnectionOfAReconnectionEndsRun) {
    auto unanswered = std::make_unique<test_support::FullQueuePort>();
    OXClient client("trader", "secret", "127.0.0.1", unanswered->port(), "127.0.0.1",
                    server.port());
    In::setPeriods(In::of(client), 10 * MS, 100 * MS);
    connect(client);  // the first server given up after 100 ms
    // From now on an attempt on the first server would last a minute.
    In::setPeriods(In::of(client), 400 * MS, 60000 * MS);
    handler.inside = [&](const std::string& name, OXClient&) {
        if (name == "onStart") server.closeConnection();
    };
    std::future<APIResult::Type> running =
        std::async(std::launch::async, [&] { return client.run(&handler); });
    ASSERT_TRUE(handler.waitFor("onDisconnect"));
    ASSERT_TRUE(unanswered->waitForAttempt());

    EXPECT_EQ(client.stop(), APIResult::OK);
    const bool returned = running.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned) unanswered.reset();  // a refused SYN ends a connect stuck in the system
    ASSERT_TRUE(returned);
    EXPECT_EQ(running.get(), APIResult::NOT_CONNECTED);
    EXPECT_EQ(handler.names(), (Names{"onStart", "onDisconnect", "onStop"}));
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(server.record().size(), 1u);
}

// A server process killed while the application sends: its connection is reset, and its
// listener may still complete handshakes whose logins are then reset too. The second server
// takes over in the same pass, whatever the first one's dying did to the writes.
TEST_F(ClientRunThreads, AFirstServerCrashingUnderConcurrentOrdersFailsOverToTheSecond) {
    Behaviour accept;
    accept.configs.push_back(testConfiguration());
    const int TRIALS = 5;
    for (int trial = 0; trial < TRIALS; ++trial) {
        SCOPED_TRACE(trial);
        TestServer first;
        first.setDefault(accept);
        TestServer second;
        second.setDefault(accept);
        OXClient client("trader", "secret", "127.0.0.1", first.port(), "127.0.0.1", second.port());
        connect(client);
        LifecycleHandler handler;
        handler.inside = [](const std::string& name, OXClient& c) {
            if (name == "onConnect") c.stop();
        };
        std::future<APIResult::Type> running =
            std::async(std::launch::async, [&] { return client.run(&handler); });
        ASSERT_TRUE(handler.waitFor("onStart"));

        std::atomic<bool> sending{true};
        std::thread trader([&] {
            for (int n = 0; sending; ++n) {
                client.submitOrder(("o" + std::to_string(n)).c_str(), 3, 10, Side::BID,
                                   OXFloat("1"), OXFloat("2"), OrderType::LIMIT, TimeInForce::GTC);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        ASSERT_TRUE(first.waitForMessages(SubmitOrderMessage::ID, 3));
        first.crash();
        const bool stopped = handler.waitFor("onStop");
        sending = false;
        trader.join();
        if (!stopped) client.stop();
        ASSERT_TRUE(stopped);
        ASSERT_EQ(running.wait_for(std::chrono::seconds(10)), std::future_status::ready);

        EXPECT_EQ(running.get(), APIResult::OK);
        EXPECT_EQ(handler.names(), (Names{"onStart", "onDisconnect", "onConnect", "onStop"}));
        EXPECT_EQ(In::currentServer(In::of(client)), 1);
        ASSERT_EQ(second.record().size(), 1u);
        EXPECT_EQ(In::sessionID(In::of(client)), second.record()[0].sessionID);
        EXPECT_EQ(client.close(), APIResult::OK);
    }
}

// After a callback's exception left run(), the next call reports what happens in it.
TEST_F(ClientRunThreads, ACallAfterACallbackExceptionReportsOnlyWhatHappensInIt) {
    const struct {
        const char* what;
        std::function<APIResult::Type(OXClient&, LifecycleHandler&)> call;
        APIResult::Type result;
        Names callbacks;
    } rows[] = {
        {"run stopped from onStart",
         [](OXClient& c, LifecycleHandler& h) {
             h.inside = [](const std::string& name, OXClient& client) {
                 if (name == "onStart") client.stop();
             };
             return c.run(&h);
         },
         APIResult::OK,
         {"onStart", "onStop"}},
        {"run meeting a malformed frame",
         [this](OXClient& c, LifecycleHandler& h) {
             h.inside = [this](const std::string& name, OXClient& client) {
                 if (name == "onStart") {
                     server.sendRaw(
                         test_support::malformedFrame(test_support::Malformed::LENGTH_9, 1));
                 }
                 if (name == "onConnect") client.stop();  // a reconnection would run on
             };
             return c.run(&h);
         },
         APIResult::PROTOCOL_ERROR,
         {"onStart", "onStop"}},
        {"processEvents with nothing ready",
         [](OXClient& c, LifecycleHandler& h) { return c.processEvents(&h); },
         APIResult::OK,
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const size_t connections = server.record().size();
        OXClient client("trader", "secret", "127.0.0.1", server.port());
        connect(client);
        LifecycleHandler throwing;
        throwing.inside = [&](const std::string& name, OXClient&) {
            if (name == "onStart") server.send(MktDataMessage());
            if (name == "onMarketData") throw std::runtime_error("handler failed");
        };
        EXPECT_THROW(client.run(&throwing), std::runtime_error);
        ASSERT_EQ(In::exitStatus(In::of(client)), APIResult::EXCEPTION_THROWN);

        LifecycleHandler next;
        EXPECT_EQ(row.call(client, next), row.result);
        EXPECT_EQ(next.names(), row.callbacks);
        EXPECT_EQ(server.record().size(), connections + 1);  // no reconnection
        EXPECT_EQ(client.close(), APIResult::OK);
    }
}

// close() decides that no loop is active and keeps one from starting in one step. Called over
// and over while another thread runs run() again and again (connecting again after each close
// that succeeded), it never waits for a run(): each run() holds its onStart until a close()
// that began after it has returned, so a close() waiting for that run() is a missed deadline.
TEST_F(ClientRunThreads, CloseNeverWaitsForARunThatStartedOnAnotherThread) {
    const int RUNS = 300;
    const auto DEADLINE = std::chrono::seconds(5);
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    std::mutex mutex;
    std::condition_variable changed;
    int closes = 0;   // close() calls begun
    int returns = 0;  // close() calls returned
    int runs = 0;
    int missed = 0;
    bool over = false;
    handler.inside = [&](const std::string& name, OXClient& c) {
        if (name != "onStart") return;
        {
            std::unique_lock<std::mutex> lock(mutex);
            const int begun = closes;
            if (!changed.wait_for(lock, DEADLINE, [&] { return over || returns > begun; })) {
                ++missed;
                over = true;
            }
            ++runs;
        }
        c.stop();
    };
    std::thread runner([&] {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (over) return;
            }
            if (!client.isConnected() && client.connect() != APIResult::OK) break;
            client.run(&handler);
        }
        std::lock_guard<std::mutex> lock(mutex);
        over = true;
    });

    std::map<APIResult::Type, int> results;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++closes;
        }
        const APIResult::Type result = client.close();
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++returns;
            ++results[result];
            if (runs >= RUNS || missed > 0 || std::chrono::steady_clock::now() > end) over = true;
            if (over) break;
        }
        changed.notify_all();
    }
    changed.notify_all();
    runner.join();

    EXPECT_EQ(missed, 0);
    EXPECT_GE(runs, RUNS);
    EXPECT_GT(results[APIResult::IS_RUNNING], 0);
    for (const auto& r : results) {
        EXPECT_TRUE(r.first == APIResult::IS_RUNNING || r.first == APIResult::OK ||
                    r.first == APIResult::NOT_CONNECTED)
            << APIResult::toString(r.first);
    }
}

// close() ends the connection in order even while the client has input it has not read (no
// loop ran since the server's last message): an end of stream behind the goodbye, never a
// reset, which would drop the last frames wherever they still wait, unsent or unread. A reset
// may also reach the server as an end of stream: a few rounds show it.
TEST_F(ClientRunThreads, CloseEndsTheConnectionWithAnEndOfStreamNotAReset) {
    const size_t ROUNDS = 10;
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    for (size_t round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE(round);
        connect(client);
        server.send(MktDataMessage());
        int fd = -1;
        int pipe = -1;
        client.get(fd, pipe);
        ASSERT_TRUE(readable(fd, 10000));
        EXPECT_EQ(client.replay(3, 1, 2), APIResult::OK);

        EXPECT_EQ(client.close(), APIResult::OK);
        ASSERT_TRUE(closedByClient(round));
        const test_support::ConnectionRecord r = server.record()[round];
        EXPECT_FALSE(r.reset);
        ASSERT_GE(r.frames.size(), 2u);
        EXPECT_NE(r.frames[r.frames.size() - 2].as<ReplayMessage>(), nullptr);
        EXPECT_NE(r.frames.back().as<ClientDisconnectMessage>(), nullptr);
    }
}

// close() closes the session to requests in the same hold of the send lock as it frames its
// goodbye: an order racing it from another thread either goes out before the goodbye and
// returns OK, or returns NOT_CONNECTED. The server never receives a frame after the goodbye.
// Each round's orders are few enough for the connection to take them all at once: none waits
// in the output buffer, which close() would drop.
TEST_F(ClientRunThreads, NoRequestIsFramedAfterTheGoodbyeOfClose) {
    const int ROUNDS = 200;
    const int TRADERS = 3;
    const int ORDERS = 32;  // at most, per trader and round
    Behaviour accept;
    accept.configs.push_back(testConfiguration());
    server.setDefault(accept);
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    std::mutex mutex;
    std::vector<OrderID_t> accepted;  // the orders that returned OK
    for (int round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE(round);
        connect(client);
        std::atomic<int> ordering{0};  // traders whose first order has returned
        std::vector<std::thread> traders;
        for (int t = 0; t < TRADERS; ++t) {
            traders.emplace_back([&, t] {
                for (int n = 0; n < ORDERS; ++n) {
                    const std::string id =
                        std::to_string(round) + "-" + std::to_string(t) + "-" + std::to_string(n);
                    const std::pair<APIResult::Type, OrderID_t> r =
                        client.submitOrder(id.c_str(), 3, 10, Side::BID, OXFloat("1"), OXFloat("2"),
                                           OrderType::LIMIT, TimeInForce::GTC);
                    if (n == 0) ++ordering;
                    if (r.first != APIResult::OK) {
                        EXPECT_EQ(r.first, APIResult::NOT_CONNECTED);
                        break;
                    }
                    std::lock_guard<std::mutex> lock(mutex);
                    accepted.push_back(r.second);
                }
            });
        }
        // The race starts with the traders' orders going out, not with their threads.
        while (ordering < TRADERS) std::this_thread::yield();
        EXPECT_EQ(client.close(), APIResult::OK);
        for (std::thread& t : traders) t.join();
    }

    ASSERT_TRUE(server.waitFor([&](const TestServer::Record& r) {
        return r.size() == static_cast<size_t>(ROUNDS) &&
               std::all_of(r.begin(), r.end(),
                           [](const test_support::ConnectionRecord& c) { return c.closed; });
    }));
    std::set<OrderID_t> received;  // the orders the server received before a goodbye
    const TestServer::Record record = server.record();
    for (size_t i = 0; i < record.size(); ++i) {
        SCOPED_TRACE(i);
        const std::vector<test_support::ReceivedFrame>& frames = record[i].frames;
        ASSERT_FALSE(frames.empty());
        EXPECT_NE(frames.back().as<ClientDisconnectMessage>(), nullptr);
        EXPECT_EQ(record[i].count(ClientDisconnectMessage::ID), 1u);
        for (const test_support::ReceivedFrame& f : frames) {
            if (f.as<ClientDisconnectMessage>() != nullptr) break;
            if (const SubmitOrderMessage* order = f.as<SubmitOrderMessage>()) {
                received.insert(order->contents.orderID);
            }
        }
    }
    for (OrderID_t id : accepted) EXPECT_EQ(received.count(id), 1u) << id;
}

// A callback's exception ends the loop, not the connection: a request whose write fails after
// it reports the failed write, never the exception, which no request meets.
TEST_F(ClientRunThreads, ARequestWhoseWriteFailsAfterACallbackExceptionReportsTheWrite) {
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    connect(client);
    handler.inside = [&](const std::string& name, OXClient&) {
        if (name == "onStart") server.send(MktDataMessage());
        if (name == "onMarketData") throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(client.run(&handler), std::runtime_error);
    ASSERT_TRUE(client.isConnected());

    server.crash();
    int fd = -1;
    int pipe = -1;
    client.get(fd, pipe);
    ASSERT_TRUE(readable(fd, 10000));  // the reset has arrived
    EXPECT_EQ(client.replay(3, 1, 2), APIResult::SOCKERR_WRITING);
    EXPECT_EQ(client.replay(3, 1, 2), APIResult::IS_STOPPING);
    EXPECT_EQ(client.close(), APIResult::OK);
}

}  // namespace
