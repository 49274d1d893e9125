#include <iostream>
#include <utility>

#include "api/LastSequenceIDMessage.h"
#include "client/ClientImp.h"

namespace ZURAV {

void ClientImp::handleDefault(const ShpOXMessage& sm) {
    std::cerr << "Handler not implemented for: " << *sm << std::endl;
    std::cerr.flush();
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
