#include <sys/socket.h>

#include <boost/make_shared.hpp>
#include <cstdint>
#include <vector>

#include "api/BatchRegisterMessage.h"
#include "api/BatchUnregisterMessage.h"
#include "api/ReplayMessage.h"
#include "api/RequestSnapshotMessage.h"
#include "api/SubscribeMessage.h"
#include "api/TestMessage.h"
#include "api/UnsubscribeAllMessage.h"
#include "api/UnsubscribeMessage.h"
#include "client/ClientImp.h"
#include "logging/Log.h"

OX_LOG_DECLARE_LOGGER("API")

namespace ZURAV {

namespace {

typedef boost::lock_guard<boost::mutex> Lock;

// The key of a subscription in the store: order flow has market 0.
FeedMarketID keyOf(FeedID_t feedID, MarketID_t marketID) {
    FeedMarketID key;
    key.marketID = marketID;
    key.feedID = feedID;
    return key;
}

Subscription subscriptionOf(APIType::Type apiType, FeedID_t feedID, MarketID_t marketID) {
    Subscription sub;
    sub.apiType = apiType;
    sub.feedID = feedID;
    sub.marketID = marketID;
    return sub;
}

}  // namespace

APIResult::Type ClientImp::checkSubscription(APIType::Type apiType, FeedID_t feedID,
                                             MarketID_t marketID) const {
    const FeedLookup feed = lookupFeed(feedID, marketID);
    if (!feed.feed) return APIResult::INVALID_FEED;
    if (apiType == APIType::MARKETDATA) {
        if (!feed.market) return APIResult::INVALID_MARKET;
        if ((feed.flags & MARKET_DATA_FLAG) == 0) return APIResult::INVALID_MARKETDATA_FEED;
    } else if (apiType == APIType::TRADING) {
        if ((feed.flags & TRADING_FLAG) == 0) return APIResult::INVALID_TRADING_FEED;
    }
    return APIResult::OK;
}

APIResult::Type ClientImp::subscribe(APIType::Type apiType, FeedID_t feedID, MarketID_t marketID,
                                     const std::string& clSubID) {
    const APIResult::Type checked = checkSubscription(apiType, feedID, marketID);
    if (checked != APIResult::OK) return checked;

    const boost::shared_ptr<SubscribeMessage> msg = boost::make_shared<SubscribeMessage>();
    msg->sub = subscriptionOf(apiType, feedID, marketID);
    msg->clSubID = clSubID;
    msg->sticky = _stickySubscriptions;
    msg->sessionID = 0;
    msg->timestamp = 0;
    const FeedMarketID key = keyOf(feedID, marketID);
    {
        Lock lock(_sendlock);
        if (_stickySubscriptionsMap.count(key) != 0) {
            OX_LOG_WARN("Sending duplicate subscription for stickied "
                        << feedID << '%' << marketID
                        << ". Check code / setStickySubscriptions() arguments.");
        }
    }
    const APIResult::Type result = send(msg);
    if (result != APIResult::OK) return result;

    Lock lock(_sendlock);
    if (msg->sticky) {
        _stickySubscriptionsMap[key] = msg;
    } else {
        _stickySubscriptionsMap.erase(key);
    }
    return APIResult::OK;
}

APIResult::Type ClientImp::unsubscribe(APIType::Type apiType, FeedID_t feedID, MarketID_t marketID,
                                       const std::string& clSubID) {
    const APIResult::Type checked = checkSubscription(apiType, feedID, marketID);
    if (checked != APIResult::OK) return checked;

    const boost::shared_ptr<UnsubscribeMessage> msg = boost::make_shared<UnsubscribeMessage>();
    msg->sub = subscriptionOf(apiType, feedID, marketID);
    msg->clSubID = clSubID;
    msg->sessionID = 0;
    msg->timestamp = 0;
    send(msg);

    Lock lock(_sendlock);
    _stickySubscriptionsMap.erase(keyOf(feedID, marketID));
    return APIResult::OK;
}

APIResult::Type ClientImp::subscribeMD(FeedID_t feedID, MarketID_t marketID,
                                       const std::string& clSubID) {
    return subscribe(APIType::MARKETDATA, feedID, marketID, clSubID);
}

APIResult::Type ClientImp::subscribeMD(FeedID_t feedID, MarketID_t marketID) {
    return subscribe(APIType::MARKETDATA, feedID, marketID, std::string());
}

APIResult::Type ClientImp::subscribeOF(FeedID_t feedID, const std::string& clSubID) {
    return subscribe(APIType::TRADING, feedID, 0, clSubID);
}

APIResult::Type ClientImp::subscribeOF(FeedID_t feedID) {
    return subscribe(APIType::TRADING, feedID, 0, std::string());
}

APIResult::Type ClientImp::subscribeAllMD() {
    for (const FeedMarketID& market : marketDataMarkets()) {
        const APIResult::Type result = subscribeMD(market.feedID, market.marketID);
        if (result != APIResult::OK) return result;
    }
    return APIResult::OK;
}

APIResult::Type ClientImp::unsubscribeMD(FeedID_t feedID, MarketID_t marketID,
                                         const std::string& clSubID) {
    return unsubscribe(APIType::MARKETDATA, feedID, marketID, clSubID);
}

APIResult::Type ClientImp::unsubscribeMD(FeedID_t feedID, MarketID_t marketID) {
    return unsubscribe(APIType::MARKETDATA, feedID, marketID, std::string());
}

APIResult::Type ClientImp::unsubscribeOF(FeedID_t feedID, const std::string& clSubID) {
    return unsubscribe(APIType::TRADING, feedID, 0, clSubID);
}

APIResult::Type ClientImp::unsubscribeOF(FeedID_t feedID) {
    return unsubscribe(APIType::TRADING, feedID, 0, std::string());
}

APIResult::Type ClientImp::unsubscribeAll() {
    const boost::shared_ptr<UnsubscribeAllMessage> msg =
        boost::make_shared<UnsubscribeAllMessage>();
    msg->sessionID = 0;
    msg->timestamp = 0;
    send(msg);

    Lock lock(_sendlock);
    _stickySubscriptionsMap.clear();
    return APIResult::OK;
}

void ClientImp::resendStickySubscriptions(bool atStart) {
    size_t n = 0;
    std::vector<ShpOXMessage> unsent;
    {
        // The marks change under the lock, so a subscribe on another thread that stores or
        // replaces an entry meanwhile never meets a half-marked store.
        Lock lock(_sendlock);
        n = _stickySubscriptionsMap.size();
        for (const StickyMap::value_type& entry : _stickySubscriptionsMap) {
            SubscribeMessage& msg = entry.second->getRef<SubscribeMessage>();
            if (msg.sticky) continue;
            msg.sticky = true;
            unsent.push_back(entry.second);
        }
    }
    if (atStart ? n == 0 : n > 0) OX_LOG_INFO("Sticky resubscribe: " << n);
    for (const ShpOXMessage& msg : unsent) send(msg);
}

void ClientImp::markStickySubscriptionsUnsent() {
    Lock lock(_sendlock);
    for (const StickyMap::value_type& entry : _stickySubscriptionsMap) {
        entry.second->getRef<SubscribeMessage>().sticky = false;
    }
}

void ClientImp::clearStickySubscriptions() {
    Lock lock(_sendlock);
    _stickySubscriptionsMap.clear();
}

APIResult::Type ClientImp::replay(FeedID_t feedID, SequenceID_t fromSequenceID,
                                  SequenceID_t toSequenceID) {
    const boost::shared_ptr<ReplayMessage> msg = boost::make_shared<ReplayMessage>();
    msg->feedID = feedID;
    msg->first = fromSequenceID;
    msg->last = toSequenceID;
    msg->userID = 0;
    return send(msg);
}

APIResult::Type ClientImp::requestSnapshot(FeedID_t feedID, MarketID_t marketID) {
    const boost::shared_ptr<RequestSnapshotMessage> msg =
        boost::make_shared<RequestSnapshotMessage>();
    msg->feedID = feedID;
    msg->markets.push_back(marketID);
    msg->streamID = 0;  // every field goes out with a defined value
    return send(msg);
}

std::pair<APIResult::Type, int> ClientImp::registerMarketComb(FeedID_t feedID,
                                                              const MarketID_t* marketIds,
                                                              int nmarkets) {
    typedef std::pair<APIResult::Type, int> Result;
    if (nmarkets < 1 || _batchDefID.load() < -1) return Result(APIResult::INVALID_BATCHID, -1);
    // A count without a list would be read through a null pointer.
    if (marketIds == nullptr) return Result(APIResult::INVALID_PARAMETER, -1);
    const std::vector<MarketID_t> ids(marketIds, marketIds + nmarkets);
    // Every given id must be a market of the feed; counting matches would let an unknown id
    // through for a feed that lists one of the others twice.
    if (!feedHasMarkets(feedID, ids)) return Result(APIResult::INVALID_PARAMETER, -1);

    // The id is checked and taken in one step, so two threads never get the same one.
    BatchDefID_t last = _batchDefID.load();
    BatchDefID_t next = 0;
    do {
        if (last < -1) return Result(APIResult::INVALID_BATCHID, -1);
        // Wraps from the largest value to the smallest, which ends the ids.
        next = static_cast<BatchDefID_t>(static_cast<uint32_t>(last) + 1u);
    } while (!_batchDefID.compare_exchange_weak(last, next));

    const boost::shared_ptr<BatchRegisterMessage> msg = boost::make_shared<BatchRegisterMessage>();
    msg->feedID = feedID;
    msg->marketIDList.assign(ids.begin(), ids.end());
    msg->batchDefID = next;
    return Result(send(msg), next);
}

APIResult::Type ClientImp::unregisterMarketComb(int batchDefID) {
    const boost::shared_ptr<BatchUnregisterMessage> msg =
        boost::make_shared<BatchUnregisterMessage>();
    msg->batchDefID = batchDefID;
    return send(msg);
}

void ClientImp::requestTest(APITest::Type test) {
    if (test == APITest::FORCE_LOCAL_DISCONNECT) {
        // Shut down for reading, not closed: the loop and the senders still use the
        // descriptor's number, which a close would free for another file to take. The loop
        // meets the end of the stream as if the server had ended it, and closes the connection
        // itself. Closing takes the send lock, so the descriptor stays open meanwhile.
        Lock lock(_sendlock);
        if (_rsock != -1) ::shutdown(_rsock, SHUT_RD);
        return;
    }
    if (test == APITest::INVOKE_EVENT_REPORT) return;
    const boost::shared_ptr<TestMessage> msg = boost::make_shared<TestMessage>();
    msg->test = test;
    send(msg);
}

}  // namespace ZURAV
