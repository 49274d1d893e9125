#include <boost/make_shared.hpp>
#include <string>

#include "api/CancelAllOrderMessage.h"
#include "api/CancelOrderMessage.h"
#include "api/CancelRejectReason.h"
#include "api/ModifyOrderMessage.h"
#include "api/OrderCancelRejectedMessage.h"
#include "api/OrderRejectedMessage.h"
#include "api/SubmitOrderMessage.h"
#include "client/ClientImp.h"
#include "common/TimeUtil.h"
#include "logging/Log.h"

OX_LOG_DECLARE_LOGGER("API")

namespace ZURAV {

namespace {

typedef boost::lock_guard<boost::mutex> Lock;
typedef std::pair<APIResult::Type, OrderID_t> OrderResult;

// A rejection the session made itself for a request it refused locally. Its type, not its
// values, tells it apart from the server's rejections, whose ids are whatever the server says.
class LocalOrderRejectedMessage : public OrderRejectedMessage {};

// A null text is taken as empty instead of being read.
std::string text(const char* s) { return s != nullptr ? std::string(s) : std::string(); }

// The quote id that carries the order's parameters: {"key":"value",...}, unescaped.
std::string parametersText(const Parameters& parameters) {
    std::string out = "{";
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (i > 0) out += ',';
        out += '"';
        out += parameters[i].key;
        out += "\":\"";
        out += parameters[i].value;
        out += '"';
    }
    out += '}';
    return out;
}

}  // namespace

bool ClientImp::isLocalRejection(const OrderRejectedMessage& msg) {
    return dynamic_cast<const LocalOrderRejectedMessage*>(&msg) != nullptr;
}

void ClientImp::rejectLocally(const char* clOrdID, FeedID_t feedID, MarketID_t marketID,
                              RejectReason::Type reason) {
    const boost::shared_ptr<LocalOrderRejectedMessage> msg =
        boost::make_shared<LocalOrderRejectedMessage>();
    OrderRejected& r = msg->contents;
    r.sequenceID = -1;
    r.orderID = -1;
    r.clOrdID = text(clOrdID);
    r.timeExchange = 0;
    r.timeHandler = 0;
    r.timeApiServer = 0;
    r.timeApiClient = Orbanex::TimeUtil::now();
    r.feedID = feedID;
    r.marketID = marketID;
    r.reason = reason;
    msg->userID = 0;
    callHandler(msg);
}

void ClientImp::rejectCancelLocally(const char* cxlID, OrderID_t orderID, const char* clOrdID) {
    const boost::shared_ptr<OrderCancelRejectedMessage> msg =
        boost::make_shared<OrderCancelRejectedMessage>();
    OrderCancelRejected& r = msg->contents;
    r.sequenceID = -1;
    r.orderID = orderID;
    r.clOrdID = text(clOrdID);
    r.cxlID = text(cxlID);
    r.timeExchange = 0;
    r.timeHandler = 0;
    r.timeApiServer = 0;
    r.timeApiClient = Orbanex::TimeUtil::now();
    r.feedID = -1;
    r.marketID = -1;
    r.reason = CancelRejectReason::UNKNOWN_ORDER;
    msg->userID = 0;
    callHandler(msg);
}

OrderResult ClientImp::submitOrder(const char* clOrdID, FeedID_t feedID, MarketID_t marketID,
                                   Side::Type side, const OXFloat& amount, const OXFloat& price,
                                   const OXFloat& stopPrice, const OXFloat& maxShowAmt,
                                   OrderType::Type ordType, TimeInForce::Type tif,
                                   const Parameters* parameters, const char* quoteID) {
    const FeedLookup feed = lookupFeed(feedID, marketID);
    if (!feed.feed) return OrderResult(APIResult::INVALID_FEED, 0);
    if (!feed.market) return OrderResult(APIResult::INVALID_MARKET, 0);

    const boost::shared_ptr<SubmitOrderMessage> msg = boost::make_shared<SubmitOrderMessage>();
    SubmitOrder& order = msg->contents;
    order.clOrdID = text(clOrdID);
    order.feedID = feedID;
    order.marketID = marketID;
    order.side = side;
    order.amount = amount;
    order.price = price;
    order.stopPrice = stopPrice;
    order.maxShow = maxShowAmt;
    order.ordType = ordType;
    order.timeInForce = tif;
    order.timeApiServer = 0;
    order.timeHandler = 0;
    msg->userID = 0;

    bool duplicate = false;
    OrderID_t orderID = 0;
    {
        Lock lock(_sendlock);
        // No order id can be given before the first accepted login.
        if (!_orderIDs) return OrderResult(APIResult::NOT_CONNECTED, 0);
        duplicate = order.clOrdID.empty() || _clOrdIDs.count(order.clOrdID) != 0;
        if (!duplicate) {
            orderID = _orderIDs->allocate();
            order.orderID = orderID;
            order.timeApiClient = Orbanex::TimeUtil::now();
            _clOrdIDs[order.clOrdID] = orderID;
        }
    }
    if (duplicate) {
        rejectLocally(clOrdID, feedID, marketID, RejectReason::DUPLICATE_ORDER);
        return OrderResult(APIResult::DUPLICATE_CLIENT_ORDERID, 0);
    }

    if (parameters != nullptr && !parameters->empty()) {
        msg->quoteID = parametersText(*parameters);
    } else {
        msg->quoteID = text(quoteID);
    }
    return OrderResult(send(msg), orderID);
}

OrderResult ClientImp::modifyOrder(const char* clOrdID, const char* clNewID, const OXFloat& amount,
                                   const OXFloat& price) {
    const std::string id = text(clOrdID);
    OrderID_t orderID = 0;
    bool found = false;
    {
        Lock lock(_sendlock);
        // As for a new order: nothing to look up before the first accepted login.
        if (!_orderIDs) return OrderResult(APIResult::NOT_CONNECTED, 0);
        const OrderMap::const_iterator it = _clOrdIDs.find(id);
        found = it != _clOrdIDs.end();
        if (found) {
            orderID = it->second;
            if (clNewID != nullptr) _clOrdIDs[clNewID] = orderID;
        }
    }
    if (!found) {
        OX_LOG_WARN("Order " << id << " was not found.");
        rejectLocally(clNewID, -1, -1, RejectReason::UNKNOWN_ORDER);
        return OrderResult(APIResult::INVALID_ORDERID, 0);
    }

    const boost::shared_ptr<ModifyOrderMessage> msg = boost::make_shared<ModifyOrderMessage>();
    ModifyOrder& modify = msg->contents;
    modify.orderID = orderID;
    modify.clOrdID = id;
    modify.clNewID = text(clNewID);
    modify.timeApiClient = Orbanex::TimeUtil::now();
    modify.timeApiServer = 0;
    modify.timeHandler = 0;
    modify.feedID = -1;
    modify.marketID = -1;
    modify.side = Side::BID;
    modify.amount = amount;
    modify.price = price;
    modify.ordType = OrderType::MARKET;
    modify.timeInForce = TimeInForce::GTC;
    msg->userID = 0;
    return OrderResult(send(msg), orderID);
}

APIResult::Type ClientImp::cancelOrder(const char* cxlID, const char* clOrdID) {
    const std::string id = text(clOrdID);
    OrderID_t orderID = 0;
    bool found = false;
    {
        // The client order ids need no order-id allocator: an unknown one is refused locally
        // before the first login too. A known one goes on to the allocator's check below.
        Lock lock(_sendlock);
        const OrderMap::const_iterator it = _clOrdIDs.find(id);
        found = it != _clOrdIDs.end();
        if (found) orderID = it->second;
    }
    if (!found) {
        OX_LOG_WARN("Order " << id << " was not found.");
        rejectCancelLocally(cxlID, -1, clOrdID);
        return APIResult::INVALID_ORDERID;
    }
    return cancelOrder(cxlID, orderID, clOrdID);
}

APIResult::Type ClientImp::cancelOrder(const char* cxlID, OrderID_t orderID) {
    return cancelOrder(cxlID, orderID, "");
}

APIResult::Type ClientImp::cancelOrder(const char* cxlID, OrderID_t orderID, const char* clOrdID) {
    bool live = false;
    {
        Lock lock(_sendlock);
        if (!_orderIDs) return APIResult::NOT_CONNECTED;
        live = _orderIDs->contains(orderID);
    }
    if (!live) {
        rejectCancelLocally(cxlID, orderID, clOrdID);
        return APIResult::INVALID_ORDERID;
    }

    const boost::shared_ptr<CancelOrderMessage> msg = boost::make_shared<CancelOrderMessage>();
    CancelOrder& cancel = msg->contents;
    cancel.orderID = orderID;
    cancel.cxlID = text(cxlID);
    cancel.feedID = 0;
    cancel.marketID = 0;
    cancel.clOrdID = text(clOrdID);
    cancel.timeApiClient = Orbanex::TimeUtil::now();
    cancel.timeApiServer = 0;
    cancel.timeHandler = 0;
    msg->userID = 0;
    return send(msg);
}

APIResult::Type ClientImp::cancelAll(FeedID_t feedID, const char* cxlID) {
    const boost::shared_ptr<CancelAllOrderMessage> msg =
        boost::make_shared<CancelAllOrderMessage>();
    CancelAllOrder& cancel = msg->contents;
    cancel.cxlID = text(cxlID);
    cancel.monitoredOnly = false;  // every field goes out with a defined value
    cancel.timeApiClient = Orbanex::TimeUtil::now();
    cancel.timeApiServer = 0;
    cancel.timeHandler = 0;
    cancel.feedID = feedID;
    msg->userID = 0;
    return send(msg);
}

APIResult::Type ClientImp::cancelAll(const char* cxlID) {
    const std::vector<FeedID_t> feeds = sortedFeedIDs();
    // No feed before a login has configured them (or while run() logs in again): sending
    // nothing is then no success, whereas a logged-in session without feeds has nothing to cancel.
    if (feeds.empty() && !isConnected()) return APIResult::NOT_CONNECTED;
    for (FeedID_t feedID : feeds) {
        const APIResult::Type result = cancelAll(feedID, cxlID);
        if (result != APIResult::OK) return result;
    }
    return APIResult::OK;
}

}  // namespace ZURAV
