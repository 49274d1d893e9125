#include <gtest/gtest.h>

#include <boost/make_shared.hpp>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "HandlerFixtures.h"
#include "api/ClientConnectMessage.h"
#include "api/ConfigMessage.h"
#include "api/ConnectResponseMessage.h"
#include "api/LockResponseMessage.h"
#include "api/MsgFactory.h"
#include "api/ProtoInit.h"
#include "api/RiskResponseMessage.h"
#include "api/SubmitOrderMessage.h"
#include "client/ClientImp.h"
#include "common/TimeUtil.h"

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

// Standard error often ends up in a file: a login reported there shows no password.
TEST_F(ClientImpIncoming, AReportedLoginShowsItsUserButNotItsPassword) {
    const boost::shared_ptr<ClientConnectMessage> login =
        boost::make_shared<ClientConnectMessage>();
    login->user = "login-user";
    login->password = "login-password";
    const CaptureStderr err;
    client.dispatchMessage(login, login.get(), ClientConnectMessage::ID);
    const std::string text = err.text();
    EXPECT_NE(text.find("login-user"), std::string::npos) << text;
    EXPECT_NE(text.find(ClientImp::PASSWORD_MASK), std::string::npos) << text;
    EXPECT_EQ(text.find("login-password"), std::string::npos) << text;
    EXPECT_EQ(login->password, "login-password");  // the message itself is left as it is
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

namespace {

using namespace ZURAV;
typedef ClientImpInspector In;

// The session's handling of what the server sends, with the application's handler installed as
// run() installs it.
class ClientImpHandler : public SessionOverSocketPair {
  protected:
    void SetUp() override {
        SessionOverSocketPair::SetUp();
        install();
    }
};

TEST_F(ClientImpHandler, EveryMessageForTheApplicationReachesItsCallback) {
    struct Case {
        const char* callback;
        std::function<void()> deliver;
        // The record's client time stamp as the callback saw it; null for records without one.
        std::function<Timestamp_t()> stamp;
    };
    RecordingHandler& h = handler;
    Heartbeat beat;
    beat.activeFeeds = {3};
    HeartbeatMessage heartbeat;
    heartbeat.contents = beat;
    BatchesCompletedMessage batches;
    batches.batchesCompleted = {4};
    const Case cases[] = {
        {"onSubscriptionEvent", [&] { deliver(SubscriptionEventMessage()); }, nullptr},
        {"onEventReport", [&] { deliver(EventReportMessage()); }, nullptr},
        {"onReplayDone", [&] { deliver(ReplayDoneMessage()); }, nullptr},
        {"onDateRollover", [&] { deliver(DateRolloverMessage()); }, nullptr},
        {"onHeartbeat", [&] { deliver(heartbeat); }, nullptr},
        {"onBatchComplete", [&] { deliver(batches); }, nullptr},
        {"onMarketData", [&] { deliver(MktDataMessage()); },
         [&] { return h.marketData.back().timeApiClient; }},
        {"onOrderReceived", [&] { deliver(OrderReceivedMessage()); },
         [&] { return h.received.back().timeApiClient; }},
        {"onOrderSubmitted", [&] { deliver(OrderSubmittedMessage()); },
         [&] { return h.submitted.back().timeApiClient; }},
        {"onOrderRejected", [&] { deliver(OrderRejectedMessage()); },
         [&] { return h.rejected.back().timeApiClient; }},
        {"onOrderCanceled", [&] { deliver(OrderCanceledMessage()); },
         [&] { return h.canceled.back().timeApiClient; }},
        {"onOrderDone", [&] { deliver(OrderDoneMessage()); },
         [&] { return h.done.back().timeApiClient; }},
        {"onOrderCancelRejected", [&] { deliver(OrderCancelRejectedMessage()); },
         [&] { return h.cancelRejected.back().timeApiClient; }},
        {"onTradeCapture", [&] { deliver(TradeCaptureMessage()); },
         [&] { return h.trades.back().timeApiClient; }},
        {"onDropCopy", [&] { deliver(DropCopyMessage()); },
         [&] { return h.dropCopies.back().timeApiClient; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.callback);
        h.calls.clear();
        h.clients.clear();
        const Timestamp_t before = Orbanex::TimeUtil::now();
        c.deliver();
        EXPECT_EQ(h.calls, std::vector<std::string>{c.callback});
        ASSERT_EQ(h.clients.size(), 1u);
        EXPECT_EQ(h.clients[0], &client);
        if (c.stamp) {
            EXPECT_GE(c.stamp(), before);
            EXPECT_LE(c.stamp(), Orbanex::TimeUtil::now());
        }
    }
}

TEST_F(ClientImpHandler, TypesWithoutACallbackReachNoCallback) {
    struct Case {
        MsgType_t id;
        bool reported;  // on standard error
    };
    const Case cases[] = {
        {RiskResponseMessage::ID, true},
        {LockResponseMessage::ID, true},
        {SubmitOrderMessage::ID, true},
        {TradeLimitDataMessage::ID, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const ShpOXMessage msg = MsgFactory::createMessage(c.id);
        std::ostringstream text;
        text << *msg;
        const CaptureStderr err;
        session.dispatchMessage(msg, msg.get(), c.id);
        EXPECT_EQ(err.text(),
                  c.reported ? "Handler not implemented for: " + text.str() + "\n" : "");
    }
    EXPECT_TRUE(handler.calls.empty());
}

// The feed's last sequence id is raised before the callback, which sees it through the client.
TEST_F(ClientImpHandler, SequenceIdsRiseBeforeTheCallbackAndOnlyRise) {
    std::vector<SequenceID_t> seen;
    handler.inside = [&] { seen.push_back(client.getSequenceID(5)); };
    EXPECT_EQ(client.getSequenceID(5), -2);
    OrderReceivedMessage received;
    received.contents.feedID = 5;
    received.contents.sequenceID = 10;
    deliver(received);
    OrderDoneMessage done;
    done.contents.feedID = 5;
    done.contents.sequenceID = 7;
    deliver(done);
    TradeCaptureMessage trade;
    trade.contents.feedID = 5;
    trade.contents.sequenceID = 11;
    deliver(trade);
    EXPECT_EQ(seen, (std::vector<SequenceID_t>{10, 10, 11}));
    EXPECT_EQ(client.getSequenceID(5), 11);
}

TEST_F(ClientImpHandler, ADropCopysOriginalSequenceIdIsKnownInsideItsCallback) {
    EXPECT_EQ(client.getOrigFeedSequenceID(), 0);
    SequenceID_t inside = 0;
    handler.inside = [&] { inside = client.getOrigFeedSequenceID(); };
    DropCopyMessage copy;
    copy.origFeedSequenceID = 812;
    copy.contents.feedID = 9;
    copy.contents.sequenceID = 40;
    deliver(copy);
    EXPECT_EQ(inside, 812);
    EXPECT_EQ(client.getSequenceID(9), 40);
}

TEST_F(ClientImpHandler, AHeartbeatNamesTheActiveFeedsByTheirPlaceInAscendingOrder) {
    session.clearConfiguration();
    ConfigMessage config;
    for (FeedID_t id : {12, 3, 7}) {
        APIFeed feed;
        feed.feedID = id;
        config.feedsList.push_back(feed);
    }
    deliver(config);
    struct Case {
        FeedSeqID_t bits;
        std::vector<int> given;  // activeFeeds as sent
        std::vector<int> passed;
    };
    const Case cases[] = {
        {5, {}, {3, 12}},
        {7, {}, {3, 7, 12}},
        {static_cast<FeedSeqID_t>(0x80000008u), {}, {}},  // places beyond the three feeds
        {0, {}, {}},
        {5, {44, 45}, {44, 45}},  // given feeds pass unchanged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        HeartbeatMessage msg;
        msg.feedSeqID = c.bits;
        msg.contents.timeApiServer = 99;
        msg.contents.activeFeeds = c.given;
        deliver(msg);
        ASSERT_FALSE(handler.heartbeats.empty());
        EXPECT_EQ(handler.heartbeats.back().activeFeeds, c.passed);
        EXPECT_EQ(handler.heartbeats.back().timeApiServer, 99);
    }
    EXPECT_EQ(handler.heartbeats.size(), 5u);
}

TEST_F(ClientImpHandler, EachCompletedBatchIsItsOwnCallback) {
    BatchesCompletedMessage msg;
    msg.batchesCompleted = {4, 9, 4};
    deliver(msg);
    EXPECT_EQ(handler.batches, (std::vector<int>{4, 9, 4}));
    deliver(BatchesCompletedMessage());
    EXPECT_EQ(handler.batches.size(), 3u);
}

// A finished order's ids are let go before the application hears of it, so a cancel it makes
// from the callback is already refused locally.
TEST_F(ClientImpHandler, AFinishedOrdersIdsAreReleasedBeforeItsCallback) {
    logIn(3);
    struct Case {
        const char* clOrdID;
        std::function<void(OrderID_t, const char*)> finish;
    };
    const Case cases[] = {
        {"canceled",
         [&](OrderID_t id, const char* cl) {
             OrderCanceledMessage m;
             m.contents.orderID = id;
             m.contents.clOrdID = cl;
             deliver(m);
         }},
        {"done",
         [&](OrderID_t id, const char* cl) {
             OrderDoneMessage m;
             m.contents.orderID = id;
             m.contents.clOrdID = cl;
             deliver(m);
         }},
        {"rejected",
         [&](OrderID_t id, const char* cl) {
             OrderRejectedMessage m;
             m.contents.orderID = id;
             m.contents.clOrdID = cl;
             deliver(m);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clOrdID);
        const std::pair<APIResult::Type, OrderID_t> entered =
            client.submitOrder(c.clOrdID, 3, 10, Side::BID, OXFloat(int64_t(1)),
                               OXFloat(int64_t(1)), OrderType::MARKET, TimeInForce::GTC);
        ASSERT_EQ(entered.first, APIResult::OK);
        bool releasedInside = false;
        APIResult::Type cancel = APIResult::OK;
        handler.inside = [&] {
            releasedInside =
                !In::isLive(session, entered.second) && In::clOrdIDs(session).count(c.clOrdID) == 0;
            cancel = client.cancelOrder("X", c.clOrdID);
        };
        c.finish(entered.second, c.clOrdID);
        EXPECT_TRUE(releasedInside);
        EXPECT_EQ(cancel, APIResult::INVALID_ORDERID);
        EXPECT_EQ(client.cancelOrder("X", entered.second), APIResult::INVALID_ORDERID);
    }
    // A report naming ids the session does not know releases nothing and is passed on.
    ASSERT_EQ(client
                  .submitOrder("kept", 3, 10, Side::BID, OXFloat(int64_t(1)), OXFloat(int64_t(1)),
                               OrderType::MARKET, TimeInForce::GTC)
                  .first,
              APIResult::OK);
    handler.inside = nullptr;
    cases[1].finish(12345, "unknown");
    EXPECT_EQ(In::clOrdIDs(session).size(), 1u);
    EXPECT_EQ(handler.done.size(), 2u);
}

// Without a handler (inside connect()) the state is kept up and nothing is called.
TEST_F(ClientImpHandler, WithoutAHandlerOnlyTheStateIsKept) {
    In::setHandler(session, nullptr);
    OrderReceivedMessage received;
    received.contents.feedID = 5;
    received.contents.sequenceID = 10;
    deliver(received);
    DropCopyMessage copy;
    copy.origFeedSequenceID = 7;
    deliver(copy);
    HeartbeatMessage heartbeat;
    heartbeat.feedSeqID = 1;
    deliver(heartbeat);
    BatchesCompletedMessage batches;
    batches.batchesCompleted = {1};
    deliver(batches);
    EXPECT_EQ(client.getSequenceID(5), 10);
    EXPECT_EQ(client.getOrigFeedSequenceID(), 7);
    EXPECT_TRUE(handler.calls.empty());
}

// ---- against the test server ----

typedef SessionAgainstServer ClientImpIncomingServerThreads;

TEST_F(ClientImpIncomingServerThreads, EveryUnsolicitedMessageReachesItsCallbackInOrder) {
    logIn();
    HeartbeatMessage heartbeat;
    heartbeat.feedSeqID = 5;  // places 0 and 2 of the feeds 2, 3, 5, 9
    BatchesCompletedMessage batches;
    batches.batchesCompleted = {4, 9};
    DropCopyMessage copy;
    copy.origFeedSequenceID = 33;
    RiskResponseMessage risk;
    LockResponseMessage lock;
    lock.contents.clRequestID = "lock-1";
    lock.contents.reason = "locked by the desk";
    const auto empty = [](MsgType_t id) { return MsgFactory::createMessage(id); };
    const std::vector<std::pair<ShpOXMessage, std::vector<std::string>>> sends = {
        {empty(SubscriptionEventMessage::ID), {"onSubscriptionEvent"}},
        {empty(MktDataMessage::ID), {"onMarketData"}},
        {empty(EventReportMessage::ID), {"onEventReport"}},
        {empty(DateRolloverMessage::ID), {"onDateRollover"}},
        {ShpOXMessage(new HeartbeatMessage(heartbeat)), {"onHeartbeat"}},
        {ShpOXMessage(new BatchesCompletedMessage(batches)),
         {"onBatchComplete", "onBatchComplete"}},
        {ShpOXMessage(new RiskResponseMessage(risk)), {}},
        {empty(OrderReceivedMessage::ID), {"onOrderReceived"}},
        {empty(OrderRejectedMessage::ID), {"onOrderRejected"}},
        {empty(OrderSubmittedMessage::ID), {"onOrderSubmitted"}},
        {empty(TradeLimitDataMessage::ID), {}},
        {empty(OrderCanceledMessage::ID), {"onOrderCanceled"}},
        {empty(OrderCancelRejectedMessage::ID), {"onOrderCancelRejected"}},
        {ShpOXMessage(new LockResponseMessage(lock)), {}},
        {empty(TradeCaptureMessage::ID), {"onTradeCapture"}},
        {empty(OrderDoneMessage::ID), {"onOrderDone"}},
        {ShpOXMessage(new DropCopyMessage(copy)), {"onDropCopy"}},
        {empty(ReplayDoneMessage::ID), {"onReplayDone"}},
    };
    std::vector<std::string> expected;
    for (const auto& s : sends) {
        server.send(*s.first);
        expected.insert(expected.end(), s.second.begin(), s.second.end());
    }

    std::string reports;
    {
        const CaptureStderr err;
        ASSERT_TRUE(pumpUntilCalls(expected.size()));
        reports = err.text();
    }
    EXPECT_EQ(handler.calls, expected);
    for (OXClient* c : handler.clients) EXPECT_EQ(c, &client);
    EXPECT_EQ(handler.heartbeats[0].activeFeeds, (std::vector<int>{2, 5}));
    EXPECT_EQ(handler.batches, (std::vector<int>{4, 9}));
    EXPECT_EQ(client.getOrigFeedSequenceID(), 33);

    // The two types without a callback are reported, the trade limits are not.
    std::ostringstream riskText, lockText;
    riskText << risk;
    lockText << lock;
    EXPECT_EQ(reports, "Handler not implemented for: " + riskText.str() + "\n" +
                           "Handler not implemented for: " + lockText.str() + "\n");
    EXPECT_NE(lockText.str().find("locked by the desk"), std::string::npos);
}

// During connect() no handler is installed: what arrives with the login is kept up (sequence
// ids) without a callback.
TEST_F(ClientImpIncomingServerThreads, AHeartbeatDuringConnectMakesNoCallback) {
    server.queue(test_support::Behaviour::silent());
    std::thread answer([this] {
        if (!server.waitForMessages(ClientConnectMessage::ID)) return;
        server.send(testConfiguration());
        HeartbeatMessage heartbeat;
        heartbeat.feedSeqID = 1;
        server.send(heartbeat);
        OrderReceivedMessage received;
        received.contents.feedID = 3;
        received.contents.sequenceID = 600;
        server.send(received);
        ConnectResponseMessage accepted;
        accepted.connectionResponse = ConnectionResponse::SUCCESS;
        accepted.sessionID = 12;
        server.send(accepted);
    });
    const APIResult::Type connected = client.connect();
    answer.join();
    ASSERT_EQ(connected, APIResult::OK);
    EXPECT_EQ(client.getSequenceID(3), 600);

    ClientImpInspector::setHandler(session, &handler);
    HeartbeatMessage later;
    later.feedSeqID = 2;
    server.send(later);
    ASSERT_TRUE(pumpUntilCalls(1));
    EXPECT_EQ(handler.calls, std::vector<std::string>{"onHeartbeat"});
    EXPECT_EQ(handler.heartbeats[0].activeFeeds, std::vector<int>{3});
}

}  // namespace
