#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ConsoleLog.h"
#include "HandlerFixtures.h"
#include "common/TimeUtil.h"

namespace {

using namespace ZURAV;
typedef ClientImpInspector In;
typedef std::vector<std::pair<std::pair<FeedID_t, MarketID_t>, bool>> Store;

class ClientImpRequests : public SessionOverSocketPair {
  protected:
    void SetUp() override {
        SessionOverSocketPair::SetUp();
        logIn();
    }
    // {feed, market} of each subscribe request the server received since the last call.
    std::vector<std::pair<FeedID_t, MarketID_t>> subscriptionsSent() {
        std::vector<std::pair<FeedID_t, MarketID_t>> out;
        for (const ShpOXMessage& m : sent()) {
            EXPECT_EQ(m->getMsgType(), SubscribeMessage::ID);
            const Subscription& s = m->getRef<SubscribeMessage>().sub;
            out.push_back(std::make_pair(s.feedID, s.marketID));
        }
        return out;
    }
};

TEST_F(ClientImpRequests, EachRequestGoesOutWithEveryFieldSet) {
    client.setStickySubscriptions(true);
    {
        ASSERT_EQ(client.subscribeMD(3, 10, "s1"), APIResult::OK);
        const SubscribeMessage m = only<SubscribeMessage>();
        EXPECT_EQ(m.sub.apiType, APIType::MARKETDATA);
        EXPECT_EQ(m.sub.feedID, 3);
        EXPECT_EQ(m.sub.marketID, 10);
        EXPECT_EQ(m.clSubID, "s1");
        EXPECT_TRUE(m.sticky);
        EXPECT_EQ(m.sessionID, 0);
        EXPECT_EQ(m.timestamp, 0);
    }
    client.setStickySubscriptions(false);
    {
        ASSERT_EQ(client.subscribeOF(9), APIResult::OK);
        const SubscribeMessage m = only<SubscribeMessage>();
        EXPECT_EQ(m.sub.apiType, APIType::TRADING);
        EXPECT_EQ(m.sub.feedID, 9);
        EXPECT_EQ(m.sub.marketID, 0);
        EXPECT_EQ(m.clSubID, "");
        EXPECT_FALSE(m.sticky);
    }
    {
        ASSERT_EQ(client.unsubscribeMD(3, 10, "u1"), APIResult::OK);
        const UnsubscribeMessage m = only<UnsubscribeMessage>();
        EXPECT_EQ(m.sub.apiType, APIType::MARKETDATA);
        EXPECT_EQ(m.sub.feedID, 3);
        EXPECT_EQ(m.sub.marketID, 10);
        EXPECT_EQ(m.clSubID, "u1");
        EXPECT_EQ(m.sessionID, 0);
        EXPECT_EQ(m.timestamp, 0);
    }
    {
        ASSERT_EQ(client.unsubscribeOF(3), APIResult::OK);
        const UnsubscribeMessage m = only<UnsubscribeMessage>();
        EXPECT_EQ(m.sub.apiType, APIType::TRADING);
        EXPECT_EQ(m.sub.marketID, 0);
        EXPECT_EQ(m.clSubID, "");
    }
    {
        ASSERT_EQ(client.unsubscribeAll(), APIResult::OK);
        const UnsubscribeAllMessage m = only<UnsubscribeAllMessage>();
        EXPECT_EQ(m.clSubID, "");
        EXPECT_EQ(m.sessionID, 0);
        EXPECT_EQ(m.timestamp, 0);
    }
    {
        ASSERT_EQ(client.replay(3, 100, 250), APIResult::OK);
        const ReplayMessage m = only<ReplayMessage>();
        EXPECT_EQ(m.feedID, 3);
        EXPECT_EQ(m.first, 100);
        EXPECT_EQ(m.last, 250);
        EXPECT_EQ(m.userID, 0);
    }
    {
        ASSERT_EQ(client.requestSnapshot(77, 12), APIResult::OK);  // nothing is checked
        const RequestSnapshotMessage m = only<RequestSnapshotMessage>();
        EXPECT_EQ(m.feedID, 77);
        EXPECT_EQ(m.markets, std::vector<int>{12});
        EXPECT_EQ(m.streamID, 0);
    }
    {
        ASSERT_EQ(client.unregisterMarketComb(-8), APIResult::OK);  // nor here
        EXPECT_EQ(only<BatchUnregisterMessage>().batchDefID, -8);
    }
    {
        client.test(APITest::FORCE_REMOTE_DISCONNECT);
        EXPECT_EQ(only<TestMessage>().test, APITest::FORCE_REMOTE_DISCONNECT);
        client.test(APITest::INVOKE_EVENT_REPORT);
        EXPECT_TRUE(sent().empty());
    }
}

TEST_F(ClientImpRequests, TheFeedChecksRefuseBeforeAnythingIsSent) {
    client.setStickySubscriptions(true);
    struct Case {
        const char* what;
        std::function<APIResult::Type()> request;
        APIResult::Type result;
    };
    const Case cases[] = {
        {"MD unknown feed", [&] { return client.subscribeMD(77, 10); }, APIResult::INVALID_FEED},
        {"MD unknown market", [&] { return client.subscribeMD(3, 30); }, APIResult::INVALID_MARKET},
        {"MD feed without market data", [&] { return client.subscribeMD(9, 30); },
         APIResult::INVALID_MARKETDATA_FEED},
        {"OF unknown feed", [&] { return client.subscribeOF(77, "x"); }, APIResult::INVALID_FEED},
        {"OF feed without order flow", [&] { return client.subscribeOF(2); },
         APIResult::INVALID_TRADING_FEED},
        {"un-MD unknown feed", [&] { return client.unsubscribeMD(77, 10); },
         APIResult::INVALID_FEED},
        {"un-MD unknown market", [&] { return client.unsubscribeMD(3, 30, "x"); },
         APIResult::INVALID_MARKET},
        {"un-MD feed without market data", [&] { return client.unsubscribeMD(9, 30); },
         APIResult::INVALID_MARKETDATA_FEED},
        {"un-OF feed without order flow", [&] { return client.unsubscribeOF(2, "x"); },
         APIResult::INVALID_TRADING_FEED},
        {"order flow with a market of the feed", [&] { return client.subscribeOF(3); },
         APIResult::OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.request(), c.result);
        EXPECT_EQ(sent().size(), c.result == APIResult::OK ? 1u : 0u);
    }
    EXPECT_EQ(In::sticky(session), (Store{{{3, 0}, true}}));
}

TEST_F(ClientImpRequests, StickySubscriptionsAreRememberedByMarketAndFeed) {
    client.setStickySubscriptions(true);
    ASSERT_EQ(client.subscribeMD(3, 10), APIResult::OK);
    ASSERT_EQ(client.subscribeMD(2, 40), APIResult::OK);
    EXPECT_EQ(In::sticky(session), (Store{{{3, 10}, true}, {{2, 40}, true}}));
    // Again: sent again (with a warning), still one entry.
    ASSERT_EQ(client.subscribeMD(3, 10), APIResult::OK);
    EXPECT_EQ(subscriptionsSent().size(), 3u);
    EXPECT_EQ(In::sticky(session).size(), 2u);

    // Order flow of feed 3 and market data of its market 0 share a key.
    ASSERT_EQ(client.subscribeOF(3), APIResult::OK);
    ASSERT_EQ(client.subscribeMD(3, 0), APIResult::OK);
    EXPECT_EQ(In::sticky(session).size(), 3u);

    // Without sticky subscriptions a subscription forgets the remembered one of its key.
    client.setStickySubscriptions(false);
    ASSERT_EQ(client.subscribeMD(3, 10), APIResult::OK);
    EXPECT_EQ(In::sticky(session), (Store{{{3, 0}, true}, {{2, 40}, true}}));

    ASSERT_EQ(client.unsubscribeMD(3, 0), APIResult::OK);
    EXPECT_EQ(In::sticky(session), (Store{{{2, 40}, true}}));
    client.setStickySubscriptions(true);
    ASSERT_EQ(client.subscribeOF(9), APIResult::OK);
    ASSERT_EQ(client.unsubscribeAll(), APIResult::OK);
    EXPECT_TRUE(In::sticky(session).empty());
}

TEST_F(ClientImpRequests, AFailedSubscribeIsNotRememberedAndAFailedUnsubscribeStillForgets) {
    client.setStickySubscriptions(true);
    ASSERT_EQ(client.subscribeMD(3, 10), APIResult::OK);
    In::requestStop(session);
    EXPECT_EQ(client.subscribeMD(2, 40), APIResult::IS_STOPPING);
    EXPECT_EQ(In::sticky(session), (Store{{{3, 10}, true}}));
    EXPECT_EQ(client.unsubscribeMD(3, 10), APIResult::OK);
    EXPECT_TRUE(In::sticky(session).empty());
    EXPECT_EQ(client.unsubscribeAll(), APIResult::OK);

    // Not connected: nothing is remembered either.
    ClientImp other(&client, "u", "p", "localhost", 1, nullptr, 0);
    other.setStickySubscriptions(true);
    EXPECT_EQ(other.subscribeMD(3, 10), APIResult::INVALID_FEED);  // no configuration yet
    other.handle(ShpOXMessage(), testConfiguration());
    EXPECT_EQ(other.subscribeMD(3, 10), APIResult::NOT_CONNECTED);
    EXPECT_TRUE(In::sticky(other).empty());
}

TEST_F(ClientImpRequests, RememberedSubscriptionsAreSentAgainInKeyOrderOncePerConnection) {
    client.setStickySubscriptions(true);
    ASSERT_EQ(client.subscribeMD(3, 10), APIResult::OK);
    ASSERT_EQ(client.subscribeMD(2, 40), APIResult::OK);
    ASSERT_EQ(client.subscribeOF(9), APIResult::OK);
    ASSERT_EQ(client.subscribeOF(3), APIResult::OK);
    sent();

    // Sent on this connection already: nothing goes again.
    session.resendStickySubscriptions(true);
    EXPECT_TRUE(sent().empty());

    session.markStickySubscriptionsUnsent();
    EXPECT_EQ(In::sticky(session),
              (Store{{{3, 0}, false}, {{9, 0}, false}, {{3, 10}, false}, {{2, 40}, false}}));
    session.resendStickySubscriptions(false);
    EXPECT_EQ(subscriptionsSent(),
              (std::vector<std::pair<FeedID_t, MarketID_t>>{{3, 0}, {9, 0}, {3, 10}, {2, 40}}));
    EXPECT_EQ(In::sticky(session),
              (Store{{{3, 0}, true}, {{9, 0}, true}, {{3, 10}, true}, {{2, 40}, true}}));
    session.resendStickySubscriptions(false);
    EXPECT_TRUE(sent().empty());

    session.clearStickySubscriptions();
    EXPECT_TRUE(In::sticky(session).empty());
}

TEST_F(ClientImpRequests, TheStoreLogsDuplicatesAndResends) {
    const ConsoleLog log;
    session.resendStickySubscriptions(true);  // nothing remembered: the start says 0
    client.setStickySubscriptions(true);
    ASSERT_EQ(client.subscribeMD(3, 10), APIResult::OK);
    ASSERT_EQ(client.subscribeMD(3, 10), APIResult::OK);
    ASSERT_EQ(client.subscribeOF(9), APIResult::OK);
    session.resendStickySubscriptions(true);  // something remembered: no line at the start
    session.markStickySubscriptionsUnsent();
    session.resendStickySubscriptions(false);
    session.resendStickySubscriptions(false);  // all sent already, but remembered: 2 again

    EXPECT_EQ(log.count(":WARN:Sending duplicate subscription for stickied 3%10. Check code / "
                        "setStickySubscriptions() arguments."),
              1u);
    EXPECT_EQ(log.count(":WARN:"), 1u);
    EXPECT_EQ(log.count(":INFO:Sticky resubscribe: 0\n"), 1u);
    EXPECT_EQ(log.count(":INFO:Sticky resubscribe: 2\n"), 2u);
    EXPECT_EQ(log.count("Sticky resubscribe"), 3u);
}

TEST_F(ClientImpRequests, SubscribeAllMDAsksForEveryMarketOfTheMarketDataFeeds) {
    ASSERT_EQ(client.subscribeAllMD(), APIResult::OK);
    EXPECT_EQ(subscriptionsSent(),
              (std::vector<std::pair<FeedID_t, MarketID_t>>{{3, 10}, {3, 0}, {2, 40}, {2, 40}}));

    // A market whose record names another feed is refused, and ends the walk.
    ConfigMessage more;
    APIFeed feed;
    feed.feedID = 2;
    APIMarket stray;
    stray.marketID = 41;
    stray.feedID = 77;
    APIMarket after;
    after.marketID = 42;
    after.feedID = 2;
    feed.marketList = {stray, after};
    more.feedsList.push_back(feed);
    deliver(more);
    EXPECT_EQ(client.subscribeAllMD(), APIResult::INVALID_FEED);
    EXPECT_EQ(subscriptionsSent(),
              (std::vector<std::pair<FeedID_t, MarketID_t>>{{3, 10}, {3, 0}, {2, 40}, {2, 40}}));

    session.clearConfiguration();
    EXPECT_EQ(client.subscribeAllMD(), APIResult::OK);
    EXPECT_TRUE(sent().empty());
}

TEST_F(ClientImpRequests, MarketCombinationsNeedMarketsOfTheFeed) {
    MarketID_t ids[] = {10, 0};
    MarketID_t unknown[] = {10, 99};
    MarketID_t twiceListed[] = {40, 99};  // feed 2 lists market 40 twice
    struct Case {
        const char* what;
        FeedID_t feed;
        MarketID_t* markets;
        int n;
        APIResult::Type result;
    };
    const Case cases[] = {
        {"no markets", 3, ids, 0, APIResult::INVALID_BATCHID},
        {"unknown feed", 77, ids, 2, APIResult::INVALID_PARAMETER},
        {"feed without markets", 5, ids, 1, APIResult::INVALID_PARAMETER},
        {"a market not in the feed", 3, unknown, 2, APIResult::INVALID_PARAMETER},
        {"a market not in a feed listing another twice", 2, twiceListed, 2,
         APIResult::INVALID_PARAMETER},
        {"no list", 3, nullptr, 2, APIResult::INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(client.registerMarketComb(c.feed, c.markets, c.n), std::make_pair(c.result, -1));
        EXPECT_TRUE(sent().empty());
    }

    EXPECT_EQ(client.registerMarketComb(3, ids, 2), std::make_pair(APIResult::OK, 1));
    const BatchRegisterMessage m = only<BatchRegisterMessage>();
    EXPECT_EQ(m.feedID, 3);
    EXPECT_EQ(m.marketIDList, (std::vector<int>{10, 0}));
    EXPECT_EQ(m.batchDefID, 1);
    EXPECT_EQ(client.registerMarketComb(3, ids + 1, 1), std::make_pair(APIResult::OK, 2));
    // A failed send still uses up its id.
    In::requestStop(session);
    EXPECT_EQ(client.registerMarketComb(3, ids, 1), std::make_pair(APIResult::IS_STOPPING, 3));
}

// The ids wrap once from the largest to the smallest value, which ends them.
TEST_F(ClientImpRequests, MarketCombinationIdsRunOutAfterWrapping) {
    MarketID_t ids[] = {10};
    In::setBatchDefID(session, INT_MAX);
    EXPECT_EQ(client.registerMarketComb(3, ids, 1), std::make_pair(APIResult::OK, INT_MIN));
    EXPECT_EQ(only<BatchRegisterMessage>().batchDefID, INT_MIN);
    EXPECT_EQ(client.registerMarketComb(3, ids, 1), std::make_pair(APIResult::INVALID_BATCHID, -1));
    EXPECT_TRUE(sent().empty());
}

// The read end is shut down, not closed: its number stays the session's (no other file can
// take it while the loop and senders still use it), and the loop meets the end of the stream.
TEST_F(ClientImpRequests, AForcedLocalDisconnectShutsTheConnectionDown) {
    const int fd = In::rsock(session);
    client.test(APITest::FORCE_LOCAL_DISCONNECT);
    EXPECT_EQ(In::rsock(session), fd);
    EXPECT_NE(fcntl(fd, F_GETFD), -1);
    char byte;
    EXPECT_EQ(read(fd, &byte, 1), 0);  // end of stream for the loop
    EXPECT_TRUE(sent().empty());
    session.closeSockets();

    // No connection: nothing happens.
    client.test(APITest::FORCE_LOCAL_DISCONNECT);
    EXPECT_EQ(In::rsock(session), -1);
}

TEST(ClientImpRequestsThreads, ConcurrentRegistrationsGetDistinctIds) {
    ProtoInit::initialize();
    OXClient client("trader", "secret", "localhost", 1);
    ClientImp& session = In::of(client);
    session.handle(ShpOXMessage(), testConfiguration());
    // Not connected: every send fails, every registration still takes an id.
    const int perThread = 500;
    std::vector<std::vector<int>> got(4);
    std::vector<std::thread> threads;
    for (std::vector<int>& ids : got) {
        threads.emplace_back([&session, &ids] {
            MarketID_t markets[] = {10};
            for (int i = 0; i < perThread; ++i) {
                ids.push_back(session.registerMarketComb(3, markets, 1).second);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    std::set<int> all;
    for (const std::vector<int>& ids : got) all.insert(ids.begin(), ids.end());
    EXPECT_EQ(all.size(), 4u * perThread);
    EXPECT_EQ(*all.begin(), 1);
    EXPECT_EQ(*all.rbegin(), 4 * perThread);
}

// ---- against the test server ----

using test_support::Reply;
typedef SessionAgainstServer ClientImpRequestsServerThreads;

TEST_F(ClientImpRequestsServerThreads, RequestsAreAnsweredThroughTheHandler) {
    server.respond<SubscribeMessage>([](const SubscribeMessage& m, Reply& reply) {
        SubscriptionEventMessage event;
        event.contents.sub = m.sub;
        event.contents.clSubID = m.clSubID;
        reply.send(event);
    });
    server.respond<UnsubscribeMessage>([](const UnsubscribeMessage& m, Reply& reply) {
        SubscriptionEventMessage event;
        event.contents.sub = m.sub;
        event.contents.clSubID = m.clSubID;
        reply.send(event);
    });
    server.respond<RequestSnapshotMessage>([](const RequestSnapshotMessage& m, Reply& reply) {
        MktDataMessage data;
        data.mvd.fmID.feedID = m.feedID;
        data.mvd.fmID.marketID = m.markets.at(0);
        data.mvd.isSnapshot = true;
        reply.send(data);
    });
    server.respond<ReplayMessage>([](const ReplayMessage& m, Reply& reply) {
        for (SequenceID_t seq = m.first; seq <= m.last; ++seq) {
            OrderReceivedMessage received;
            received.contents.feedID = m.feedID;
            received.contents.sequenceID = seq;
            reply.send(received);
        }
        ReplayDoneMessage done;
        done.contents.feedID = m.feedID;
        reply.send(done);
    });
    server.respond<BatchRegisterMessage>([](const BatchRegisterMessage& m, Reply& reply) {
        BatchesCompletedMessage completed;
        completed.batchesCompleted = {m.batchDefID};
        reply.send(completed);
    });
    logIn();

    ASSERT_EQ(client.subscribeMD(3, 10, "s1"), APIResult::OK);
    ASSERT_EQ(client.requestSnapshot(3, 10), APIResult::OK);
    ASSERT_EQ(client.replay(9, 71, 73), APIResult::OK);
    MarketID_t markets[] = {0, 10};
    ASSERT_EQ(client.registerMarketComb(3, markets, 2), std::make_pair(APIResult::OK, 1));
    ASSERT_EQ(client.unsubscribeMD(3, 10, "s1"), APIResult::OK);
    ASSERT_EQ(client.unregisterMarketComb(1), APIResult::OK);

    const Timestamp_t before = Orbanex::TimeUtil::now();
    ASSERT_TRUE(pumpUntilCalls(8));
    EXPECT_EQ(handler.calls,
              (std::vector<std::string>{"onSubscriptionEvent", "onMarketData", "onOrderReceived",
                                        "onOrderReceived", "onOrderReceived", "onReplayDone",
                                        "onBatchComplete", "onSubscriptionEvent"}));
    ASSERT_EQ(handler.subscriptionEvents.size(), 2u);
    for (const SubscriptionEvent& e : handler.subscriptionEvents) {
        EXPECT_EQ(e.sub.apiType, APIType::MARKETDATA);
        EXPECT_EQ(e.sub.feedID, 3);
        EXPECT_EQ(e.sub.marketID, 10);
        EXPECT_EQ(e.clSubID, "s1");
    }
    EXPECT_TRUE(handler.marketData[0].isSnapshot);
    EXPECT_EQ(handler.marketData[0].fmID.marketID, 10);
    EXPECT_GE(handler.marketData[0].timeApiClient, before);
    EXPECT_EQ(handler.received.back().sequenceID, 73);
    EXPECT_EQ(client.getSequenceID(9), 73);
    EXPECT_EQ(handler.replays[0].feedID, 9);
    EXPECT_EQ(handler.batches, std::vector<int>{1});

    ASSERT_TRUE(server.waitForMessages(BatchUnregisterMessage::ID));
    const test_support::ConnectionRecord r = server.record().back();
    EXPECT_EQ(r.find(BatchRegisterMessage::ID)->as<BatchRegisterMessage>()->marketIDList,
              (std::vector<int>{0, 10}));
    EXPECT_EQ(r.find(BatchUnregisterMessage::ID)->as<BatchUnregisterMessage>()->batchDefID, 1);
}

TEST_F(ClientImpRequestsServerThreads,
       TestRequestsReachTheServerAndALocalDisconnectEndsTheSession) {
    logIn();
    client.test(APITest::INVOKE_EVENT_REPORT);
    client.test(APITest::FORCE_REMOTE_DISCONNECT);
    client.test(APITest::EXTRA_TEST5);
    ASSERT_TRUE(server.waitForMessages(TestMessage::ID, 2));
    const test_support::ConnectionRecord r = server.record().back();
    EXPECT_EQ(r.find(TestMessage::ID, 0)->as<TestMessage>()->test,
              APITest::FORCE_REMOTE_DISCONNECT);
    EXPECT_EQ(r.find(TestMessage::ID, 1)->as<TestMessage>()->test, APITest::EXTRA_TEST5);

    client.test(APITest::FORCE_LOCAL_DISCONNECT);
    ASSERT_TRUE(pumpUntil([&] { return !client.isConnected(); }));
    EXPECT_EQ(In::exitStatus(session), APIResult::SOCKERR_CLOSED);
    EXPECT_EQ(In::rsock(session), -1);
    EXPECT_TRUE(server.waitFor(
        [](const test_support::TestServer::Record& rec) { return rec.back().closed; }));
    EXPECT_EQ(server.record().back().count(TestMessage::ID), 2u);
}

}  // namespace
