#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Before the first accepted login there are no order ids: nothing is given, recorded or queued.
TEST_F(ClientImpOrders, BeforeTheFirstLoginOrderEntryIsNotConnected) {
    session.setConnected(true);  // even with the connection up
    EXPECT_EQ(order("A"), std::make_pair(APIResult::NOT_CONNECTED, OrderID_t(0)));
    EXPECT_EQ(order("A", 77), std::make_pair(APIResult::INVALID_FEED, OrderID_t(0)));
    EXPECT_EQ(client.modifyOrder("A", "B", AMOUNT, PRICE),
              std::make_pair(APIResult::NOT_CONNECTED, OrderID_t(0)));
    EXPECT_EQ(client.cancelOrder("X", "A"), APIResult::NOT_CONNECTED);
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
}

}  // namespace
