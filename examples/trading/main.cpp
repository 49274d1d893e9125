// A trading client: initialises the library, logs into a temporary folder, logs in, subscribes
// to the market data of one market and to the order flow of its feed, then, driven by what
// arrives, submits an order, modifies it and cancels it, printing every quote and report as it
// comes; then it stops and closes the session.
//
//   zurav-example-trading HOST PORT [MARKET [HOST2 PORT2]]
//
// MARKET is EUR/USD by default; HOST2 PORT2 is a second server to fail over to.
//
// Everything after connect() happens on the thread that calls run(): the handler's callbacks
// make the requests, and the last one stops the loop. A second thread only watches the clock.
// After a lost connection run() logs in again (to the second server when the first is gone) and
// the handler subscribes again; an order in flight when the connection was lost is not followed
// up (see zurav-example-production for an application that keeps going).
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iostream>
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
    "usage: zurav-example-trading HOST PORT [MARKET [HOST2 PORT2]]\n"
    "Logs in to the server at HOST PORT (and fails over to HOST2 PORT2 when given), subscribes\n"
    "to the quotes of MARKET (EUR/USD by default) and to the order flow of its feed, then\n"
    "submits an order, modifies it and cancels it. The library's logs go to a new folder\n"
    "under /tmp, which the first line names.\n";

void say(const std::string& line) { std::cout << "client  " << line << std::endl; }

// The port that text names (1 to 65535), or 0 when it names none.
int portOf(const char* text) {
    long port = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || port > 65535) return 0;
        port = port * 10 + (*c - '0');
    }
    return port <= 65535 ? static_cast<int>(port) : 0;
}

// An amount without the trailing zeros of its nine decimal places.
std::string amount(const OXFloat& x) {
    std::string s = x.toString();
    const size_t point = s.find('.');
    if (point == std::string::npos) return s;
    const size_t last = s.find_last_not_of('0');
    return s.substr(0, last == point ? point : last + 1);
}

// A price with as many decimal places as the market's smallest increment has.
std::string price(const OXFloat& x, const OXFloat& tick) {
    int places = 9;
    for (int64_t raw = tick.toInt(); places > 0 && raw != 0 && raw % 10 == 0; raw /= 10) --places;
    const std::string s = x.toString();
    const size_t point = s.find('.');
    return point == std::string::npos ? s : s.substr(0, point + (places > 0 ? places + 1 : 0));
}

std::string result(APIResult::Type r) {
    const char* name = APIResult::toString(r);
    return name != nullptr ? name : std::to_string(static_cast<int>(r));
}

// The application's handler. AbstractOXHandler gives every callback an empty body; this one
// overrides those it wants. Callbacks run on the thread inside run(), one at a time, and may
// make requests on the client. The records they get are valid during the call only.
class Trader : public AbstractOXHandler {
  public:
    Trader(const APIFeed& feed, const APIMarket& market)
        : _feedID(feed.feedID),
          _marketID(market.marketID),
          _market(market.name),
          _tick(market.minIncrement) {}

    // A new connection has no subscriptions: subscribe when run() starts, and again after every
    // reconnection inside run() (the quotes come back after a fail-over).
    void onStart(OXClient& client) override {
        say("run started: subscribing to " + _market + " and to the order flow of feed " +
            std::to_string(_feedID));
        subscribe(client);
    }
    void onConnect(OXClient& client) override {
        say("connected again: subscribing again");
        subscribe(client);
    }

    void onSubscriptionEvent(const SubscriptionEvent& e, OXClient&) override {
        say("subscription " +
            std::string(e.sub.apiType == APIType::MARKETDATA ? "market data" : "order flow") +
            ": " + SubscriptionStatus::toString(e.status));
    }

    void onMarketData(const MarketView& view, OXClient& client) override {
        std::string line = "quote " + _market;
        for (const MDEntry& e : view.mdEntryList) {
            line += e.side == Side::BID ? "  bid " : "  ofr ";
            line += price(e.price, _tick) + " x " + amount(e.amount);
            if (e.side == Side::BID) _bestBid = e.price;
        }
        say(line);
        ++_quotes;

        if (_step == WATCHING && _quotes == 2) {
            // A bid 10 ticks under the market: it rests, and is never filled.
            const OXFloat limit = _bestBid - _tick * 10;
            say("submitting order demo-1: buy 1000000 " + _market + " at " + price(limit, _tick));
            const std::pair<APIResult::Type, OrderID_t> r =
                client.submitOrder("demo-1", _feedID, _marketID, Side::BID, OXFloat("1000000"),
                                   limit, OrderType::LIMIT, TimeInForce::GTC);
            say("  submitOrder: " + result(r.first) + ", order id " + std::to_string(r.second));
            _price = limit;
            _step = SUBMITTED;
        } else if (_step == CANCELED && ++_quotesAfterCancel == 2) {
            say("done: unsubscribing and stopping");
            client.unsubscribeMD(_feedID, _marketID);
            client.stop();
        }
    }

    void onOrderReceived(const OrderReceived& o, OXClient&) override {
        say("order received   " + o.clOrdID + " (order id " + std::to_string(o.orderID) + ") " +
            amount(o.amount) + " at " + price(o.price, _tick) + ", sequence id " +
            std::to_string(o.sequenceID));
    }

    void onOrderSubmitted(const OrderSubmitted& o, OXClient& client) override {
        say("order submitted  " + o.clOrdID + " on the exchange as " + o.exOrdID + ", " +
            OrderStatus::toString(o.ordStatus));
        if (_step == SUBMITTED) {
            // Twice the amount, one tick higher; from now on the order is demo-1b.
            _price = _price + _tick;
            say("modifying demo-1 as demo-1b: 2000000 at " + price(_price, _tick));
            const std::pair<APIResult::Type, OrderID_t> r =
                client.modifyOrder("demo-1", "demo-1b", OXFloat("2000000"), _price);
            say("  modifyOrder: " + result(r.first));
            _step = MODIFIED;
        } else if (_step == MODIFIED) {
            say("canceling demo-1b");
            say("  cancelOrder: " + result(client.cancelOrder("cancel-1", "demo-1b")));
            _step = CANCELING;
        }
    }

    void onOrderCanceled(const OrderCanceled& o, OXClient&) override {
        say("order canceled   " + o.clOrdID + " by request " + o.cxlID);
        _step = CANCELED;
    }
    void onOrderRejected(const OrderRejected& o, OXClient&) override {
        say("order rejected   " + o.clOrdID + ": " + RejectReason::toString(o.reason));
    }
    void onOrderCancelRejected(const OrderCancelRejected& o, OXClient&) override {
        say("cancel rejected  " + o.clOrdID + ": " + CancelRejectReason::toString(o.reason));
    }
    void onOrderDone(const OrderDone& o, OXClient&) override { say("order done " + o.clOrdID); }
    void onTradeCapture(const TradeCapture& t, OXClient&) override {
        say("trade " + t.clOrdID + " " + amount(t.amount) + " at " + price(t.price, _tick));
    }

    void onDisconnect(OXClient&) override { say("connection lost; reconnecting"); }
    void onStop(OXClient&) override { say("run stopped"); }

  private:
    void subscribe(OXClient& client) {
        say("  subscribeMD: " + result(client.subscribeMD(_feedID, _marketID)));
        say("  subscribeOF: " + result(client.subscribeOF(_feedID)));
    }

    enum Step { WATCHING, SUBMITTED, MODIFIED, CANCELING, CANCELED };

    const FeedID_t _feedID;
    const MarketID_t _marketID;
    const std::string _market;
    const OXFloat _tick;
    Step _step = WATCHING;
    int _quotes = 0;
    int _quotesAfterCancel = 0;
    OXFloat _bestBid;
    OXFloat _price;
};

// Stops the client if run() is still going after `limit`: a server that never quotes must not
// keep the example waiting. stop() may be called from any thread.
class Watchdog {
  public:
    Watchdog(OXClient& client, std::chrono::seconds limit)
        : _thread([this, &client, limit] {
              std::unique_lock<std::mutex> lock(_mutex);
              if (!_changed.wait_for(lock, limit, [this] { return _done; })) {
                  say("no progress in time: stopping");
                  client.stop();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _done = true;
        }
        _changed.notify_all();
        _thread.join();
    }

  private:
    std::mutex _mutex;
    std::condition_variable _changed;
    bool _done = false;
    std::thread _thread;  // last: starts once the rest exists
};

}  // namespace

int main(int argc, char** argv) {
    // The arguments are read before anything is made: a usage error leaves nothing behind.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << USAGE;
            return 0;
        }
    }
    if (argc != 3 && argc != 4 && argc != 6) {
        std::cerr << USAGE;
        return 2;
    }
    const char* const host = argv[1];
    const int port = portOf(argv[2]);
    const char* const marketName = argc > 3 ? argv[3] : "EUR/USD";
    const char* const host2 = argc == 6 ? argv[4] : nullptr;
    const int port2 = argc == 6 ? portOf(argv[5]) : 0;
    const char* const badPort = port == 0 ? argv[2] : argc == 6 && port2 == 0 ? argv[5] : nullptr;
    if (badPort != nullptr) {
        std::cerr << "zurav-example-trading: '" << badPort << "' is not a port\n" << USAGE;
        return 2;
    }

    // Once per process, on the thread that will also finalise the library.
    OXInit::initialize();

    // The library's text and binary logs go to a folder of their own.
    char logDir[] = "/tmp/zurav-example-XXXXXX";
    if (mkdtemp(logDir) == nullptr || OXClient::setlog(logDir, true) != APIResult::OK) {
        std::cerr << "zurav-example-trading: cannot log into " << logDir << std::endl;
        OXInit::finalize();
        return 1;
    }
    say(std::string("logging into ") + logDir);

    OXClient* client = host2 != nullptr ? new OXClient("trader", "secret", host, port, host2, port2)
                                        : new OXClient("trader", "secret", host, port);
    int status = 0;
    const APIResult::Type login = client->connect();
    say(std::string("connect to ") + host + ":" + std::to_string(port) + ": " + result(login));
    if (login == APIResult::OK) {
        // The configuration arrived with the login: find the market by name.
        int n = 0;
        const APIFeed* feeds = client->getFeeds(n);
        const APIFeed* feed = nullptr;
        const APIMarket* market = nullptr;
        for (int i = 0; i < n && market == nullptr; ++i) {
            say("feed " + feeds[i].name + " (id " + std::to_string(feeds[i].feedID) + ") on " +
                feeds[i].exchangeName + ", " + std::to_string(feeds[i].marketList.size()) +
                " markets");
            market = client->getMarketByName(feeds[i], marketName);
            feed = &feeds[i];
        }
        if (market == nullptr) {
            say(std::string("no market ") + marketName);
            status = 1;
        } else {
            Trader trader(*feed, *market);
            APIResult::Type end;
            {
                Watchdog watchdog(*client, std::chrono::seconds(15));
                end = client->run(&trader);
            }
            say("run returned " + result(end));
            status = end == APIResult::OK ? 0 : 1;
        }
        // A goodbye to the server; the connection is closed.
        say("close: " + result(client->close()));
    } else {
        status = 1;
    }
    client->release();
    OXInit::finalize();
    return status;
}
