#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "api/APIFeed.h"
#include "api/APIMarket.h"
#include "api/APIResult.h"
#include "api/APITest.h"
#include "api/APITypes.h"
#include "api/LogLevel.h"
#include "api/OXFloat.h"
#include "api/OrderType.h"
#include "api/Side.h"
#include "api/TimeInForce.h"

namespace ZURAV {

class ClientImp;
class OXHandler;

// The client's boolean type.
typedef bool boolean;

// One optional order parameter.
struct KeyValue {
    KeyValue(const std::string& key_, const std::string& value_) : key(key_), value(value_) {}
    std::string key;
    std::string value;
};
typedef std::vector<KeyValue> Parameters;

// One session with the trading service's API server: the object an application creates per
// connection. A thin facade: every operation is carried out by the session engine it owns.
//
// Lifetime: owned through an intrusive reference count (1 after construction; release() of the
// last reference deletes the client) or deleted directly. A client is never copied. End a
// session with close() before destroying its client; a client destroyed while still connected
// closes its connection without saying goodbye to the server. Deleting a client while one of its
// operations runs on another thread is not allowed.
//
// Threads: addref() and release() are atomic. The setters take no lock and must not be called
// while the client's loop runs on another thread; the getters take the lock they name.
class OXClient {
  public:
    // username, password and hostname1 must not be null (std::invalid_argument otherwise).
    // Throws std::runtime_error "Error creating notification pipe." when the client's wake-up
    // pipe cannot be made.
    OXClient(const char* username, const char* password, const char* hostname1, int port1);
    // A null hostname2 gives a client with one server; an empty one is skipped when connecting.
    OXClient(const char* username, const char* password, const char* hostname1, int port1,
             const char* hostname2, int port2);
    virtual ~OXClient();

    void addref();
    // Deletes the client when it drops the last reference.
    void release();

    // A new client, connected and logged in (connect()), with one reference; null when
    // username, password or hostname1 is null, nothing being made then. When the login fails
    // the client is deleted and std::runtime_error "Error connecting: <result name>" thrown.
    static OXClient* open(const char* username, const char* password, const char* hostname,
                          int port);
    static OXClient* open(const char* username, const char* password, const char* hostname1,
                          int port1, const char* hostname2, int port2);

    // Connects to the first configured server that takes the connection and logs in, running
    // the client's loop on the calling thread until the server answers the login (with
    // heartbeats on, at most 5 s of silence, and 5 s for the TCP connection). A server that
    // cannot be reached, or whose connection is lost during the login, passes the attempt to
    // the next one. OK; IS_CONNECTED; IS_RUNNING from inside run(); the login's refusal
    // (INVALID_USER, INVALID_PASSWORD, ...) or PROTOCOL_ERROR, which end the attempt; or the
    // failure of the last server tried. A failure leaves the client unconnected.
    APIResult::Type connect();
    // Asks the running loop to return after its current pass; NOT_RUNNING when none runs. Any
    // thread. No reconnection inside run() goes on after it. Until the next run,
    // processEvents or connect, requests return IS_STOPPING.
    APIResult::Type stop();
    // The mean round trip of the last 64 answered pings, in nanoseconds; 0 before any. Waits
    // while the loop runs on another thread.
    Timestamp_t getAveragePingTime();

    // On: a ping every 0.4 s and a 5 s time-out on a silent server. Off: neither.
    void setUseHeartbeat(bool use);
    // Logs every message sent (other than pings) and every connection attempt at INFO; the
    // login shows the user name and a fixed mask for the password. Takes effect only when the
    // environment holds THIRD_PARTY_JAVA; otherwise changes nothing.
    void setDebug(boolean debug);
    // Sticky subscriptions: with sticky true, every subscribeMD/subscribeOF that goes out is
    // remembered by feed and market (order flow under market 0) until it is unsubscribed (or a
    // subscription of the same key is made with sticky false), and run() sends the remembered
    // ones that are not marked sent on the connection: at its start, after onStart, and after
    // each reconnection, after onConnect.
    //
    // clearSubscriptionsOnStop (true unless given) forgets them all when run() loses its
    // connection and when run() ends. With it true a reconnection therefore sends nothing again:
    // to get the subscriptions back after a fail-over, either pass false, or subscribe again in
    // onConnect yourself (the examples do: that also covers a new connect() and run()).
    //
    // With (true, false), subscribe once, after connect() and before the first run(), not in
    // onStart: a subscription remembered already is sent again, with the WARN "Sending duplicate
    // subscription for stickied ...". The marks are per connection and only run()'s own
    // reconnection clears them: after run() ended on a stop, BUFFER_FULL or PROTOCOL_ERROR, a
    // close(), connect() and new run() do not send them (subscribing again then works, with that
    // WARN). An application that connects again itself is better served by subscribing in
    // onStart and onConnect with sticky subscriptions off.
    void setStickySubscriptions(boolean sticky);
    void setStickySubscriptions(boolean sticky, boolean clearSubscriptionsOnStop);

    // Configures the process's logging: binary message log always, text log when enable, both
    // in directory under the base name "ZURAV", plus the system log; level DEBUG. Returns
    // NOT_IMPLEMENTED for a null directory, COULD_NOT_OPEN when the directory is not writable
    // (nothing is configured then) or when a log file cannot be created there (the outputs that
    // could be opened run all the same); OK otherwise. Each call configures again: the logger
    // thread is restarted with the new settings, never doubled. Needs OXInit::initialize() and
    // belongs on the thread that ran it.
    static APIResult::Type setlog(const char* directory, bool enable);

    // Logged in, and the connection open (under the connect lock).
    boolean isConnected();
    // run() or processEvents() is active (under the run lock).
    boolean isRunning();
    // The two descriptors an application watches when it drives the loop with processEvents():
    // the connection's (-1 when there is none) and the wake-up pipe's. Waits while a loop runs
    // on another thread.
    void get(int& fd1, int& fd2) const;
    // The API protocol's signature, 32 hexadecimal digits.
    const char* getSignature();
    // The last sequence id seen for the feed, -2 when none; any thread.
    SequenceID_t getSequenceID(FeedID_t feedID);
    // The original feed sequence id of the last drop copy, 0 before the first; any thread.
    SequenceID_t getOrigFeedSequenceID();

    // The configured feeds, in the order the server gave them, and their count in n; the result
    // must not be read when n is 0. The pointers returned by these five look-ups stay valid until
    // the configuration next changes (a new connection attempt, or configuration that adds a
    // feed or, for market pointers, adds markets to the feed).
    const APIFeed* getFeeds(int& n);
    // The first feed of that name, or null. name must not be null.
    const APIFeed* getFeedByName(const char* name);
    const APIFeed* getFeedByID(FeedID_t feedID);
    // The first market of the feed with that name, or null. name must not be null.
    const APIMarket* getMarketByName(const APIFeed& feed, const char* name);
    const APIMarket* getMarketByID(const APIFeed& feed, MarketID_t marketID);

    // Writes message to the client's log at INFO and sends it to the server's log with level,
    // when the session is logged in and not stopping; a failed send is not reported. A null
    // message is taken as empty.
    void log(const char* message);
    void log(const char* message, LogLevel::Type level);

    // ---- orders ----
    //
    // Any thread, also from inside a callback. The client gives every new order its order id
    // (the session id in the bits from 40 upward, a counter below) and remembers which client
    // order id names which order until a rejection, cancellation or completion of it arrives.
    // A request it refuses itself sends nothing and is reported through the handler as well:
    // onOrderRejected (order id and sequence id -1) or onOrderCancelRejected, delivered after the
    // call has returned, in the order of the requests, by the first run() or processEvents()
    // that runs: one made while no loop runs (after close(), before the first login) waits for
    // the loop after the next connect(), whose own login delivers none. Before the first
    // accepted login a new order returns INVALID_FEED (no feed is known before the server's
    // configuration), a modification or a cancellation by order id NOT_CONNECTED (there are no
    // order ids yet), and a cancellation by client order id INVALID_ORDERID. Client order ids
    // stay remembered across reconnections: one used before a reconnection cannot name a new
    // order, and cancelling by it is refused locally unless an order of the new login happens to
    // have the same order id (a login with the same session id), which is then the order
    // cancelled.
    //
    // INVALID_FEED and INVALID_MARKET are not final while the session is not logged in: every
    // login (connect(), a reconnection inside run()) forgets the configuration until the server
    // sends it again with its answer. A request whose own write fails may return the failure
    // the connection had already met (TIMEOUT, SOCKERR_CLOSED, SOCKERR_READING, ...) instead of
    // SOCKERR_WRITING: the request may be lost. docs/results.md lists what a request returns.

    // New order: (result, order id). INVALID_FEED or INVALID_MARKET for an unknown feed or
    // market, DUPLICATE_CLIENT_ORDERID for a null, empty or remembered client order id (all
    // with order id 0); otherwise the send's result with the order's id, which stays live and
    // remembered even when the send fails. stopPrice and maxShowAmt default to OXFloat::NA.
    // Non-empty parameters go out in the quote id as {"key":"value",...}, unescaped.
    std::pair<APIResult::Type, OrderID_t> submitOrder(const char* clOrdID, FeedID_t feedID,
                                                      MarketID_t marketID, Side::Type side,
                                                      const OXFloat& amount, const OXFloat& price,
                                                      OrderType::Type ordType,
                                                      TimeInForce::Type tif);
    std::pair<APIResult::Type, OrderID_t> submitOrder(
        const char* clOrdID, FeedID_t feedID, MarketID_t marketID, Side::Type side,
        const OXFloat& amount, const OXFloat& price, const OXFloat& stopPrice,
        const OXFloat& maxShowAmt, OrderType::Type ordType, TimeInForce::Type tif);
    std::pair<APIResult::Type, OrderID_t> submitOrder(const char* clOrdID, FeedID_t feedID,
                                                      MarketID_t marketID, Side::Type side,
                                                      const OXFloat& amount, const OXFloat& price,
                                                      const OXFloat& stopPrice,
                                                      const OXFloat& maxShowAmt,
                                                      OrderType::Type ordType,
                                                      TimeInForce::Type tif, const char* quoteID);
    std::pair<APIResult::Type, OrderID_t> submitOrder(
        const char* clOrdID, FeedID_t feedID, MarketID_t marketID, Side::Type side,
        const OXFloat& amount, const OXFloat& price, const OXFloat& stopPrice,
        const OXFloat& maxShowAmt, OrderType::Type ordType, TimeInForce::Type tif,
        const Parameters* parameters);
    // Modifies the order remembered under clOrdID; a non-null clNewID names it too from now on.
    // (INVALID_ORDERID, 0) when clOrdID is not remembered, else (send's result, order id).
    std::pair<APIResult::Type, OrderID_t> modifyOrder(const char* clOrdID, const char* clNewID,
                                                      const OXFloat& amount, const OXFloat& price);
    // INVALID_ORDERID when the client order id is not remembered or the order id not live;
    // otherwise the send's result.
    APIResult::Type cancelOrder(const char* cxlID, const char* clOrdID);
    APIResult::Type cancelOrder(const char* cxlID, OrderID_t orderID);
    // Every order of the feed (not checked), or of every configured feed in ascending order of
    // id, stopping at the first failure. With no feed configured the second form sends nothing:
    // OK when logged in, NOT_CONNECTED otherwise (before a login, or while run() logs in again).
    APIResult::Type cancelAll(FeedID_t feedID, const char* cxlID);
    APIResult::Type cancelAll(const char* cxlID);

    // ---- subscriptions and other requests ----
    //
    // Any thread, also from inside a callback. INVALID_FEED, INVALID_MARKET,
    // INVALID_MARKETDATA_FEED (market data of a feed without it) and INVALID_TRADING_FEED
    // (order flow of a feed without it) refuse a request locally; while the session is not
    // logged in no feed is known (INVALID_FEED), as for orders above, whose notes on a failed
    // write hold here too.

    // Market data of one market, order flow of one feed; the send's result. A new connection
    // has none: subscribe again in onConnect, or see setStickySubscriptions.
    APIResult::Type subscribeMD(FeedID_t feedID, MarketID_t marketID, const std::string& clSubID);
    APIResult::Type subscribeMD(FeedID_t feedID, MarketID_t marketID);
    APIResult::Type subscribeOF(FeedID_t feedID, const std::string& clSubID);
    APIResult::Type subscribeOF(FeedID_t feedID);
    // Market data of every market of every feed that has it; the first failure ends it.
    APIResult::Type subscribeAllMD();
    // OK whatever the send gives, unless the feed checks refuse.
    APIResult::Type unsubscribeMD(FeedID_t feedID, MarketID_t marketID, const std::string& clSubID);
    APIResult::Type unsubscribeMD(FeedID_t feedID, MarketID_t marketID);
    APIResult::Type unsubscribeOF(FeedID_t feedID, const std::string& clSubID);
    APIResult::Type unsubscribeOF(FeedID_t feedID);
    APIResult::Type unsubscribeAll();
    // The feed's messages from fromSequenceID to toSequenceID again, then onReplayDone.
    APIResult::Type replay(FeedID_t feedID, SequenceID_t fromSequenceID, SequenceID_t toSequenceID);
    APIResult::Type requestSnapshot(FeedID_t feedID, MarketID_t marketID);
    // (send's result, batch id) for the markets of the feed as one combination, whose
    // completions arrive through onBatchComplete. (INVALID_BATCHID, -1) for no markets;
    // (INVALID_PARAMETER, -1) for an unknown feed or an id that is not one of its markets.
    std::pair<APIResult::Type, int> registerMarketComb(FeedID_t feedID, MarketID_t* marketIds,
                                                       int nmarkets);
    APIResult::Type unregisterMarketComb(int batchDefID);
    // Test hooks of the service. FORCE_LOCAL_DISCONNECT ends the connection on this side.
    void test(APITest::Type test);

    // ---- running and closing the session ----
    //
    // After connect(), the session's messages reach the application's handler through run() or
    // processEvents(), on the calling thread; both hold the client's receive lock while they
    // work, so get(), getAveragePingTime(), join() and another run() or processEvents() from
    // other threads wait until they return. Requests and stop() never wait for it.

    // Delivers the session's messages to handler until stop(): onStart first, onStop last.
    // After a lost connection (time-out, end of stream, read or write failure) it calls
    // onDisconnect, makes one pass over the configured servers and, when one takes the login,
    // calls onConnect, sends the remembered sticky subscriptions again and goes on; otherwise it
    // ends. Returns INVALID_PARAMETER for a null handler, NOT_CONNECTED (also once a close() on
    // another thread has begun closing the session), IS_RUNNING while run() or processEvents()
    // is active (from a callback, say), or the result that ended it: OK after stop(),
    // BUFFER_FULL or PROTOCOL_ERROR (the connection is left open: close() it), the failure of
    // the reconnection, the loss of the connection when stop() had been called, or
    // NOT_CONNECTED when stop() came during a reconnection before a login was accepted.
    // After BUFFER_FULL or PROTOCOL_ERROR it returns that result at once until the client is
    // closed and connected again. An exception thrown by a callback passes on (onStop is then
    // not called); the handler is removed in every case.
    APIResult::Type run(OXHandler* handler);
    // Handles what is ready now without waiting and returns: for an application's own loop,
    // which watches the two descriptors of get(). No lifecycle callbacks, no reconnection, no
    // time-out. The same refusals as run(); otherwise the session's result: SOCKERR_CLOSED once
    // when the server has ended the connection, NOT_CONNECTED on the calls after that.
    APIResult::Type processEvents(OXHandler* handler);
    // Waits until run() has returned (OK). NOT_IMPLEMENTED on the thread of the loop itself,
    // and on the thread that last connected until a loop has run and returned on it.
    APIResult::Type join();
    APIResult::Type wait();
    // Sends the server the disconnect message, even after stop(), and closes the connection
    // with an end of stream behind it: OK. IS_RUNNING while run() or processEvents() is active
    // on any thread; NOT_CONNECTED when not connected or while another close() is closing the
    // session. Never waits for a loop: whether one is active is decided at once, and a run() or
    // processEvents() started on another thread after that decision returns NOT_CONNECTED. The
    // disconnect message is the last frame sent: a request on another thread that has not gone
    // out before it returns NOT_CONNECTED. connect() may log in again afterwards.
    APIResult::Type close();

  protected:
    // The administrator's operations; declared here, defined by the administrator client.
    APIResult::Type allowClientsToConnect();
    APIResult::Type lockUser(const char* clRequestID, const char* username, bool locked);

  private:
    OXClient(const OXClient&) = delete;
    OXClient& operator=(const OXClient&) = delete;

    friend struct ClientImpInspector;  // the tests' view of the session

    ClientImp* imp;  // owned
    std::atomic<unsigned int> _rc;
};

}  // namespace ZURAV
