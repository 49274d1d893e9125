#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "ClientImpInspector.h"
#include "SessionFixtures.h"
#include "api/APIAll.h"
#include "api/ProtoInit.h"
#include "catalogue/OXProtocol.h"
#include "client/AbstractOXHandler.h"
#include "client/ClientImp.h"
#include "client/OXClient.h"
#include "support/client/TestServer.h"

namespace ZURAV {

// An application handler that records every message callback in order: its name, the client it
// was given, and a copy of its record. `inside`, when set, runs within each callback after the
// record is taken (to look at the session's state as the application sees it there). The loop
// may run on another thread than the test: the record is guarded, and waitForCalls waits on it
// with a deadline.
class RecordingHandler : public AbstractOXHandler {
  public:
    void onHeartbeat(const Heartbeat& r, OXClient& c) override {
        take("onHeartbeat", c, heartbeats, r);
    }
    void onSubscriptionEvent(const SubscriptionEvent& r, OXClient& c) override {
        take("onSubscriptionEvent", c, subscriptionEvents, r);
    }
    void onMarketData(const MarketView& r, OXClient& c) override {
        take("onMarketData", c, marketData, r);
    }
    void onEventReport(const EventReport& r, OXClient& c) override {
        take("onEventReport", c, eventReports, r);
    }
    void onDateRollover(const DateRollover& r, OXClient& c) override {
        take("onDateRollover", c, rollovers, r);
    }
    void onBatchComplete(int id, OXClient& c) override { take("onBatchComplete", c, batches, id); }
    void onOrderReceived(const OrderReceived& r, OXClient& c) override {
        take("onOrderReceived", c, received, r);
    }
    void onOrderRejected(const OrderRejected& r, OXClient& c) override {
        take("onOrderRejected", c, rejected, r);
    }
    void onOrderSubmitted(const OrderSubmitted& r, OXClient& c) override {
        take("onOrderSubmitted", c, submitted, r);
    }
    void onOrderCanceled(const OrderCanceled& r, OXClient& c) override {
        take("onOrderCanceled", c, canceled, r);
    }
    void onOrderCancelRejected(const OrderCancelRejected& r, OXClient& c) override {
        take("onOrderCancelRejected", c, cancelRejected, r);
    }
    void onTradeCapture(const TradeCapture& r, OXClient& c) override {
        take("onTradeCapture", c, trades, r);
    }
    void onOrderDone(const OrderDone& r, OXClient& c) override { take("onOrderDone", c, done, r); }
    void onDropCopy(const DropCopy& r, OXClient& c) override {
        take("onDropCopy", c, dropCopies, r);
    }
    void onReplayDone(const ReplayDone& r, OXClient& c) override {
        take("onReplayDone", c, replays, r);
    }

    // The names of the callbacks so far, in order.
    std::vector<std::string> names() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return calls;
    }
    // Waits until at least n callbacks were made; whether they were.
    bool waitForCalls(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, timeout, [&] { return calls.size() >= n; });
    }

    std::function<void()> inside;

    // Read them once the callbacks are over (after the loop has returned, or waitForCalls).
    std::vector<std::string> calls;
    std::vector<OXClient*> clients;
    std::vector<Heartbeat> heartbeats;
    std::vector<SubscriptionEvent> subscriptionEvents;
    std::vector<MarketView> marketData;
    std::vector<EventReport> eventReports;
    std::vector<DateRollover> rollovers;
    std::vector<int> batches;
    std::vector<OrderReceived> received;
    std::vector<OrderRejected> rejected;
    std::vector<OrderSubmitted> submitted;
    std::vector<OrderCanceled> canceled;
    std::vector<OrderCancelRejected> cancelRejected;
    std::vector<TradeCapture> trades;
    std::vector<OrderDone> done;
    std::vector<DropCopy> dropCopies;
    std::vector<ReplayDone> replays;

  private:
    template <class T>
    void take(const char* name, OXClient& client, std::vector<T>& list, const T& record) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            calls.push_back(name);
            clients.push_back(&client);
            list.push_back(record);
        }
        if (inside) inside();
        _changed.notify_all();
    }

    mutable std::mutex _mutex;
    std::condition_variable _changed;
};

// The configuration the request tests run against:
//   feed 3  flags 6 (market data, order flow)  markets 10, 0
//   feed 9  flags 4 (order flow)                market 30
//   feed 2  flags 2 (market data)               market 40, listed twice
//   feed 5  flags 6                              no markets
inline ConfigMessage testConfiguration() {
    ConfigMessage config;
    const struct {
        FeedID_t id;
        FeedFlags_t flags;
        std::vector<MarketID_t> markets;
    } feeds[] = {{3, 6, {10, 0}}, {9, 4, {30}}, {2, 2, {40, 40}}, {5, 6, {}}};
    for (const auto& f : feeds) {
        APIFeed feed;
        feed.feedID = f.id;
        feed.flags = f.flags;
        feed.name = "FEED" + std::to_string(f.id);
        for (MarketID_t m : f.markets) {
            APIMarket market;
            market.marketID = m;
            market.feedID = f.id;
            market.name = "M" + std::to_string(m);
            feed.marketList.push_back(market);
        }
        config.feedsList.push_back(feed);
    }
    return config;
}

// A session behind its facade, connected through a local socket pair whose other end the test
// reads as the server, with testConfiguration() and, once logIn() ran, an accepted login.
// Single-threaded: the test drives the session's handling itself.
class SessionOverSocketPair : public testing::Test {
  protected:
    void SetUp() override {
        ProtoInit::initialize();
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        ASSERT_EQ(fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK), 0);
        ClientImpInspector::adopt(session, fds[0], fds[0]);
        server = fds[1];
        deliver(testConfiguration());
    }
    void TearDown() override {
        if (server != -1) close(server);
    }

    void logIn(ClientSessionID_t sessionID = 3) {
        ClientImpInspector::acceptLogin(session, sessionID);
    }
    // Hands msg to the session as the loop hands it a decoded frame.
    template <class T>
    void deliver(const T& msg) {
        const ShpOXMessage sm(new T(msg));
        session.dispatchMessage(sm, sm.get(), sm->getMsgType());
    }
    // What the server has received since the last call, decoded.
    std::vector<ShpOXMessage> sent() { return framesIn(readAvailable(server)); }
    // The one message the server has received since the last call, as T.
    template <class T>
    T only() {
        const std::vector<ShpOXMessage> frames = sent();
        if (frames.size() != 1 || !frames[0] || frames[0]->getMsgType() != T::ID) {
            ADD_FAILURE() << frames.size() << " frames instead of one of type " << T::ID;
            return T();
        }
        return frames[0]->getRef<T>();
    }
    // Dispatches what the session queued for itself, as its loop would.
    void runDeferred() { ClientImpInspector::dispatchDeferred(session); }
    void install() { ClientImpInspector::setHandler(session, &handler); }

    OXClient client{"trader", "secret", "localhost", 1};
    ClientImp& session = ClientImpInspector::of(client);
    RecordingHandler handler;
    int server = -1;
};

// A client logged in to the test server over loopback, its handler installed as run() installs
// it. The server accepts with testConfiguration() and the last sequence ids {3: 500, 9: 70}.
// The test runs the client's loop on its own thread with pumpUntil.
class SessionAgainstServer : public testing::Test {
  protected:
    void SetUp() override {
        Orbanex::initialize();  // the login's version message carries the catalogue's signatures
        ProtoInit::initialize();
        test_support::Behaviour accept;
        accept.configs.push_back(testConfiguration());
        for (const std::pair<FeedID_t, SequenceID_t>& last :
             {std::make_pair(3, 500), std::make_pair(9, 70)}) {
            LastSequenceIDMessage m;
            m.feedID = last.first;
            m.origFeedID = last.first;
            m.sequenceID = last.second;
            accept.lastSequenceIDs.push_back(m);
        }
        server.setDefault(accept);
    }

    void TearDown() override { Orbanex::finalize(); }

    // connect(), then the handler installed.
    void logIn() {
        ASSERT_EQ(client.connect(), APIResult::OK);
        ClientImpInspector::setHandler(session, &handler);
    }
    // The session id the server gave the current connection.
    ClientSessionID_t sessionID() const { return server.record().back().sessionID; }

    // Runs the client's loop on this thread, a pass whenever the connection or the wake-up pipe
    // has something, until done() holds; false when it does not within the deadline.
    bool pumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            session.dispatch(false);
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            int fd = -1, pipe = -1;
            session.get(fd, pipe);
            pollfd fds[2] = {{fd, POLLIN, 0}, {pipe, POLLIN, 0}};
            ::poll(fds, 2, 100);
        }
    }
    bool pumpUntilCalls(size_t n) {
        return pumpUntil([&] { return handler.calls.size() >= n; });
    }

    test_support::TestServer server;
    OXClient client{"trader", "secret", "127.0.0.1", server.port()};
    ClientImp& session = ClientImpInspector::of(client);
    RecordingHandler handler;
};

}  // namespace ZURAV
