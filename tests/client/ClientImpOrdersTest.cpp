#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConsoleLog.h"
#include "HandlerFixtures.h"
#include "common/TimeUtil.h"

namespace {

using namespace ZURAV;
typedef ClientImpInspector In;

const OrderID_t S3 = OrderID_t(3) << 40;  // the first order id of session 3
const OXFloat AMOUNT(int64_t(1000000) * 1000000000);
const OXFloat PRICE(int64_t(1234500000));
const OXFloat STOP(int64_t(1200000000));
const OXFloat SHOW(int64_t(500000) * 1000000000);

class ClientImpOrders : public SessionOverSocketPair {
  protected:
    std::pair<APIResult::Type, OrderID_t> order(const char* clOrdID, FeedID_t feed = 3,
                                                MarketID_t market = 10) {
        return client.submitOrder(clOrdID, feed, market, Side::BID, AMOUNT, PRICE,
                                  OrderType::MARKET, TimeInForce::GTC);
    }
};

TEST_F(ClientImpOrders, ANewOrderGoesOutWithItsOwnIdAndIsRecorded) {
    logIn(3);
    const Timestamp_t before = Orbanex::TimeUtil::now();
    const std::pair<APIResult::Type, OrderID_t> first = client.submitOrder(
        "A", 3, 10, Side::OFR, AMOUNT, PRICE, STOP, SHOW, static_cast<OrderType::Type>(2),
        static_cast<TimeInForce::Type>(3), "quote-7");
    const Timestamp_t after = Orbanex::TimeUtil::now();
    EXPECT_EQ(first, std::make_pair(APIResult::OK, S3));

    const SubmitOrderMessage msg = only<SubmitOrderMessage>();
    EXPECT_EQ(msg.userID, 0);
    EXPECT_EQ(msg.quoteID, "quote-7");
    EXPECT_EQ(msg.onBehalfOfCompID, "");
    EXPECT_EQ(msg.modelID, "");
    const SubmitOrder& o = msg.contents;
    EXPECT_EQ(o.orderID, S3);
    EXPECT_EQ(o.clOrdID, "A");
    EXPECT_GE(o.timeApiClient, before);
    EXPECT_LE(o.timeApiClient, after);
    EXPECT_EQ(o.timeApiServer, 0);
    EXPECT_EQ(o.timeHandler, 0);
    EXPECT_EQ(o.feedID, 3);
    EXPECT_EQ(o.marketID, 10);
    EXPECT_EQ(o.side, Side::OFR);
    EXPECT_TRUE(o.amount == AMOUNT);
    EXPECT_TRUE(o.price == PRICE);
    EXPECT_EQ(o.ordType, 2);
    EXPECT_EQ(o.timeInForce, 3);
    EXPECT_TRUE(o.stopPrice == STOP);
    EXPECT_TRUE(o.maxShow == SHOW);

    EXPECT_EQ(order("B"), std::make_pair(APIResult::OK, S3 + 1));
    EXPECT_EQ(only<SubmitOrderMessage>().contents.orderID, S3 + 1);
    EXPECT_EQ(In::clOrdIDs(session), (std::map<std::string, OrderID_t>{{"A", S3}, {"B", S3 + 1}}));
    EXPECT_TRUE(In::isLive(session, S3));
    EXPECT_TRUE(In::isLive(session, S3 + 1));
}

// The facade's overloads fill in what they do not take; parameters win over a quote id.
TEST_F(ClientImpOrders, TheQuoteIdCarriesTheParametersOrTheGivenText) {
    logIn();
    const Parameters none;
    const Parameters two = {KeyValue("a", "1"), KeyValue("b", "2")};
    struct Case {
        const char* name;
        std::function<std::pair<APIResult::Type, OrderID_t>(const char*)> submit;
        std::string quoteID;
        bool defaults;  // stop price and shown amount left to the facade
    };
    const Case cases[] = {
        {"no quote",
         [&](const char* id) {
             return client.submitOrder(id, 3, 10, Side::BID, AMOUNT, PRICE, OrderType::MARKET,
                                       TimeInForce::GTC);
         },
         "", true},
        {"quote id",
         [&](const char* id) {
             return client.submitOrder(id, 3, 10, Side::BID, AMOUNT, PRICE, STOP, SHOW,
                                       OrderType::MARKET, TimeInForce::GTC, "Q");
         },
         "Q", false},
        {"stop price, no quote",
         [&](const char* id) {
             return client.submitOrder(id, 3, 10, Side::BID, AMOUNT, PRICE, STOP, SHOW,
                                       OrderType::MARKET, TimeInForce::GTC);
         },
         "", false},
        {"two parameters",
         [&](const char* id) {
             return client.submitOrder(id, 3, 10, Side::BID, AMOUNT, PRICE, STOP, SHOW,
                                       OrderType::MARKET, TimeInForce::GTC, &two);
         },
         "{\"a\":\"1\",\"b\":\"2\"}", false},
        {"no parameters",
         [&](const char* id) {
             return client.submitOrder(id, 3, 10, Side::BID, AMOUNT, PRICE, STOP, SHOW,
                                       OrderType::MARKET, TimeInForce::GTC, &none);
         },
         "", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string id = "order" + std::to_string(n++);
        EXPECT_EQ(c.submit(id.c_str()).first, APIResult::OK);
        const SubmitOrderMessage msg = only<SubmitOrderMessage>();
        EXPECT_EQ(msg.quoteID, c.quoteID);
        EXPECT_EQ(msg.contents.stopPrice == OXFloat::NA, c.defaults);
        EXPECT_EQ(msg.contents.maxShow == OXFloat::NA, c.defaults);
    }

    // Both given: the parameters go, the quote id does not.
    EXPECT_EQ(session
                  .submitOrder("both", 3, 10, Side::BID, AMOUNT, PRICE, STOP, SHOW,
                               OrderType::MARKET, TimeInForce::GTC, &two, "Q")
                  .first,
              APIResult::OK);
    EXPECT_EQ(only<SubmitOrderMessage>().quoteID, "{\"a\":\"1\",\"b\":\"2\"}");
}

TEST_F(ClientImpOrders, RefusedOrdersSendNothingAndRecordNothing) {
    logIn();
    install();  // without a handler the rejections would stay queued
    struct Case {
        const char* clOrdID;
        FeedID_t feed;
        MarketID_t market;
        APIResult::Type result;
        bool rejection;  // a rejection of the client's own making is queued
    };
    const Case cases[] = {
        {"A", 77, 10, APIResult::INVALID_FEED, false},
        {"A", 3, 30, APIResult::INVALID_MARKET, false},
        {"", 77, 10, APIResult::INVALID_FEED, false},  // the feed is looked at first
        {"", 3, 10, APIResult::DUPLICATE_CLIENT_ORDERID, true},
        {nullptr, 3, 10, APIResult::DUPLICATE_CLIENT_ORDERID, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.clOrdID ? c.clOrdID : "null") << ' ' << c.feed << ' ' << c.market);
        EXPECT_EQ(order(c.clOrdID, c.feed, c.market), std::make_pair(c.result, OrderID_t(0)));
        EXPECT_TRUE(sent().empty());
        EXPECT_TRUE(In::clOrdIDs(session).empty());
        EXPECT_EQ(In::deferredCount(session), c.rejection ? 1u : 0u);
        runDeferred();
    }
    // No id was used up.
    EXPECT_EQ(order("A"), std::make_pair(APIResult::OK, S3));
}

TEST_F(ClientImpOrders, AReusedClientOrderIdIsRejectedLocallyAndTheLiveOrderKeepsIt) {
    logIn();
    install();
    ASSERT_EQ(order("A"), std::make_pair(APIResult::OK, S3));
    sent();

    const Timestamp_t before = Orbanex::TimeUtil::now();
    EXPECT_EQ(order("A", 3, 0), std::make_pair(APIResult::DUPLICATE_CLIENT_ORDERID, OrderID_t(0)));
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(handler.calls.empty());  // delivered by the loop, after the call
    runDeferred();

    ASSERT_EQ(handler.rejected.size(), 1u);
    const OrderRejected& r = handler.rejected[0];
    EXPECT_EQ(r.sequenceID, -1);
    EXPECT_EQ(r.orderID, -1);
    EXPECT_EQ(r.clOrdID, "A");
    EXPECT_EQ(r.modelID, "");
    EXPECT_EQ(r.timeExchange, 0);
    EXPECT_EQ(r.timeHandler, 0);
    EXPECT_EQ(r.timeApiServer, 0);
    EXPECT_GE(r.timeApiClient, before);
    EXPECT_EQ(r.feedID, 3);
    EXPECT_EQ(r.marketID, 0);
    EXPECT_EQ(r.reason, RejectReason::DUPLICATE_ORDER);
    EXPECT_EQ(handler.clients[0], &client);
    EXPECT_EQ(client.getSequenceID(3), -1);  // a feed without a sequence id gets -1

    // The rejection released nothing: the live order is still known by its client order id.
    EXPECT_EQ(In::clOrdIDs(session).at("A"), S3);
    EXPECT_TRUE(In::isLive(session, S3));
    EXPECT_EQ(client.cancelOrder("X", "A"), APIResult::OK);
    EXPECT_EQ(only<CancelOrderMessage>().contents.orderID, S3);
    EXPECT_EQ(order("A").first, APIResult::DUPLICATE_CLIENT_ORDERID);
}

TEST_F(ClientImpOrders, AModifiedOrderIsKnownByBothClientOrderIds) {
    logIn();
    ASSERT_EQ(order("A"), std::make_pair(APIResult::OK, S3));
    sent();
    const OXFloat amount(int64_t(7) * 1000000000);
    const OXFloat price(int64_t(1300000000));
    const Timestamp_t before = Orbanex::TimeUtil::now();
    EXPECT_EQ(client.modifyOrder("A", "B", amount, price), std::make_pair(APIResult::OK, S3));

    const ModifyOrderMessage msg = only<ModifyOrderMessage>();
    EXPECT_EQ(msg.userID, 0);
    const ModifyOrder& m = msg.contents;
    EXPECT_EQ(m.orderID, S3);
    EXPECT_EQ(m.clOrdID, "A");
    EXPECT_EQ(m.clNewID, "B");
    EXPECT_GE(m.timeApiClient, before);
    EXPECT_EQ(m.timeApiServer, 0);
    EXPECT_EQ(m.timeHandler, 0);
    EXPECT_EQ(m.feedID, -1);
    EXPECT_EQ(m.marketID, -1);
    EXPECT_EQ(m.side, Side::BID);
    EXPECT_TRUE(m.amount == amount);
    EXPECT_TRUE(m.price == price);
    EXPECT_EQ(m.ordType, OrderType::MARKET);
    EXPECT_EQ(m.timeInForce, TimeInForce::GTC);

    for (const char* id : {"A", "B"}) {
        SCOPED_TRACE(id);
        const Timestamp_t start = Orbanex::TimeUtil::now();
        EXPECT_EQ(client.cancelOrder("X1", id), APIResult::OK);
        const CancelOrderMessage cancel = only<CancelOrderMessage>();
        EXPECT_EQ(cancel.userID, 0);
        EXPECT_EQ(cancel.contents.orderID, S3);
        EXPECT_EQ(cancel.contents.cxlID, "X1");
        EXPECT_EQ(cancel.contents.clOrdID, id);
        EXPECT_EQ(cancel.contents.feedID, 0);
        EXPECT_EQ(cancel.contents.marketID, 0);
        EXPECT_GE(cancel.contents.timeApiClient, start);
        EXPECT_EQ(cancel.contents.timeApiServer, 0);
        EXPECT_EQ(cancel.contents.timeHandler, 0);
    }
    // By order id: no client order id goes with it.
    EXPECT_EQ(client.cancelOrder("X2", S3), APIResult::OK);
    EXPECT_EQ(only<CancelOrderMessage>().contents.clOrdID, "");

    // A null new id changes nothing in the record.
    EXPECT_EQ(client.modifyOrder("B", nullptr, amount, price), std::make_pair(APIResult::OK, S3));
    EXPECT_EQ(only<ModifyOrderMessage>().contents.clNewID, "");
    EXPECT_EQ(In::clOrdIDs(session).size(), 2u);
}

TEST_F(ClientImpOrders, UnknownOrdersAreRefusedLocallyWithTheRequestsIds) {
    logIn();
    install();
    ASSERT_EQ(order("A").first, APIResult::OK);
    const OrderID_t finished = S3;
    OrderDoneMessage doneMsg;
    doneMsg.contents.orderID = finished;
    doneMsg.contents.clOrdID = "A";
    deliver(doneMsg);
    sent();
    handler.calls.clear();

    EXPECT_EQ(client.modifyOrder("nope", "new", AMOUNT, PRICE),
              std::make_pair(APIResult::INVALID_ORDERID, OrderID_t(0)));
    EXPECT_EQ(client.modifyOrder("nope", nullptr, AMOUNT, PRICE).first, APIResult::INVALID_ORDERID);
    EXPECT_EQ(client.cancelOrder("X1", "A"), APIResult::INVALID_ORDERID);  // done: forgotten
    EXPECT_EQ(client.cancelOrder("X2", finished), APIResult::INVALID_ORDERID);
    EXPECT_TRUE(sent().empty());
    EXPECT_FALSE(In::clOrdIDs(session).count("new"));
    runDeferred();

    EXPECT_EQ(handler.calls,
              (std::vector<std::string>{"onOrderRejected", "onOrderRejected",
                                        "onOrderCancelRejected", "onOrderCancelRejected"}));
    ASSERT_EQ(handler.rejected.size(), 2u);
    EXPECT_EQ(handler.rejected[0].clOrdID, "new");  // the new id, as the request named it
    EXPECT_EQ(handler.rejected[1].clOrdID, "");
    for (const OrderRejected& r : handler.rejected) {
        EXPECT_EQ(r.orderID, -1);
        EXPECT_EQ(r.sequenceID, -1);
        EXPECT_EQ(r.feedID, -1);
        EXPECT_EQ(r.marketID, -1);
        EXPECT_EQ(r.reason, RejectReason::UNKNOWN_ORDER);
    }
    ASSERT_EQ(handler.cancelRejected.size(), 2u);
    const OrderCancelRejected& byId = handler.cancelRejected[0];
    EXPECT_EQ(byId.orderID, -1);
    EXPECT_EQ(byId.clOrdID, "A");
    EXPECT_EQ(byId.cxlID, "X1");
    const OrderCancelRejected& byOrder = handler.cancelRejected[1];
    EXPECT_EQ(byOrder.orderID, finished);
    EXPECT_EQ(byOrder.clOrdID, "");
    EXPECT_EQ(byOrder.cxlID, "X2");
    for (const OrderCancelRejected& r : handler.cancelRejected) {
        EXPECT_EQ(r.sequenceID, -1);
        EXPECT_EQ(r.exOrdID, "");
        EXPECT_EQ(r.modelID, "");
        EXPECT_EQ(r.timeExchange, 0);
        EXPECT_EQ(r.timeHandler, 0);
        EXPECT_EQ(r.timeApiServer, 0);
        EXPECT_GT(r.timeApiClient, 0);
        EXPECT_EQ(r.feedID, -1);
        EXPECT_EQ(r.marketID, -1);
        EXPECT_EQ(r.reason, CancelRejectReason::UNKNOWN_ORDER);
    }
}

TEST_F(ClientImpOrders, OnlyAnUnknownClientOrderIdIsLogged) {
    logIn();
    const ConsoleLog log;
    client.modifyOrder("nope", "new", AMOUNT, PRICE);
    client.cancelOrder("X", "gone");
    client.cancelOrder("X", OrderID_t(99));
    EXPECT_EQ(log.count(":WARN:Order nope was not found.\n"), 1u);
    EXPECT_EQ(log.count(":WARN:Order gone was not found.\n"), 1u);
    EXPECT_EQ(log.count(":WARN:"), 2u);
}

// Before the first accepted login there are no order ids: nothing is given, recorded or queued
// by the requests that need them.
TEST_F(ClientImpOrders, BeforeTheFirstLoginOrderEntryIsNotConnected) {
    session.setConnected(true);  // even with the connection up
    EXPECT_EQ(order("A"), std::make_pair(APIResult::NOT_CONNECTED, OrderID_t(0)));
    EXPECT_EQ(order("A", 77), std::make_pair(APIResult::INVALID_FEED, OrderID_t(0)));
    EXPECT_EQ(client.modifyOrder("A", "B", AMOUNT, PRICE),
              std::make_pair(APIResult::NOT_CONNECTED, OrderID_t(0)));
    EXPECT_EQ(client.cancelOrder("X", OrderID_t(5)), APIResult::NOT_CONNECTED);
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(In::clOrdIDs(session).empty());
    EXPECT_EQ(In::deferredCount(session), 0u);

    // A report arriving now has no live set to leave, and is passed on.
    install();
    OrderCanceledMessage canceled;
    canceled.contents.orderID = 17;
    canceled.contents.clOrdID = "A";
    deliver(canceled);
    EXPECT_EQ(handler.canceled.size(), 1u);
    EXPECT_FALSE(In::hasOrderIDs(session));
}

// A cancellation by client order id looks the id up without the order ids: an unknown one is
// refused locally, as after a login.
TEST_F(ClientImpOrders, BeforeTheFirstLoginACancelByAnUnknownClientOrderIdIsRefusedLocally) {
    install();
    const ConsoleLog log;
    EXPECT_EQ(client.cancelOrder("X", "A"), APIResult::INVALID_ORDERID);
    EXPECT_EQ(log.count(":WARN:Order A was not found.\n"), 1u) << log.text();
    EXPECT_TRUE(sent().empty());
    runDeferred();
    EXPECT_EQ(handler.calls, std::vector<std::string>{"onOrderCancelRejected"});
    ASSERT_EQ(handler.cancelRejected.size(), 1u);
    const OrderCancelRejected& r = handler.cancelRejected[0];
    EXPECT_EQ(r.orderID, -1);
    EXPECT_EQ(r.clOrdID, "A");
    EXPECT_EQ(r.cxlID, "X");
    EXPECT_EQ(r.sequenceID, -1);
    EXPECT_EQ(r.reason, CancelRejectReason::UNKNOWN_ORDER);
    EXPECT_FALSE(In::hasOrderIDs(session));
}

TEST_F(ClientImpOrders, AFailedSendKeepsTheOrdersIds) {
    logIn();
    In::requestStop(session);
    EXPECT_EQ(order("A"), std::make_pair(APIResult::IS_STOPPING, S3));
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(In::isLive(session, S3));
    EXPECT_EQ(order("A").first, APIResult::DUPLICATE_CLIENT_ORDERID);
}

// Every login starts new order ids; client order ids of the earlier login stay recorded, and
// their order ids are unknown to the new login.
TEST_F(ClientImpOrders, ANewLoginStartsNewIdsAndKeepsTheClientOrderIds) {
    logIn(3);
    ASSERT_EQ(order("A"), std::make_pair(APIResult::OK, S3));
    logIn(4);
    EXPECT_EQ(order("B"), std::make_pair(APIResult::OK, OrderID_t(4) << 40));
    EXPECT_EQ(order("A").first, APIResult::DUPLICATE_CLIENT_ORDERID);
    sent();
    EXPECT_EQ(client.cancelOrder("X", "A"), APIResult::INVALID_ORDERID);
    EXPECT_TRUE(sent().empty());
}

TEST_F(ClientImpOrders, CancelAllGoesToEveryFeedInAscendingOrder) {
    logIn();
    const Timestamp_t before = Orbanex::TimeUtil::now();
    EXPECT_EQ(client.cancelAll("all"), APIResult::OK);
    const std::vector<ShpOXMessage> frames = sent();
    std::vector<FeedID_t> feeds;
    for (const ShpOXMessage& f : frames) {
        ASSERT_EQ(f->getMsgType(), CancelAllOrderMessage::ID);
        const CancelAllOrderMessage& m = f->getRef<CancelAllOrderMessage>();
        feeds.push_back(m.contents.feedID);
        EXPECT_EQ(m.userID, 0);
        EXPECT_EQ(m.contents.cxlID, "all");
        EXPECT_FALSE(m.contents.monitoredOnly);
        EXPECT_GE(m.contents.timeApiClient, before);
        EXPECT_EQ(m.contents.timeApiServer, 0);
        EXPECT_EQ(m.contents.timeHandler, 0);
    }
    EXPECT_EQ(feeds, (std::vector<FeedID_t>{2, 3, 5, 9}));

    // One feed, not checked.
    EXPECT_EQ(client.cancelAll(77, "one"), APIResult::OK);
    EXPECT_EQ(only<CancelAllOrderMessage>().contents.feedID, 77);

    // The first failure ends it.
    In::requestStop(session);
    EXPECT_EQ(client.cancelAll("late"), APIResult::IS_STOPPING);
}

TEST_F(ClientImpOrders, CancelAllWithoutFeedsSendsNothing) {
    logIn();
    session.clearConfiguration();
    EXPECT_EQ(client.cancelAll("all"), APIResult::OK);
    EXPECT_TRUE(sent().empty());
    // Not logged in (before the first login, or while run() logs in again): nothing was
    // cancelled, and the result says so.
    session.setConnected(false);
    EXPECT_EQ(client.cancelAll("all"), APIResult::NOT_CONNECTED);
    EXPECT_TRUE(sent().empty());
}

// ---- against the test server ----

using test_support::ReceivedFrame;
using test_support::Reply;
class ClientImpOrdersServerThreads : public SessionAgainstServer {
  protected:
    std::pair<APIResult::Type, OrderID_t> order(const char* clOrdID, FeedID_t feed = 3,
                                                MarketID_t market = 10) {
        return client.submitOrder(clOrdID, feed, market, Side::BID, AMOUNT, PRICE,
                                  OrderType::MARKET, TimeInForce::GTC);
    }
};

// One report of the order's progress: its ids, the given sequence id and a client time stamp
// that the client replaces.
template <class Report>
void sendReport(const SubmitOrder& o, SequenceID_t seq, Reply& reply) {
    Report report;
    report.contents.orderID = o.orderID;
    report.contents.clOrdID = o.clOrdID;
    report.contents.feedID = o.feedID;
    report.contents.sequenceID = seq;
    report.contents.timeApiClient = 1;
    reply.send(report);
}

// What a server answers an order with: received, submitted, a trade and done, with the feed's
// next sequence ids.
void fillOrder(const SubmitOrderMessage& order, Reply& reply) {
    sendReport<OrderReceivedMessage>(order.contents, 501, reply);
    sendReport<OrderSubmittedMessage>(order.contents, 502, reply);
    sendReport<TradeCaptureMessage>(order.contents, 503, reply);
    sendReport<OrderDoneMessage>(order.contents, 504, reply);
}

TEST_F(ClientImpOrdersServerThreads, AnOrdersReportsComeBackThroughTheHandlerInOrder) {
    server.respond<SubmitOrderMessage>(fillOrder);
    logIn();
    const OrderID_t first = OrderID_t(sessionID()) << 40;
    ASSERT_GT(sessionID(), 0);
    EXPECT_EQ(client.getSequenceID(3), 500);  // from the login

    std::vector<SequenceID_t> seen;
    handler.inside = [&] { seen.push_back(client.getSequenceID(3)); };
    const Timestamp_t before = Orbanex::TimeUtil::now();
    EXPECT_EQ(client.submitOrder("A", 3, 10, Side::OFR, AMOUNT, PRICE, OrderType::MARKET,
                                 TimeInForce::GTC),
              std::make_pair(APIResult::OK, first));
    ASSERT_TRUE(server.waitForMessages(SubmitOrderMessage::ID));
    const test_support::TestServer::Record record = server.record();
    const SubmitOrderMessage* order =
        record.back().find(SubmitOrderMessage::ID)->as<SubmitOrderMessage>();
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->contents.orderID, first);
    EXPECT_EQ(order->contents.clOrdID, "A");
    EXPECT_EQ(order->contents.feedID, 3);
    EXPECT_EQ(order->contents.marketID, 10);
    EXPECT_EQ(order->contents.side, Side::OFR);
    EXPECT_TRUE(order->contents.amount == AMOUNT);
    EXPECT_TRUE(order->contents.stopPrice == OXFloat::NA);
    EXPECT_GE(order->contents.timeApiClient, before);
    EXPECT_EQ(order->userID, 0);

    ASSERT_TRUE(pumpUntilCalls(4));
    EXPECT_EQ(handler.calls, (std::vector<std::string>{"onOrderReceived", "onOrderSubmitted",
                                                       "onTradeCapture", "onOrderDone"}));
    EXPECT_EQ(seen, (std::vector<SequenceID_t>{501, 502, 503, 504}));
    EXPECT_EQ(handler.received[0].orderID, first);
    EXPECT_EQ(handler.done[0].orderID, first);
    EXPECT_GE(handler.received[0].timeApiClient, before);
    EXPECT_GE(handler.submitted[0].timeApiClient, before);
    EXPECT_GE(handler.trades[0].timeApiClient, before);
    EXPECT_GE(handler.done[0].timeApiClient, before);

    // Done: its ids are free, and the next order takes the next id.
    EXPECT_EQ(client.cancelOrder("X", "A"), APIResult::INVALID_ORDERID);
    EXPECT_EQ(client.submitOrder("A", 3, 10, Side::BID, AMOUNT, PRICE, OrderType::MARKET,
                                 TimeInForce::GTC),
              std::make_pair(APIResult::OK, first + 1));
}

TEST_F(ClientImpOrdersServerThreads, OrdersAreModifiedAndCanceledByEitherId) {
    server.respond<CancelOrderMessage>([](const CancelOrderMessage& cancel, Reply& reply) {
        OrderCanceledMessage canceled;
        canceled.contents.orderID = cancel.contents.orderID;
        canceled.contents.clOrdID = cancel.contents.clOrdID;
        canceled.contents.feedID = 3;
        canceled.contents.sequenceID = 600;
        reply.send(canceled);
    });
    logIn();
    const OrderID_t a = OrderID_t(sessionID()) << 40;
    ASSERT_EQ(order("A").second, a);
    ASSERT_EQ(order("C").second, a + 1);
    EXPECT_EQ(client.modifyOrder("A", "B", AMOUNT, PRICE), std::make_pair(APIResult::OK, a));
    EXPECT_EQ(client.cancelOrder("X1", "A"), APIResult::OK);
    EXPECT_EQ(client.cancelOrder("X2", "B"), APIResult::OK);
    EXPECT_EQ(client.cancelOrder("X3", a + 1), APIResult::OK);

    ASSERT_TRUE(server.waitForMessages(CancelOrderMessage::ID, 3));
    const test_support::ConnectionRecord r = server.record().back();
    const ModifyOrderMessage* modify = r.find(ModifyOrderMessage::ID)->as<ModifyOrderMessage>();
    EXPECT_EQ(modify->contents.orderID, a);
    EXPECT_EQ(modify->contents.clOrdID, "A");
    EXPECT_EQ(modify->contents.clNewID, "B");
    const struct {
        const char* cxlID;
        OrderID_t orderID;
        const char* clOrdID;
    } cancels[] = {{"X1", a, "A"}, {"X2", a, "B"}, {"X3", a + 1, ""}};
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const CancelOrderMessage* c = r.find(CancelOrderMessage::ID, k)->as<CancelOrderMessage>();
        EXPECT_EQ(c->contents.cxlID, cancels[k].cxlID);
        EXPECT_EQ(c->contents.orderID, cancels[k].orderID);
        EXPECT_EQ(c->contents.clOrdID, cancels[k].clOrdID);
    }

    ASSERT_TRUE(pumpUntilCalls(3));
    EXPECT_EQ(handler.canceled.size(), 3u);
    EXPECT_FALSE(In::isLive(session, a));
    EXPECT_FALSE(In::isLive(session, a + 1));
    EXPECT_EQ(In::clOrdIDs(session).count("A") + In::clOrdIDs(session).count("B"), 0u);
    EXPECT_EQ(client.cancelOrder("X4", "C"), APIResult::INVALID_ORDERID);
}

TEST_F(ClientImpOrdersServerThreads, CancelAllReachesTheServerFeedByFeedInAscendingOrder) {
    logIn();
    EXPECT_EQ(client.cancelAll("all"), APIResult::OK);
    ASSERT_TRUE(server.waitForMessages(CancelAllOrderMessage::ID, 4));
    const test_support::ConnectionRecord r = server.record().back();
    std::vector<FeedID_t> feeds;
    for (size_t k = 0; k < 4; ++k) {
        const CancelAllOrderMessage* m =
            r.find(CancelAllOrderMessage::ID, k)->as<CancelAllOrderMessage>();
        feeds.push_back(m->contents.feedID);
        EXPECT_FALSE(m->contents.monitoredOnly);
    }
    EXPECT_EQ(feeds, (std::vector<FeedID_t>{2, 3, 5, 9}));
}

TEST_F(ClientImpOrdersServerThreads, AReusedClientOrderIdNeverReachesTheServer) {
    logIn();
    const OrderID_t a = OrderID_t(sessionID()) << 40;
    ASSERT_EQ(order("A").second, a);
    EXPECT_EQ(order("A", 3, 0), std::make_pair(APIResult::DUPLICATE_CLIENT_ORDERID, OrderID_t(0)));
    // A later request passes the refused one on the wire, if it had gone.
    ASSERT_EQ(client.replay(3, 1, 2), APIResult::OK);
    ASSERT_TRUE(server.waitForMessages(ReplayMessage::ID));
    EXPECT_EQ(server.record().back().count(SubmitOrderMessage::ID), 1u);

    ASSERT_TRUE(pumpUntilCalls(1));
    ASSERT_EQ(handler.rejected.size(), 1u);
    const OrderRejected& r = handler.rejected[0];
    EXPECT_EQ(r.orderID, -1);
    EXPECT_EQ(r.sequenceID, -1);
    EXPECT_EQ(r.clOrdID, "A");
    EXPECT_EQ(r.feedID, 3);
    EXPECT_EQ(r.marketID, 0);
    EXPECT_EQ(r.reason, RejectReason::DUPLICATE_ORDER);
    EXPECT_EQ(client.getSequenceID(3), 500);  // -1 lowers nothing

    EXPECT_EQ(client.cancelOrder("X", "A"), APIResult::OK);
    ASSERT_TRUE(server.waitForMessages(CancelOrderMessage::ID));
    EXPECT_EQ(server.record()
                  .back()
                  .find(CancelOrderMessage::ID)
                  ->as<CancelOrderMessage>()
                  ->contents.orderID,
              a);
}

}  // namespace
