#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "api/APIFeed.h"
#include "api/APIMarket.h"
#include "api/APIResult.h"
#include "api/APITypes.h"
#include "api/LogLevel.h"

namespace ZURAV {

class ClientImp;

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
    // heartbeats on, at most 5 s of silence). OK; IS_CONNECTED; IS_RUNNING from inside run();
    // the login's refusal (INVALID_USER, INVALID_PASSWORD, ...); or the failure of the last
    // connection attempt or of the login. A failure leaves the client unconnected; a server
    // that took the login messages ends the attempt, refusing or not.
    APIResult::Type connect();
    // Asks the running loop to return after its current pass; NOT_RUNNING when none runs. Any
    // thread. Until the next run, processEvents or connect, requests return IS_STOPPING.
    APIResult::Type stop();
    // The mean round trip of the last 64 answered pings, in nanoseconds; 0 before any. Waits
    // while the loop runs on another thread.
    Timestamp_t getAveragePingTime();

    // On: a ping every 0.4 s and a 5 s time-out on a silent server. Off: neither.
    void setUseHeartbeat(bool use);
    // Logs every message sent (other than pings) and every connection attempt at INFO. Takes
    // effect only when the environment holds THIRD_PARTY_JAVA; otherwise changes nothing.
    void setDebug(boolean debug);
    // sticky: subscriptions are remembered and sent again on a new connection.
    void setStickySubscriptions(boolean sticky);
    // clearSubscriptionsOnStop: remembered subscriptions are forgotten when run() loses its
    // connection or ends (the default).
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

  protected:
    // The administrator's operations; declared here, defined by the administrator client.
    APIResult::Type allowClientsToConnect();
    APIResult::Type lockUser(const char* clRequestID, const char* username, bool locked);

  private:
    OXClient(const OXClient&) = delete;
    OXClient& operator=(const OXClient&) = delete;

    ClientImp* imp;  // owned
    std::atomic<unsigned int> _rc;
};

}  // namespace ZURAV
