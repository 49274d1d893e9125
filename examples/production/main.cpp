// A client to copy for production. It
//
//   - trades two markets of one feed: subscribes to their quotes and to the feed's order flow,
//     rests one bid in each market ten ticks under the best bid once it has a quote, and prints
//     every report of its orders;
//   - keeps the session up: run() logs in again by itself once per lost connection (one pass over
//     the servers, without delay); when that pass fails, or connect() does, the outer loop in
//     main() waits (1 s, doubling up to 30 s) and connects again, for as long as it takes, unless
//     the server refused the login itself (a wrong user or password: waiting will not help);
//   - stops cleanly on SIGINT or SIGTERM, whenever it comes: before run(), during it, during a
//     reconnection or during a wait: run() returns, close() says goodbye to the server, the
//     library is finalised and the program exits with 0. Inside run() and in the wait it stops at
//     once; a signal that comes during the outer loop's connect() takes effect when connect()
//     returns, since nothing interrupts it (up to about 10 s per silent server; see
//     docs/connection.md);
//   - leaves its resting orders at the server when it stops (docs/orders.md says how to cancel
//     them first).
//
//   zurav-example-production HOST PORT [HOST2 PORT2]
//
// The user and password come from ZURAV_USER and ZURAV_PASSWORD (zurav-demo-server takes any);
// the log files go to ZURAV_LOG_DIR, by default a new folder under /tmp.
//
// Threads. The main thread runs the session: connect(), run() and, inside run(), every callback of
// the handler. A signal thread takes SIGINT and SIGTERM with sigwait(): the two signals are
// blocked in every thread (the mask is set before any thread starts, the library's logger thread
// included), so no signal handler ever runs at an arbitrary point of the program. On a signal the
// thread sets the stop flag, wakes the back-off wait and calls client.stop(), which any thread may
// call. stop() only reaches a loop that is running, and run() starts by clearing an earlier
// stop, so the handler also reads the flag when run() starts (onStart) and after each
// reconnection (onConnect) and calls stop() itself there; the outer loop reads it between its
// steps. Whatever the moment of the signal, one of them sees it.
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "api/APIAll.h"
#include "client/AbstractOXHandler.h"
#include "client/OXClient.h"
#include "client/OXInit.h"

using namespace ZURAV;

namespace {

const char* const USAGE =
    "usage: zurav-example-production HOST PORT [HOST2 PORT2]\n"
    "Trades two markets of the first feed at HOST PORT (or HOST2 PORT2 when the first does not\n"
    "answer), reconnecting with back-off, until SIGINT or SIGTERM. The user and password come\n"
    "from ZURAV_USER and ZURAV_PASSWORD; the logs go to ZURAV_LOG_DIR, by default a new folder\n"
    "under /tmp.\n";

// The port that text names (1 to 65535), or 0 when it names none.
int portOf(const char* text) {
    long port = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || port > 65535) return 0;
        port = port * 10 + (*c - '0');
    }
    return port <= 65535 ? static_cast<int>(port) : 0;
}

const char* const MARKETS[] = {"EUR/USD", "USD/JPY"};
const int NMARKETS = 2;

void say(const std::string& line) { std::cout << line << std::endl; }

std::string result(APIResult::Type r) {
    const char* name = APIResult::toString(r);
    return name != nullptr ? name : std::to_string(static_cast<int>(r));
}

std::string env(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

// The stop request. request() runs on the signal thread; the flag is read by the session's thread
// (outer loop and callbacks) without a lock.
class StopFlag {
  public:
    bool requested() const { return _requested.load(); }

    void request() {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _requested.store(true);
        }
        _changed.notify_all();
    }

    // Waits for the time given or until a stop is requested; whether a stop is requested.
    bool waitFor(std::chrono::milliseconds time) {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, time, [this] { return _requested.load(); });
    }

  private:
    std::atomic<bool> _requested{false};
    std::mutex _mutex;
    std::condition_variable _changed;
};

// Takes SIGINT and SIGTERM on a thread of its own, for as long as it lives. The signals must be
// blocked in every thread before this is made (see main).
class SignalThread {
  public:
    SignalThread(const sigset_t& signals, StopFlag& flag, OXClient& client)
        : _signals(signals), _thread([this, &flag, &client] {
              for (;;) {
                  int signal = 0;
                  if (sigwait(&_signals, &signal) != 0) continue;
                  if (_closing.load()) return;
                  say(std::string("signal ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                      ": stopping");
                  flag.request();
                  // NOT_RUNNING outside run(): the flag is read there instead.
                  client.stop();
              }
          }) {}

    // Ends the thread: a signal sent to it alone, which it takes as the sign to go.
    ~SignalThread() {
        _closing.store(true);
        pthread_kill(_thread.native_handle(), SIGTERM);
        _thread.join();
    }

  private:
    const sigset_t _signals;
    std::atomic<bool> _closing{false};
    std::thread _thread;  // last: starts once the rest exists
};

// One resting order and what its reports said last.
struct Order {
    std::string market;
    std::string state;
};

// The handler, for the life of the program (one client, many connections). Callbacks run on the
// session's thread, one at a time; the records they get are valid during the call only.
class Trader : public AbstractOXHandler {
  public:
    explicit Trader(const StopFlag& stop) : _stop(stop) {}

    // Looks the feed and the markets up by name in the configuration of the current login; false
    // when one is missing. Ids are kept, not the pointers: those change with the configuration.
    bool configure(OXClient& client) {
        int n = 0;
        const APIFeed* feeds = client.getFeeds(n);
        for (int f = 0; f < n; ++f) {
            int found = 0;
            for (int m = 0; m < NMARKETS; ++m) {
                const APIMarket* market = client.getMarketByName(feeds[f], MARKETS[m]);
                if (market == nullptr) break;
                _markets[m].id = market->marketID;
                _markets[m].tick = market->minIncrement;
                ++found;
            }
            if (found == NMARKETS) {
                _feedID = feeds[f].feedID;
                return true;
            }
        }
        return false;
    }

    void onStart(OXClient& client) override { connectionStarts(client, "run started"); }
    void onConnect(OXClient& client) override { connectionStarts(client, "connected again"); }
    void onDisconnect(OXClient&) override { say("connection lost; logging in again"); }
    void onStop(OXClient&) override { say("run stopped"); }

    void onSubscriptionEvent(const SubscriptionEvent& e, OXClient&) override {
        say(std::string("subscription ") +
            (e.sub.apiType == APIType::MARKETDATA ? name(e.sub.marketID) : "order flow") + ": " +
            SubscriptionStatus::toString(e.status));
    }

    void onMarketData(const MarketView& view, OXClient& client) override {
        const int m = index(view.fmID.marketID);
        if (m < 0) return;
        OXFloat bid = OXFloat::NA;
        for (const MDEntry& e : view.mdEntryList) {
            if (e.side == Side::BID) bid = e.price;
        }
        if (!OXFloat::isValid(bid) || _markets[m].ordered) return;
        // One order per market for the life of the program: a reconnection must not pile up
        // orders, and a client order id is never used twice (the client refuses it).
        _markets[m].ordered = true;
        const OXFloat price = bid - _markets[m].tick * 10;
        const std::string clOrdID = _prefix + "-" + std::to_string(++_orderCount);
        const std::pair<APIResult::Type, OrderID_t> r =
            client.submitOrder(clOrdID.c_str(), _feedID, _markets[m].id, Side::BID,
                               OXFloat("1000000"), price, OrderType::LIMIT, TimeInForce::GTC);
        say("submit " + clOrdID + ": buy 1000000 " + MARKETS[m] + " at " + price.toString() + ": " +
            result(r.first));
        if (r.first == APIResult::OK) _orders[clOrdID] = Order{MARKETS[m], "sent"};
    }

    void onOrderReceived(const OrderReceived& o, OXClient&) override {
        report(o.clOrdID, "received");
    }
    void onOrderSubmitted(const OrderSubmitted& o, OXClient&) override {
        report(o.clOrdID, std::string("on the exchange as ") + o.exOrdID + ", " +
                              OrderStatus::toString(o.ordStatus));
    }
    void onOrderRejected(const OrderRejected& o, OXClient&) override {
        report(o.clOrdID, std::string("rejected: ") + RejectReason::toString(o.reason));
    }
    void onOrderCanceled(const OrderCanceled& o, OXClient&) override {
        report(o.clOrdID, std::string("canceled: ") + CancelReason::toString(o.reason));
    }
    void onOrderCancelRejected(const OrderCancelRejected& o, OXClient&) override {
        report(o.clOrdID,
               std::string("cancel rejected: ") + CancelRejectReason::toString(o.reason));
    }
    void onOrderDone(const OrderDone& o, OXClient&) override { report(o.clOrdID, "done"); }
    void onTradeCapture(const TradeCapture& t, OXClient&) override {
        report(t.clOrdID, "traded " + t.amount.toString() + " at " + t.price.toString());
    }

    // The orders and their last reports.
    void summary() const {
        for (const auto& o : _orders)
            say("order " + o.first + " " + o.second.market + ": " + o.second.state);
    }

  private:
    struct Market {
        MarketID_t id = 0;
        OXFloat tick;
        bool ordered = false;
    };

    // Every connection starts without subscriptions, so they are made here for each one. A stop
    // that came while run() was starting or logging in again, and that run() may have cleared,
    // is made again here.
    void connectionStarts(OXClient& client, const char* what) {
        say(what);
        if (_stop.requested()) {
            client.stop();
            return;
        }
        if (!configure(client)) {
            say("the new configuration lacks the markets: stopping");
            client.stop();
            return;
        }
        for (int m = 0; m < NMARKETS; ++m) {
            say(std::string("subscribeMD ") + MARKETS[m] + ": " +
                result(client.subscribeMD(_feedID, _markets[m].id)));
        }
        say("subscribeOF: " + result(client.subscribeOF(_feedID)));
        // Orders entered before a reconnection may still rest at the service: their reports
        // come with the order flow, and what was missed meanwhile can be replayed
        // (docs/sequence-ids.md).
    }

    void report(const std::string& clOrdID, const std::string& what) {
        say("order " + clOrdID + ": " + what);
        auto it = _orders.find(clOrdID);
        if (it != _orders.end()) it->second.state = what;
    }

    int index(MarketID_t id) const {
        for (int m = 0; m < NMARKETS; ++m) {
            if (_markets[m].id == id) return m;
        }
        return -1;
    }
    std::string name(MarketID_t id) const {
        const int m = index(id);
        return m < 0 ? "market " + std::to_string(id) : MARKETS[m];
    }

    const StopFlag& _stop;
    // Client order ids of this process start with its start time, so that they differ from those
    // of an earlier run of the program that the service may still know.
    const std::string _prefix = "p" + std::to_string(std::time(nullptr));
    FeedID_t _feedID = 0;
    Market _markets[NMARKETS];
    int _orderCount = 0;
    std::map<std::string, Order> _orders;
};

// Results after which trying again later may succeed: the connection, not the login, failed.
bool worthRetrying(APIResult::Type r) {
    switch (r) {
        case APIResult::INVALID_USER:
        case APIResult::INVALID_PASSWORD:
        case APIResult::USER_LOCKED:
        case APIResult::INCOMPATIBLE_PROTOCOL:
            return false;
        default:
            return true;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The arguments are read before anything is made: a usage error leaves nothing behind.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << USAGE;
            return 0;
        }
    }
    if (argc != 3 && argc != 5) {
        std::cerr << USAGE;
        return 2;
    }
    const int port1 = portOf(argv[2]);
    const int port2 = argc == 5 ? portOf(argv[4]) : 0;
    const char* const badPort = port1 == 0 ? argv[2] : argc == 5 && port2 == 0 ? argv[4] : nullptr;
    if (badPort != nullptr) {
        std::cerr << "zurav-example-production: '" << badPort << "' is not a port\n" << USAGE;
        return 2;
    }

    // Before any thread starts, so that every thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    OXInit::initialize();
    std::string logDir = env("ZURAV_LOG_DIR", "");
    if (logDir.empty()) {
        char made[] = "/tmp/zurav-production-XXXXXX";
        if (mkdtemp(made) != nullptr) logDir = made;
    }
    if (logDir.empty() || OXClient::setlog(logDir.c_str(), true) != APIResult::OK) {
        std::cerr << "zurav-example-production: cannot log into '" << logDir << "'" << std::endl;
        OXInit::finalize();
        return 1;
    }
    say("logging into " + logDir);

    const std::string user = env("ZURAV_USER", "trader");
    const std::string password = env("ZURAV_PASSWORD", "secret");
    OXClient* client =
        argc == 5 ? new OXClient(user.c_str(), password.c_str(), argv[1], port1, argv[3], port2)
                  : new OXClient(user.c_str(), password.c_str(), argv[1], port1);
    int status = 0;
    {
        StopFlag stop;
        Trader trader(stop);
        SignalThread signalThread(signals, stop, *client);

        const std::chrono::milliseconds firstWait(1000);
        const std::chrono::milliseconds longestWait(30000);
        std::chrono::milliseconds wait = firstWait;
        while (!stop.requested()) {
            const APIResult::Type login = client->connect();
            say("connect: " + result(login));
            APIResult::Type end = login;
            if (login == APIResult::OK) {
                wait = firstWait;
                if (!trader.configure(*client)) {
                    say("the configuration lacks the markets");
                    client->close();
                    status = 1;
                    break;
                }
                // Until a stop, or a lost connection that run() could not win back. A stop made
                // before this point is seen in onStart.
                end = client->run(&trader);
                say("run: " + result(end));
                // After a stop, BUFFER_FULL or PROTOCOL_ERROR the connection is still open: say
                // goodbye and close it (NOT_CONNECTED when run() already lost it).
                client->close();
            }
            if (stop.requested()) break;
            if (!worthRetrying(end)) {
                say("the server refused the login: giving up");
                status = 1;
                break;
            }
            // Connection errors (and the rare end of run() without a stop of ours): try again.
            say("connecting again in " + std::to_string(wait.count()) + " ms");
            if (stop.waitFor(wait)) break;
            wait = std::min(wait * 2, longestWait);
        }
        trader.summary();
    }
    client->release();
    OXInit::finalize();
    say("stopped");
    return status;
}
