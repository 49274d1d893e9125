#include <algorithm>
#include <cstring>

#include "api/ConfigMessage.h"
#include "client/ClientImp.h"

namespace ZURAV {

typedef boost::lock_guard<boost::mutex> Lock;

void ClientImp::handle(const ShpOXMessage&, const ConfigMessage& msg) {
    Lock lock(_cfglock);
    for (const APIFeed& feed : msg.feedsList) {
        const FeedIDMap::const_iterator known = _feedIDMap.find(feed.feedID);
        if (known == _feedIDMap.end()) {
            _feeds.push_back(feed);
            _feedIDMap[feed.feedID] = static_cast<int>(_feeds.size() - 1);
            _sortedFeedIDs.push_back(feed.feedID);
        } else {
            // A known feed only brings more markets; its name and flags stay the first ones.
            std::vector<APIMarket>& markets = _feeds[known->second].marketList;
            markets.insert(markets.end(), feed.marketList.begin(), feed.marketList.end());
        }
    }
    std::sort(_sortedFeedIDs.begin(), _sortedFeedIDs.end());
}

const APIFeed* ClientImp::getFeeds(int& n) {
    Lock lock(_cfglock);
    n = static_cast<int>(_feeds.size());
    return _feeds.empty() ? nullptr : &_feeds[0];
}

const APIFeed* ClientImp::getFeedByName(const char* name) {
    if (name == nullptr) return nullptr;
    Lock lock(_cfglock);
    for (const APIFeed& feed : _feeds) {
        if (feed.name == name) return &feed;
    }
    return nullptr;
}

const APIFeed* ClientImp::getFeedByID(FeedID_t feedID) {
    Lock lock(_cfglock);
    const FeedIDMap::const_iterator it = _feedIDMap.find(feedID);
    return it == _feedIDMap.end() ? nullptr : &_feeds[it->second];
}

const APIMarket* ClientImp::getMarketByName(const APIFeed& feed, const char* name) {
    if (name == nullptr) return nullptr;
    Lock lock(_cfglock);
    for (const APIMarket& market : feed.marketList) {
        if (market.name == name) return &market;
    }
    return nullptr;
}

const APIMarket* ClientImp::getMarketByID(const APIFeed& feed, MarketID_t marketID) {
    Lock lock(_cfglock);
    for (const APIMarket& market : feed.marketList) {
        if (market.marketID == marketID) return &market;
    }
    return nullptr;
}

ClientImp::FeedLookup ClientImp::lookupFeed(FeedID_t feedID, MarketID_t marketID) const {
    FeedLookup result;
    Lock lock(_cfglock);
    const FeedIDMap::const_iterator it = _feedIDMap.find(feedID);
    if (it == _feedIDMap.end()) return result;
    const APIFeed& feed = _feeds[it->second];
    result.feed = true;
    result.flags = feed.flags;
    for (const APIMarket& market : feed.marketList) {
        if (market.marketID == marketID) {
            result.market = true;
            break;
        }
    }
    return result;
}

bool ClientImp::feedHasMarkets(FeedID_t feedID, const std::vector<MarketID_t>& marketIDs) const {
    Lock lock(_cfglock);
    const FeedIDMap::const_iterator it = _feedIDMap.find(feedID);
    if (it == _feedIDMap.end()) return false;
    const std::vector<APIMarket>& markets = _feeds[it->second].marketList;
    if (markets.empty()) return false;
    for (MarketID_t id : marketIDs) {
        const bool found = std::any_of(markets.begin(), markets.end(),
                                       [id](const APIMarket& m) { return m.marketID == id; });
        if (!found) return false;
    }
    return true;
}

std::vector<FeedMarketID> ClientImp::marketDataMarkets() const {
    std::vector<FeedMarketID> result;
    Lock lock(_cfglock);
    for (const APIFeed& feed : _feeds) {
        if ((feed.flags & MARKET_DATA_FLAG) == 0) continue;
        for (const APIMarket& market : feed.marketList) {
            FeedMarketID id;
            id.marketID = market.marketID;
            id.feedID = market.feedID;
            result.push_back(id);
        }
    }
    return result;
}

std::vector<FeedID_t> ClientImp::sortedFeedIDs() const {
    Lock lock(_cfglock);
    return _sortedFeedIDs;
}

void ClientImp::clearConfiguration() {
    Lock lock(_cfglock);
    _feeds.clear();
    _sortedFeedIDs.clear();
    _feedIDMap.clear();
}

}  // namespace ZURAV
