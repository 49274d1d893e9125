#pragma once

#include <unistd.h>

#include <deque>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "api/SubscribeMessage.h"
#include "client/ClientImp.h"

namespace ZURAV {

// The client tests' view of a session's private state, and the one way they hand it a
// connection without connecting: descriptors the session then owns.
struct ClientImpInspector {
    static const ClientImp::OXServer& server(const ClientImp& c, int i) { return c._servers[i]; }
    static int numServers(const ClientImp& c) { return c._numServers; }
    static int currentServer(const ClientImp& c) { return c._currentServer; }
    static bool useHeartbeat(const ClientImp& c) { return c._useHeartbeat; }
    static Timestamp_t sleepTime(const ClientImp& c) { return c._sleepTime; }
    static Timestamp_t timeoutTime(const ClientImp& c) { return c._timeoutTime; }
    static bool debugMessages(const ClientImp& c) { return c._debugMessages; }
    static bool stickySubscriptions(const ClientImp& c) { return c._stickySubscriptions; }
    static bool clearSubscriptionsOnStop(const ClientImp& c) { return c._clearSubscriptionsOnStop; }
    static const Orbanex::Buffer& inbuffer(const ClientImp& c) { return c._inbuffer; }
    static const Orbanex::Buffer& outbuffer(const ClientImp& c) { return c._outbuffer; }
    static int rsock(const ClientImp& c) { return c._rsock; }
    static int wsock(const ClientImp& c) { return c._wsock; }
    static int rpipe(const ClientImp& c) { return c._rpipe; }
    static int wpipe(const ClientImp& c) { return c._wpipe; }
    static APIResult::Type exitStatus(const ClientImp& c) { return c._exitStatus; }
    static void requestStop(ClientImp& c) { c.requestStop(); }

    // The event loop and the login.
    static void setHandler(ClientImp& c, OXHandler* h) {
        boost::lock_guard<boost::mutex> lock(c._runlock);
        c._handler = h;
    }
    // Sets the loop's period (also its ping interval) and its silence time-out, so tests move
    // the loop's time instead of waiting.
    static void setPeriods(ClientImp& c, Timestamp_t sleep, Timestamp_t timeout) {
        c._sleepTime = sleep;
        c._timeoutTime = timeout;
    }
    static std::thread::id dispatchThread(const ClientImp& c) {
        boost::lock_guard<boost::mutex> lock(c._runlock);
        return c._dispatchThreadID;
    }
    static ClientSessionID_t sessionID(const ClientImp& c) { return c._sessionID; }
    static IdAllocator* orderIDs(const ClientImp& c) { return c._orderIDs.get(); }
    static SequenceID_t lastSentSeqNo(const ClientImp& c) { return c._lastSentSeqNo; }
    static void setLastSentSeqNo(ClientImp& c, SequenceID_t n) { c._lastSentSeqNo = n; }
    static void setLastReceivedSeqNo(ClientImp& c, SequenceID_t n) { c._lastReceivedSeqNo = n; }
    static bool logHeartbeatSeqMismatch(const ClientImp& c) { return c._logHeartbeatSeqMismatch; }
    static void setLogHeartbeatSeqMismatch(ClientImp& c, bool on) {
        c._logHeartbeatSeqMismatch = on;
    }
    static const std::deque<ClientImp::PingTime>& pingTimes(const ClientImp& c) {
        return c._pingTimeQueue;
    }
    // Closes the write end of the wake-up pipe, so that the loop's next read of it fails.
    static void breakWakeUpPipe(ClientImp& c) {
        ::close(c._wpipe);
        c._wpipe = -1;
    }

    // ---- order entry, requests and the handler ----

    // The session behind a facade.
    static ClientImp& of(OXClient& client) { return *client.imp; }
    // What an accepted login with that session id leaves: its order ids, and the client
    // connected.
    static void acceptLogin(ClientImp& c, ClientSessionID_t sessionID) {
        {
            boost::lock_guard<boost::mutex> lock(c._sendlock);
            c._sessionID = sessionID;
            c._orderIDs.reset(new IdAllocator(sessionID, 40));
        }
        c.setConnected(true);
    }
    static bool hasOrderIDs(ClientImp& c) {
        boost::lock_guard<boost::mutex> lock(c._sendlock);
        return static_cast<bool>(c._orderIDs);
    }
    static bool isLive(ClientImp& c, OrderID_t id) {
        boost::lock_guard<boost::mutex> lock(c._sendlock);
        return c._orderIDs && c._orderIDs->contains(id);
    }
    static std::map<std::string, OrderID_t> clOrdIDs(ClientImp& c) {
        boost::lock_guard<boost::mutex> lock(c._sendlock);
        return c._clOrdIDs;
    }
    // The remembered subscriptions in key order: {feed, market} and whether marked sent.
    static std::vector<std::pair<std::pair<FeedID_t, MarketID_t>, bool>> sticky(ClientImp& c) {
        std::vector<std::pair<std::pair<FeedID_t, MarketID_t>, bool>> out;
        boost::lock_guard<boost::mutex> lock(c._sendlock);
        for (const ClientImp::StickyMap::value_type& e : c._stickySubscriptionsMap) {
            const bool sent = e.second->getRef<SubscribeMessage>().sticky;
            out.push_back(std::make_pair(std::make_pair(e.first.feedID, e.first.marketID), sent));
        }
        return out;
    }
    // The lock every request takes to frame its message; a test holds it to stop requests there.
    static boost::mutex& sendLock(ClientImp& c) { return c._sendlock; }
    static void setBatchDefID(ClientImp& c, BatchDefID_t id) { c._batchDefID = id; }
    static size_t deferredCount(ClientImp& c) {
        boost::lock_guard<boost::recursive_mutex> lock(c._deferredlock);
        return c._deferred.size();
    }
    // Dispatches the messages the session queued for itself, as the loop does.
    static void dispatchDeferred(ClientImp& c) { c.dispatchDeferred(); }

    // The session reads rfd and writes wfd (the same descriptor for a socket) and closes them.
    static void adopt(ClientImp& c, int rfd, int wfd) {
        c._rsock = rfd;
        c._wsock = wfd;
    }
};

}  // namespace ZURAV
