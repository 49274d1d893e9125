#include <cstdint>
#include <iostream>
#include <utility>

#include "api/BatchesCompletedMessage.h"
#include "api/DateRolloverMessage.h"
#include "api/DropCopyMessage.h"
#include "api/EventReportMessage.h"
#include "api/HeartbeatMessage.h"
#include "api/LastSequenceIDMessage.h"
#include "api/LockResponseMessage.h"
#include "api/MktDataMessage.h"
#include "api/OrderCancelRejectedMessage.h"
#include "api/OrderCanceledMessage.h"
#include "api/OrderDoneMessage.h"
#include "api/OrderReceivedMessage.h"
#include "api/OrderRejectedMessage.h"
#include "api/OrderSubmittedMessage.h"
#include "api/ReplayDoneMessage.h"
#include "api/RiskResponseMessage.h"
#include "api/SubscriptionEventMessage.h"
#include "api/TradeCaptureMessage.h"
#include "api/TradeLimitDataMessage.h"
#include "client/ClientImp.h"
#include "client/OXHandler.h"
#include "common/TimeUtil.h"

namespace ZURAV {

namespace {

// The record of a message as the session changes it. Every message reaching a handler was made
// by the decoder or by the session and is not const; the generated dispatcher only hands it on
// as const.
template <class T>
T& inPlace(const T& record) {
    return const_cast<T&>(record);
}

// The heartbeat's bit set names at most this many feeds.
constexpr size_t FEED_BITS = 32;

}  // namespace

void ClientImp::handleDefault(const ShpOXMessage& sm) {
    // A login's password masked, as in the logs: standard error often ends up in a file.
    std::cerr << "Handler not implemented for: " << *forLog(sm) << std::endl;
    std::cerr.flush();
}

void ClientImp::handle(const ShpOXMessage&, const SubscriptionEventMessage& msg) {
    if (OXHandler* h = loopHandler()) h->onSubscriptionEvent(msg.contents, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const BatchesCompletedMessage& msg) {
    for (int id : msg.batchesCompleted) onBatchComplete(id);
}

void ClientImp::onBatchComplete(int batchDefID) {
    if (OXHandler* h = loopHandler()) h->onBatchComplete(batchDefID, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const EventReportMessage& msg) {
    if (OXHandler* h = loopHandler()) h->onEventReport(msg.contents, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const ReplayDoneMessage& msg) {
    if (OXHandler* h = loopHandler()) h->onReplayDone(msg.contents, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const DateRolloverMessage& msg) {
    if (OXHandler* h = loopHandler()) h->onDateRollover(msg.contents, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const MktDataMessage& msg) {
    MarketView& view = inPlace(msg.mvd);
    view.timeApiClient = Orbanex::TimeUtil::now();
    if (OXHandler* h = loopHandler()) h->onMarketData(view, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const HeartbeatMessage& msg) {
    OXHandler* const h = loopHandler();
    if (h == nullptr) return;
    Heartbeat heartbeat = msg.contents;
    if (heartbeat.activeFeeds.empty()) {
        // Bit i stands for the i-th configured feed in ascending order of id.
        const std::vector<FeedID_t> feeds = sortedFeedIDs();
        const uint32_t bits = static_cast<uint32_t>(msg.feedSeqID);
        for (size_t i = 0; i < feeds.size() && i < FEED_BITS; ++i) {
            if ((bits >> i) & 1u) heartbeat.activeFeeds.push_back(feeds[i]);
        }
    }
    h->onHeartbeat(heartbeat, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const OrderReceivedMessage& msg) {
    OrderReceived& r = inPlace(msg.contents);
    r.timeApiClient = Orbanex::TimeUtil::now();
    updateLastSequenceID(r.feedID, r.sequenceID);
    if (OXHandler* h = loopHandler()) h->onOrderReceived(r, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const OrderSubmittedMessage& msg) {
    OrderSubmitted& r = inPlace(msg.contents);
    r.timeApiClient = Orbanex::TimeUtil::now();
    updateLastSequenceID(r.feedID, r.sequenceID);
    if (OXHandler* h = loopHandler()) h->onOrderSubmitted(r, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const OrderRejectedMessage& msg) {
    OrderRejected& r = inPlace(msg.contents);
    // A rejection of the session's own making names the client order id of the refused request,
    // which may be that of a live order: releasing it would free the id of that order.
    if (!isLocalRejection(msg)) releaseOrder(r.orderID, r.clOrdID);
    r.timeApiClient = Orbanex::TimeUtil::now();
    updateLastSequenceID(r.feedID, r.sequenceID);
    if (OXHandler* h = loopHandler()) h->onOrderRejected(r, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const OrderCanceledMessage& msg) {
    OrderCanceled& r = inPlace(msg.contents);
    releaseOrder(r.orderID, r.clOrdID);
    r.timeApiClient = Orbanex::TimeUtil::now();
    updateLastSequenceID(r.feedID, r.sequenceID);
    if (OXHandler* h = loopHandler()) h->onOrderCanceled(r, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const OrderDoneMessage& msg) {
    OrderDone& r = inPlace(msg.contents);
    releaseOrder(r.orderID, r.clOrdID);
    r.timeApiClient = Orbanex::TimeUtil::now();
    updateLastSequenceID(r.feedID, r.sequenceID);
    if (OXHandler* h = loopHandler()) h->onOrderDone(r, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const OrderCancelRejectedMessage& msg) {
    OrderCancelRejected& r = inPlace(msg.contents);
    r.timeApiClient = Orbanex::TimeUtil::now();
    updateLastSequenceID(r.feedID, r.sequenceID);
    if (OXHandler* h = loopHandler()) h->onOrderCancelRejected(r, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const TradeCaptureMessage& msg) {
    TradeCapture& r = inPlace(msg.contents);
    r.timeApiClient = Orbanex::TimeUtil::now();
    updateLastSequenceID(r.feedID, r.sequenceID);
    if (OXHandler* h = loopHandler()) h->onTradeCapture(r, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const DropCopyMessage& msg) {
    DropCopy& r = inPlace(msg.contents);
    r.timeApiClient = Orbanex::TimeUtil::now();
    setOrigFeedSequenceID(msg.origFeedSequenceID);
    updateLastSequenceID(r.feedID, r.sequenceID);
    if (OXHandler* h = loopHandler()) h->onDropCopy(r, *_parent);
}

void ClientImp::handle(const ShpOXMessage&, const TradeLimitDataMessage&) {}

void ClientImp::handle(const ShpOXMessage& sm, const RiskResponseMessage&) { handleDefault(sm); }

void ClientImp::handle(const ShpOXMessage& sm, const LockResponseMessage&) { handleDefault(sm); }

void ClientImp::releaseOrder(OrderID_t orderID, const std::string& clOrdID) {
    boost::lock_guard<boost::mutex> lock(_sendlock);
    // Before the first accepted login there is no set of live ids to take the id from.
    if (_orderIDs) _orderIDs->remove(orderID);
    _clOrdIDs.erase(clOrdID);
}

// The sequence ids are written by the loop and read by the application's threads: the map would
// be read while it rebalances without the sequence lock.
SequenceID_t ClientImp::getSequenceID(FeedID_t feedID) {
    boost::lock_guard<boost::mutex> lock(_seqlock);
    const FeedSequenceIDMap::const_iterator it = _feedSeqIDMap.find(feedID);
    return it == _feedSeqIDMap.end() ? -2 : it->second;
}

SequenceID_t ClientImp::getOrigFeedSequenceID() const {
    boost::lock_guard<boost::mutex> lock(_seqlock);
    return _lastOrigFeedSequenceID;
}

void ClientImp::updateLastSequenceID(FeedID_t feedID, SequenceID_t sequenceID) {
    boost::lock_guard<boost::mutex> lock(_seqlock);
    const FeedSequenceIDMap::iterator it = _feedSeqIDMap.find(feedID);
    if (it == _feedSeqIDMap.end()) {
        _feedSeqIDMap.insert(std::make_pair(feedID, sequenceID));
    } else if (it->second < sequenceID) {
        it->second = sequenceID;
    }
}

void ClientImp::setLastSequenceID(FeedID_t feedID, SequenceID_t sequenceID) {
    boost::lock_guard<boost::mutex> lock(_seqlock);
    _feedSeqIDMap[feedID] = sequenceID;
}

void ClientImp::handle(const ShpOXMessage&, const LastSequenceIDMessage& msg) {
    setLastSequenceID(msg.feedID, msg.sequenceID);
}

void ClientImp::setOrigFeedSequenceID(SequenceID_t sequenceID) {
    boost::lock_guard<boost::mutex> lock(_seqlock);
    _lastOrigFeedSequenceID = sequenceID;
}

}  // namespace ZURAV
