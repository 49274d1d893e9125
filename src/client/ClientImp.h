#pragma once

#include <atomic>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "api/APIFeed.h"
#include "api/APIMarket.h"
#include "api/APIResult.h"
#include "api/APITest.h"
#include "api/APIType.h"
#include "api/APITypes.h"
#include "api/FeedMarketID.h"
#include "api/LogLevel.h"
#include "api/MsgHandler.h"
#include "api/OXFloat.h"
#include "api/OXMessage.h"
#include "api/OrderType.h"
#include "api/RejectReason.h"
#include "api/Side.h"
#include "api/TimeInForce.h"
#include "client/IdAllocator.h"
#include "client/OXClient.h"
#include "common/Buffer.h"

struct sockaddr_in;

namespace ZURAV {

class OXHandler;

// The session engine behind an OXClient: one connection to one of one or two configured
// servers, the event loop that runs on the application's thread, the requests that any thread
// may make, and the state they share.
//
// Its member functions live in units by concern, in the order a message travels:
//   ClientImp.cpp          the object: construction, settings, getters, log set-up, log
//   ClientImpFraming.cpp   framing into the output buffer and writing it; cutting the input
//                          buffer into frames and decoding them
//   ClientImpLoop.cpp      the event loop, pings and their answers, the stop request
//   ClientImpConnect.cpp   opening and closing the connection, the login
//   ClientImpIncoming.cpp  the session's handling of incoming messages
//   ClientImpOrders.cpp    order entry
//   ClientImpRequests.cpp  subscriptions and the other requests
//   ClientImpConfig.cpp    the feed and market configuration and its look-ups
//   ClientImpRun.cpp       running a session (run, processEvents, join) and closing it
//
// Locks, outer before inner:
//   _recvlock  before  _sendlock  before  _runlock
//   before the innermost ones, _deferredlock, _connectlock, _cfglock and _seqlock, of which no
//   two are held together.
// The receive lock is held by the event loop for its whole run (handler callbacks included).
// The deferred lock is held only to queue a message or to take one off the queue, never while
// it is handled. Requests and stop() from other threads never wait for the receive lock. No
// handler callback is made with any lock but the receive lock held.
class ClientImp : public MsgHandlerT<ShpOXMessage> {
  public:
    // A configured server; an entry with an empty host is not tried.
    struct OXServer {
        std::string host;
        int port = 0;
    };
    // One ping's round trip, nanoseconds since the epoch.
    struct PingTime {
        Timestamp_t sent = 0;      // the client's send time, echoed by the server
        Timestamp_t atServer = 0;  // the server's time of answering
        Timestamp_t received = 0;  // the client's time of receiving the answer
    };
    typedef std::map<FeedID_t, SequenceID_t> FeedSequenceIDMap;
    typedef std::map<std::string, OrderID_t> OrderMap;  // client order id to order id
    typedef std::map<FeedID_t, int> FeedIDMap;          // feed id to position in _feeds
    typedef std::map<FeedMarketID, ShpOXMessage> StickyMap;

    // What the session's own requests need to know of a feed and one of its markets, read in
    // one go under the configuration lock.
    struct FeedLookup {
        bool feed = false;    // the feed is configured
        bool market = false;  // the market is in the feed's market list
        FeedFlags_t flags = 0;
    };

    static constexpr size_t BUFFER_SIZE = 1048576;
    // The free space a send needs in the output buffer.
    static constexpr size_t BUFFER_MARGIN = 8192;
    static constexpr Timestamp_t SLEEP_TIME = 400000000;     // loop period and ping interval
    static constexpr Timestamp_t TIMEOUT_TIME = 5000000000;  // silence before a time-out
    static constexpr size_t MAX_PING_TIMES = 64;
    // The frame lengths a peer accepts: 10 (the id and time stamp) plus a body of up to 32758.
    static constexpr size_t MIN_FRAME_LENGTH = 10;
    static constexpr size_t MAX_FRAME_LENGTH = 32768;
    // Feed flag bits: the feed carries market data, order flow.
    static constexpr FeedFlags_t MARKET_DATA_FLAG = 2;
    static constexpr FeedFlags_t TRADING_FLAG = 4;
    // What the logs show for a password: the same text whatever the password, even its length.
    static constexpr const char* PASSWORD_MASK = "********";

    // username, password and hostname1 must not be null: std::invalid_argument. hostname2 null
    // means one server. Throws std::runtime_error "Error creating notification pipe." when the
    // wake-up pipe cannot be made.
    ClientImp(OXClient* parent, const char* username, const char* password, const char* hostname1,
              int port1, const char* hostname2, int port2);
    // Closes the wake-up pipe and a connection still open, sending nothing.
    ~ClientImp() override;

    ClientImp(const ClientImp&) = delete;
    ClientImp& operator=(const ClientImp&) = delete;

    // ---- the object (ClientImp.cpp) ----

    void setUseHeartbeat(bool use);
    void setDebug(boolean debug);
    void setStickySubscriptions(boolean sticky);
    void setStickySubscriptions(boolean sticky, boolean clearSubscriptionsOnStop);

    boolean isConnected() const;
    void setConnected(boolean connected);
    boolean isRunning() const;
    // A stop is pending: the session's own or the application's.
    boolean isStopRequested() const;
    void get(int& fd1, int& fd2) const;
    // The API protocol's signature, 32 hexadecimal digits.
    const char* getSignature() const;

    // Configures the process's logging in directory; see OXClient::setlog.
    static APIResult::Type setlog(const char* directory, bool aenable);
    // message (null taken as empty) to the client's log at INFO, and to the server's log at
    // level when the session can send; the send's result is not reported.
    void log(const char* message, LogLevel::Type level);

    // ---- framing into the output buffer (ClientImpFraming.cpp) ----

    // Frames msg behind its header in the output buffer and writes what the connection takes;
    // any thread. IS_STOPPING while a stop is pending (a ClientDisconnectMessage still goes),
    // NOT_CONNECTED before login (the two login messages and pings still go), BUFFER_FULL when
    // the output buffer has less than the margin free, or less than a message that fits a frame
    // needs (its content is dropped and a stop requested), INVALID_PARAMETER for a message no
    // frame can carry (nothing else changes), or the failure of the write.
    APIResult::Type send(const ShpOXMessage& msg);
    // msg as the client's logs and reports show it: msg itself, or for a login a copy whose
    // password is PASSWORD_MASK. Any thread.
    static ShpOXMessage forLog(const ShpOXMessage& msg);
    // Writes what the connection takes of the output buffer. Caller holds the send lock.
    APIResult::Type flushOutBuffer();
    // Wakes the event loop; never blocks.
    void notifySelector();
    // Empties both buffers.
    void clearBuffers();

    // ---- cutting the input into frames (ClientImpFraming.cpp) ----

    // Decodes and dispatches, in order, every complete frame of the input buffer, which the
    // caller has flipped (position at the first undecoded byte, limit at the end of the data).
    // Returns with the position at the first byte of an incomplete frame, or with the buffer
    // flipped empty after a protocol error (PROTOCOL_ERROR recorded, stop requested). Loop's
    // thread, receive lock held; handlers run inside it.
    void decodeMessages();

    // ---- the connection (ClientImpConnect.cpp) ----

    // One pass over the configured servers in order, without delay: the first connectOne that
    // succeeds ends it with OK. Otherwise the last attempt's failure, or COULD_NOT_CONNECT when
    // no server has a host; NOT_CONNECTED once the application's stop is pending.
    APIResult::Type connectMany();
    // One attempt: forgets the session's own stop request, the configuration and the buffers,
    // opens the connection (or takes the descriptors of a host "pipes:<read>,<write>") and sends
    // the two login messages. The TCP connection is awaited without blocking: given up after the
    // time-out period (with heartbeats off, when the system gives up), and at once for the
    // application's stop. On failure the connection is closed: SOCKERR_DNS, SOCKERR_CREATE,
    // SOCKERR_CONNECT, NOT_CONNECTED (the application's stop), or the failure of a send.
    APIResult::Type connectOne(const std::string& host, int port);
    // closeSockets() for a connection ended on purpose: first an end of stream behind what was
    // written, and the input not read yet discarded. A socket closed with unread input is reset,
    // and a reset makes the server drop what it has not read yet: the goodbye and the last
    // requests. Does not wait for the server.
    void closeSocketsInOrder();
    // Closes the connection's descriptors (one socket closed once in TCP mode, both in
    // descriptor-pair mode) and leaves both at -1; does not change isConnected().
    void closeSockets();

    // ---- the login (ClientImpConnect.cpp) ----

    // One pass over the configured servers: connects to the first that takes the login
    // messages and runs the event loop on the calling thread until the login answer. A login
    // lost with its connection (TIMEOUT, SOCKERR_CLOSED, SOCKERR_READING, SOCKERR_WRITING) goes
    // on to the next server. IS_RUNNING (checkRunning and a loop active), IS_CONNECTED, the
    // refusal's result, PROTOCOL_ERROR, NOT_CONNECTED when the application's stop ends the pass
    // before an answer, or the failure of the last server tried. On any failure the connection
    // is closed; an exception from the loop closes it too and passes on.
    APIResult::Type connect(bool checkRunning);
    // The login answer: a session id and a fresh order-id allocator, or the refusal's result
    // and a stop. Ignored while connected.
    void handle(const ShpOXMessage& sm, const ConnectResponseMessage& msg) override;

    // ---- the event loop (ClientImpLoop.cpp) ----

    // The event loop on the calling thread, under the receive lock. loop true: until a stop
    // request, a failure or the end of a login; loop false: passes while something is ready,
    // never waiting. Its outcome is left in the exit status, the stop flag and the connection
    // state. Must not be entered again from a handler callback of a running loop.
    void dispatch(bool loop);
    // Requests a stop of the running loop: NOT_RUNNING when no handler is installed.
    APIResult::Type stop();
    // Queues a message the session made itself; the loop dispatches it after the frames of its
    // current or next pass. Any thread.
    void callHandler(const ShpOXMessage& msg);
    // Mean round trip of the last MAX_PING_TIMES ping answers in nanoseconds, 0 before any.
    // Waits while a loop runs on another thread.
    Timestamp_t getAveragePingTime() const;
    // A ping answer: its round trip, and the check of its number against the expected one.
    void handle(const ShpOXMessage& sm, const ImHereMessage& msg) override;

    // ---- incoming messages (ClientImpIncoming.cpp) ----

    // Messages the session does not handle: reported on standard error.
    void handleDefault(const ShpOXMessage& sm) override;

    // The last sequence id of the feed, -2 when none is known; any thread.
    SequenceID_t getSequenceID(FeedID_t feedID);
    // The original feed sequence id of the last drop copy, 0 before the first; any thread.
    SequenceID_t getOrigFeedSequenceID() const;
    // Raises the feed's last sequence id to sequenceID; a stored value at least as large stays.
    void updateLastSequenceID(FeedID_t feedID, SequenceID_t sequenceID);
    // Replaces the feed's last sequence id, larger or not.
    void setLastSequenceID(FeedID_t feedID, SequenceID_t sequenceID);
    void setOrigFeedSequenceID(SequenceID_t sequenceID);
    // The last sequence id of a feed as the server states it, replacing the stored one.
    void handle(const ShpOXMessage& sm, const LastSequenceIDMessage& msg) override;

    // ---- feed and market configuration (ClientImpConfig.cpp) ----

    // Merges the feeds of a configuration message into the configuration; no callback.
    void handle(const ShpOXMessage& sm, const ConfigMessage& msg) override;
    // Look-ups for the application. Each holds the configuration lock for itself only: the
    // pointers stay valid until the configuration next changes.
    const APIFeed* getFeeds(int& n);
    const APIFeed* getFeedByName(const char* name);
    const APIFeed* getFeedByID(FeedID_t feedID);
    const APIMarket* getMarketByName(const APIFeed& feed, const char* name);
    const APIMarket* getMarketByID(const APIFeed& feed, MarketID_t marketID);
    // Look-ups for the session's own requests: values read under the lock in one go, never
    // pointers into the configuration, which another thread's merge may move.
    FeedLookup lookupFeed(FeedID_t feedID, MarketID_t marketID) const;
    // The feed is configured, has markets, and each of marketIDs is one of them.
    bool feedHasMarkets(FeedID_t feedID, const std::vector<MarketID_t>& marketIDs) const;
    // Every market of the feeds that carry market data, in configuration order, named by the
    // feed and market ids that the market record carries.
    std::vector<FeedMarketID> marketDataMarkets() const;
    // The configured feed ids, ascending.
    std::vector<FeedID_t> sortedFeedIDs() const;
    // Forgets the whole configuration.
    void clearConfiguration();

    // ---- incoming messages for the application's handler (ClientImpIncoming.cpp) ----
    //
    // On the loop's thread, with the receive lock held. Each updates the session's state (time
    // stamp, last sequence id of the feed, release of a finished order's ids), then calls the
    // handler's callback when one is installed; with none installed (inside connect()) only
    // the state is updated. Records are stamped in place, so the callback sees the stamp.
    void handle(const ShpOXMessage& sm, const HeartbeatMessage& msg) override;
    void handle(const ShpOXMessage& sm, const ReplayDoneMessage& msg) override;
    void handle(const ShpOXMessage& sm, const BatchesCompletedMessage& msg) override;
    void handle(const ShpOXMessage& sm, const MktDataMessage& msg) override;
    void handle(const ShpOXMessage& sm, const OrderReceivedMessage& msg) override;
    void handle(const ShpOXMessage& sm, const OrderSubmittedMessage& msg) override;
    void handle(const ShpOXMessage& sm, const OrderRejectedMessage& msg) override;
    void handle(const ShpOXMessage& sm, const OrderCanceledMessage& msg) override;
    void handle(const ShpOXMessage& sm, const OrderDoneMessage& msg) override;
    void handle(const ShpOXMessage& sm, const OrderCancelRejectedMessage& msg) override;
    void handle(const ShpOXMessage& sm, const TradeCaptureMessage& msg) override;
    void handle(const ShpOXMessage& sm, const DropCopyMessage& msg) override;
    void handle(const ShpOXMessage& sm, const EventReportMessage& msg) override;
    void handle(const ShpOXMessage& sm, const DateRolloverMessage& msg) override;
    void handle(const ShpOXMessage& sm, const TradeLimitDataMessage& msg) override;
    void handle(const ShpOXMessage& sm, const RiskResponseMessage& msg) override;
    void handle(const ShpOXMessage& sm, const LockResponseMessage& msg) override;
    void handle(const ShpOXMessage& sm, const SubscriptionEventMessage& msg) override;
    // The handler's onBatchComplete, when one is installed; the loop's thread.
    void onBatchComplete(int batchDefID);

    // ---- order entry (ClientImpOrders.cpp) ----
    //
    // Any thread, also from inside a callback. The order ids and the client order ids are kept
    // under the send lock; the lock is let go before sending, so two threads may send their
    // orders in another order than they got their ids. A request refused locally queues a
    // rejection of the session's own making for the loop (onOrderRejected or
    // onOrderCancelRejected) and sends nothing. Before the first accepted login there are no
    // order ids to give or to look up: a request that needs them returns NOT_CONNECTED and
    // records nothing. A cancellation by client order id needs them only for an id that is
    // recorded, so an unknown one is refused locally (INVALID_ORDERID) before a login too.
    //
    // Client order ids stay recorded across reconnections, while every accepted login starts a
    // new set of live order ids. An id recorded in an earlier login therefore cannot be reused
    // for a new order, and cancelling by it finds its old order id, which the new login does not
    // know (refused locally) unless an order of the new login happens to have the same id (same
    // session id), in which case that order is the one cancelled.

    // New order. clOrdID null or empty, or recorded already: (DUPLICATE_CLIENT_ORDERID, 0). An
    // unknown feed or market: (INVALID_FEED or INVALID_MARKET, 0). Otherwise the order id is
    // given and recorded under clOrdID, and the result is the send's with that id (the ids stay
    // recorded when the send fails). Non-empty parameters become the quote id as a JSON-like
    // object of texts, unescaped; otherwise quoteID (null for none).
    std::pair<APIResult::Type, OrderID_t> submitOrder(
        const char* clOrdID, FeedID_t feedID, MarketID_t marketID, Side::Type side,
        const OXFloat& amount, const OXFloat& price, const OXFloat& stopPrice,
        const OXFloat& maxShowAmt, OrderType::Type ordType, TimeInForce::Type tif,
        const Parameters* parameters, const char* quoteID);
    // Modifies the order recorded under clOrdID, also recording it under clNewID when that is
    // not null. (INVALID_ORDERID, 0) for an unrecorded clOrdID.
    std::pair<APIResult::Type, OrderID_t> modifyOrder(const char* clOrdID, const char* clNewID,
                                                      const OXFloat& amount, const OXFloat& price);
    // Cancels the order recorded under clOrdID, or the live order orderID; INVALID_ORDERID for
    // an unrecorded client order id or an order id that is not live.
    APIResult::Type cancelOrder(const char* cxlID, const char* clOrdID);
    APIResult::Type cancelOrder(const char* cxlID, OrderID_t orderID);
    APIResult::Type cancelOrder(const char* cxlID, OrderID_t orderID, const char* clOrdID);
    // Cancels every order of the feed (not checked); the send's result.
    APIResult::Type cancelAll(FeedID_t feedID, const char* cxlID);
    // cancelAll for every configured feed in ascending order of id, stopping at the first
    // failure, which it returns; OK with no feed configured.
    APIResult::Type cancelAll(const char* cxlID);

    // ---- subscriptions and other requests (ClientImpRequests.cpp) ----
    //
    // Any thread, also from inside a callback. Feeds and markets are checked against the
    // configuration: INVALID_FEED, INVALID_MARKET, INVALID_MARKETDATA_FEED (market data from a
    // feed without market data), INVALID_TRADING_FEED (order flow from a feed without it).

    // Subscribes; the send's result. With sticky subscriptions on, a subscription that went out
    // is remembered under (market, feed) (order flow under market 0) and sent again on a new
    // connection inside run(); one made with them off forgets a remembered one of its key.
    APIResult::Type subscribeMD(FeedID_t feedID, MarketID_t marketID, const std::string& clSubID);
    APIResult::Type subscribeMD(FeedID_t feedID, MarketID_t marketID);
    APIResult::Type subscribeOF(FeedID_t feedID, const std::string& clSubID);
    APIResult::Type subscribeOF(FeedID_t feedID);
    // subscribeMD for every market of every feed with market data, in configuration order,
    // stopping at the first failure, which it returns.
    APIResult::Type subscribeAllMD();
    // Unsubscribes and forgets a remembered subscription of the key: OK whatever the send gives,
    // unless the checks fail.
    APIResult::Type unsubscribeMD(FeedID_t feedID, MarketID_t marketID, const std::string& clSubID);
    APIResult::Type unsubscribeMD(FeedID_t feedID, MarketID_t marketID);
    APIResult::Type unsubscribeOF(FeedID_t feedID, const std::string& clSubID);
    APIResult::Type unsubscribeOF(FeedID_t feedID);
    // Unsubscribes everything and forgets every remembered subscription; OK.
    APIResult::Type unsubscribeAll();
    APIResult::Type subscribe(APIType::Type apiType, FeedID_t feedID, MarketID_t marketID,
                              const std::string& clSubID);
    APIResult::Type unsubscribe(APIType::Type apiType, FeedID_t feedID, MarketID_t marketID,
                                const std::string& clSubID);

    // The remembered subscriptions, for run(). Sends those not yet sent on this connection, in
    // key order (market, then feed), and marks them sent; logs their number at INFO when it is 0
    // at the start of run() (atStart) or above 0 after a reconnection.
    void resendStickySubscriptions(bool atStart);
    // The connection they were sent on is gone.
    void markStickySubscriptionsUnsent();
    void clearStickySubscriptions();

    // The feed's messages from fromSequenceID to toSequenceID again, ended by a replay-done
    // message; the send's result, nothing checked.
    APIResult::Type replay(FeedID_t feedID, SequenceID_t fromSequenceID, SequenceID_t toSequenceID);
    APIResult::Type requestSnapshot(FeedID_t feedID, MarketID_t marketID);
    // Registers the markets as one combination under the next batch id: (send's result, id).
    // (INVALID_BATCHID, -1) for no markets or when the ids have run out; (INVALID_PARAMETER, -1)
    // for an unknown feed, a feed without markets, or an id that is not a market of the feed.
    std::pair<APIResult::Type, int> registerMarketComb(FeedID_t feedID, const MarketID_t* marketIds,
                                                       int nmarkets);
    APIResult::Type unregisterMarketComb(int batchDefID);
    // FORCE_LOCAL_DISCONNECT shuts the connection down for reading, so the loop meets an end of
    // stream; INVOKE_EVENT_REPORT does nothing; any other value is sent to the server.
    void requestTest(APITest::Type test);

  private:
    friend struct ClientImpInspector;  // the tests' view of the state

    // Records a failure of the current connection unless an earlier one is recorded, and
    // requests a stop; returns the failure that stands.
    APIResult::Type failAndStop(APIResult::Type result);
    // send() once its checks have passed: frames msg and writes what the connection takes.
    // Caller holds the send lock.
    APIResult::Type frame(const ShpOXMessage& msg);
    // ---- incoming messages, order entry, requests: helpers ----

    // The installed handler, or null. Read on the loop's thread without the run lock: run()
    // and processEvents() install and remove it holding the receive lock, which the loop holds.
    OXHandler* loopHandler() const { return _handler; }
    // A finished order's ids: out of the live set and out of the client order ids, under the
    // send lock.
    void releaseOrder(OrderID_t orderID, const std::string& clOrdID);
    // Whether msg is a rejection the session made itself (ClientImpOrders.cpp).
    static bool isLocalRejection(const OrderRejectedMessage& msg);
    // Queues a rejection of the session's own making for the loop.
    void rejectLocally(const char* clOrdID, FeedID_t feedID, MarketID_t marketID,
                       RejectReason::Type reason);
    void rejectCancelLocally(const char* cxlID, OrderID_t orderID, const char* clOrdID);
    // The checks shared by subscribe and unsubscribe; OK when the request may go.
    APIResult::Type checkSubscription(APIType::Type apiType, FeedID_t feedID,
                                      MarketID_t marketID) const;

    // Sets _exitStatus to result if it is still OK or holds only the EXCEPTION_THROWN of a loop
    // that a callback ended; returns the value that stands.
    APIResult::Type recordFailure(APIResult::Type result);
    void requestStop();
    // The servers from index first on, as connectMany; result when none of them has a host.
    APIResult::Type connectFrom(int first, APIResult::Type result);
    // Waits for the TCP connection of the non-blocking socket fd to server; OK, SOCKERR_CONNECT
    // (logged), or NOT_CONNECTED for the application's stop. fd stays open.
    APIResult::Type connectSocket(int fd, const sockaddr_in& server);
    // The login loop on the connection connectOne made: the answer's result, or the failure
    // that ended the loop, after which the connection is closed.
    APIResult::Type login();
    // Makes rsock and wsock the connection, under the receive, send and run locks at once, with
    // empty buffers, no stop of the session's own and no failure recorded: whatever a write to
    // an earlier connection recorded is forgotten, and whatever follows is this connection's.
    void startConnection(int rsock, int wsock);
    // The system's text for an errno value.
    static std::string systemError(int error);

    // ---- the event loop's steps (ClientImpLoop.cpp) ----

    // What one read of the connection brought.
    enum class ReadOutcome { NOTHING, DATA, ENDED };
    void loopPasses(bool loop);
    void setDispatchThread(std::thread::id id);
    // Drains the wake-up pipe; false when it failed (recorded as SOCKERR_READING).
    bool drainWakeups();
    // One read into the input buffer and the decoding of the frames it completes. ENDED: the
    // loop must return (recorded failure; the connection closed unless the buffer was full).
    ReadOutcome readConnection();
    // The messages the session made itself, each handled as if it had arrived, while a handler
    // is installed; without one (the login loop of connect()) they stay queued, in order, for the
    // first loop that has one.
    void dispatchDeferred();
    bool hasDeferred();
    void sendPing(Timestamp_t now);
    // The login answer arrived while unconnected: the login loop is over.
    bool loginAnswered() const { return _receivedConnectResponse && !isConnected(); }
    // The ping number after n: n + 1, wrapping to 0 where it would reach 2147483647.
    static SequenceID_t nextPingNumber(SequenceID_t n);
    // Leaves the input buffer flipped and empty: nothing undecoded, nothing to keep.
    void discardInput();
    // The message of one frame's body (exactly length bytes), or the empty handle where
    // OXMessage::decodeMessage gives it. Decodes into the message last decoded for the type when
    // nothing but _decoded holds it any more, so that a steady stream makes no message per frame.
    ShpOXMessage decodeBody(MsgType_t id, char* body, size_t length);

    // ---- set at construction, then read-only ----
    OXClient* const _parent;  // passed to every handler callback
    const std::string _username;
    const std::string _password;
    OXServer _servers[2];
    int _numServers;
    const size_t _bufferSize;
    const size_t _bufferMargin;
    int _rpipe;  // wake-up pipe, watched by the loop; blocking
    int _wpipe;  // written by notifySelector from any thread; non-blocking

    // ---- settings: written by the setters without a lock, read by any thread ----
    std::atomic<bool> _useHeartbeat;
    std::atomic<Timestamp_t> _sleepTime;
    std::atomic<Timestamp_t> _timeoutTime;
    std::atomic<bool> _debugMessages;
    std::atomic<bool> _stickySubscriptions;
    std::atomic<bool> _clearSubscriptionsOnStop;

    // ---- receive lock: the event loop, one at a time; closing the connection ----
    mutable boost::recursive_mutex _recvlock;
    Orbanex::Buffer _inbuffer;  // bytes read and not yet decoded
    // The last message decoded of each type that has arrived, reused by decodeBody. A handler
    // sees a record only during its call, so the next frame of the type may overwrite it.
    std::vector<std::pair<MsgType_t, ShpOXMessage>> _decoded;
    // The connection as the loop reads it. Changed under both the receive lock and the send
    // lock, so either lock keeps it from being closed while it is used.
    int _rsock;
    // The server being tried or in use; written by the connecting thread.
    int _currentServer;
    ClientSessionID_t _sessionID;  // of the last accepted login
    // The loop's thread alone: ping numbering and times, the end of a login.
    SequenceID_t _lastReceivedSeqNo;
    SequenceID_t _lastSentSeqNo;
    boolean _logHeartbeatSeqMismatch;
    boolean _receivedConnectResponse;
    std::deque<PingTime> _pingTimeQueue;  // the last MAX_PING_TIMES, oldest first
    // Signalled, with the receive lock, when run() returns.
    boost::condition_variable_any _condexit;

    // ---- deferred lock: messages the session made itself, waiting for the loop; held only to
    // queue one or take one off, never while one is handled ----
    boost::recursive_mutex _deferredlock;
    std::deque<ShpOXMessage> _deferred;

    // ---- send lock: the output side and the order bookkeeping ----
    boost::mutex _sendlock;
    Orbanex::Buffer _outbuffer;  // frames not yet written, in order
    // The connection as frames are written to it (the same socket as _rsock in TCP mode).
    // Changed under both the receive lock and the send lock, so either lock is enough to read.
    int _wsock;
    std::unique_ptr<IdAllocator> _orderIDs;  // made anew at every accepted login
    OrderMap _clOrdIDs;
    StickyMap _stickySubscriptionsMap;  // remembered subscribe requests

    // ---- run lock: the installed handler and the stop requests ----
    mutable boost::mutex _runlock;
    OXHandler* _handler;  // set while run() or processEvents() is active
    // The session's own stop (a failure, a refused login); a connection attempt clears it.
    boolean _stopRequested;
    // close() has said goodbye and is closing the connection: no request is framed any more and
    // no loop starts. Written under both the send lock and the run lock, read under either.
    boolean _closing = false;
    // The application's stop() while run() or processEvents() is active. Nothing but the start
    // of run() or processEvents() clears it, so no reconnection can drop it; when they return
    // it becomes an ordinary _stopRequested. isStopRequested() is either.
    boolean _applicationStop = false;
    // The thread inside the loop, or the one that last connected; none at first.
    std::thread::id _dispatchThreadID;

    // The result of the current login or loop. Failure paths on several threads record theirs
    // only while it is OK (recordFailure), so the first failure of a connection stands.
    std::atomic<APIResult::Type> _exitStatus;

    // ---- connect lock ----
    mutable boost::mutex _connectlock;
    boolean _connected;  // a login was accepted and the connection is open

    // ---- configuration lock: the feeds and markets the server configured ----
    mutable boost::mutex _cfglock;
    std::vector<APIFeed> _feeds;           // in the order their ids first arrived
    std::vector<FeedID_t> _sortedFeedIDs;  // ascending
    FeedIDMap _feedIDMap;

    // ---- sequence lock: written by the loop, read by any thread ----
    mutable boost::mutex _seqlock;
    FeedSequenceIDMap _feedSeqIDMap;       // last sequence id per feed
    SequenceID_t _lastOrigFeedSequenceID;  // of the last drop copy

    // Last market-combination id given out; taken by any thread.
    std::atomic<BatchDefID_t> _batchDefID;

    // ---- running and closing a session (ClientImpRun.cpp) ----
  public:
    // The session's messages to handler on the calling thread until a stop, reconnecting after a
    // lost connection: onStart, then onDisconnect and onConnect around each reconnection, then
    // onStop. INVALID_PARAMETER for a null handler, NOT_CONNECTED (also once close() has claimed
    // the session), IS_RUNNING while a handler is installed; otherwise the result that ended
    // it: OK for a stop, BUFFER_FULL or PROTOCOL_ERROR (the connection left open for close()),
    // the failure of a reconnection, the loss of the connection when the application's stop was
    // pending, or NOT_CONNECTED when it came during a reconnection before a login was accepted;
    // BUFFER_FULL or PROTOCOL_ERROR at once while the last loop's ended so. A call reports only
    // what happens in it. Holds the receive lock throughout. An exception from a callback passes
    // on, the handler removed.
    APIResult::Type run(OXHandler* handler);
    // What is ready now, handled without waiting, with handler installed for the call only: no
    // lifecycle callbacks, no reconnection, no time-out. The same refusals as run(); otherwise
    // the session's result, SOCKERR_CLOSED once for a connection the server ended.
    APIResult::Type processEvents(OXHandler* handler);
    APIResult::Type run(OXHandler* handler, bool loop);
    // Waits until no run() or processEvents() is active; OK. NOT_IMPLEMENTED on the thread that
    // runs the loop (a callback) and on the thread that last connected until a loop has run
    // and returned on it.
    APIResult::Type join();
    // Says goodbye to the server and closes the connection: OK; IS_RUNNING while run() or
    // processEvents() is active (on any thread); NOT_CONNECTED when not connected or while
    // another close() is at work. Never waits for a loop: whether a loop is active is decided
    // under the run lock, together with the claim that keeps any loop from starting until the
    // connection is closed; a run() or processEvents() that comes after that claim returns
    // NOT_CONNECTED. The goodbye is the last frame of the connection: a request that has not
    // framed its message by then returns NOT_CONNECTED.
    APIResult::Type close();

  private:
    // Removes the handler when run() or processEvents() ends, however it ends.
    class RunExit;
    // After a lost connection: onDisconnect, the connection closed, one pass over the servers,
    // onConnect. False when the pass failed (its result recorded) or when the application's
    // stop arrived meanwhile.
    bool reconnect(OXHandler* handler);
    boolean applicationStopRequested() const;

    // The thread that installed the handler (its callbacks, onStart included, run on it).
    std::thread::id _runThreadID;
};

}  // namespace ZURAV
