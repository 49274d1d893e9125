// zurav-demo-server: a small stand-in for the trading service's API server, on 127.0.0.1 only,
// for trying the library and its examples without a real service. It is the scriptable server of
// the client's tests, given one behaviour:
//
//   - every login is accepted (any user, any password) with one feed of FX markets, carrying
//     market data and order flow;
//   - a market-data subscription gets a subscription event and then a two-sided quote of the
//     market every --quote-ms milliseconds, the prices walking at random, until it is
//     unsubscribed;
//   - an order is received and accepted (never filled); a modification is received and accepted
//     again; a cancellation of a live order is confirmed, of any other is rejected; a cancel-all
//     cancels the feed's live orders;
//   - a user lock or unlock is confirmed.
//
// Replay requests, snapshot requests, market combinations (registering and unregistering) and
// test requests are ignored: nothing is sent back and nothing printed.
//
// It prints one line per request (pings and the ignored ones aside) and per report sent (quotes
// aside), prices and amounts with the digits they were sent with. It serves one client at a time: a
// new connection replaces the one it served, which stays open and has its requests answered but
// gets no more quotes. It runs until SIGINT or SIGTERM.
//
//   zurav-demo-server [--port N] [--feed NAME] [--exchange NAME] [--markets A,B,...]
//                     [--quote-ms N]
#include <signal.h>

#include <algorithm>
#include <boost/program_options.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "api/APIAll.h"
#include "client/OXInit.h"
#include "support/client/TestServer.h"

namespace {

using namespace ZURAV;
using test_support::Behaviour;
using test_support::ReceivedFrame;
using test_support::Reply;
using test_support::TestServer;

const FeedID_t FEED_ID = 1;
// Feed flag bits: the feed carries market data, order flow.
const FeedFlags_t MARKET_DATA = 2;
const FeedFlags_t TRADING = 4;

int64_t now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// One line on standard output, whole, from any thread.
void say(const std::string& line) {
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    std::cout << "server  " << line << std::endl;
}

// A price or an amount with the digits it was sent with: every decimal up to the last one that
// is not zero (1.084855, 1.08485, 1000000), or the name of a sentinel.
std::string text(const OXFloat& x) {
    const std::string s = x.toString();
    const size_t point = s.find('.');
    if (point == std::string::npos) return s;
    const size_t last = s.find_last_not_of('0');
    return s.substr(0, last == point ? point : last + 1);
}

const char* sideName(Side::Type side) {
    return side == Side::BID ? "BID" : side == Side::OFR ? "OFR" : "?";
}

struct Market {
    MarketID_t id;
    std::string name;
    int decimals;  // of a price
    OXFloat mid;   // where the quotes walk from
};

struct Order {
    std::string clOrdID;
    MarketID_t marketID = 0;
    Side::Type side = Side::BID;
    OXFloat amount;
    OXFloat price;
};

// What the responders (on the server thread) and the quoting thread share.
class Exchange {
  public:
    Exchange(std::vector<Market> markets, std::string feedName, std::string exchangeName)
        : _markets(std::move(markets)),
          _feedName(std::move(feedName)),
          _exchangeName(std::move(exchangeName)) {}

    ConfigMessage config() const {
        ConfigMessage config;
        APIFeed feed;
        feed.name = _feedName;
        feed.exchangeName = _exchangeName;
        feed.feedID = FEED_ID;
        feed.flags = MARKET_DATA | TRADING;
        for (const Market& m : _markets) {
            APIMarket market;
            market.marketID = m.id;
            market.name = m.name;
            market.feedID = FEED_ID;
            market.minIncrement = OXFloat(1.0 / pow10(m.decimals), m.decimals);
            market.bigIncrement = OXFloat(10.0 / pow10(m.decimals), m.decimals);
            market.instrumentType = InstrumentType::SPOT;
            market.settlementDate = StandardTenor::SP;
            feed.marketList.push_back(market);
        }
        config.feedsList.push_back(feed);
        return config;
    }

    const Market* market(MarketID_t id) const {
        for (const Market& m : _markets)
            if (m.id == id) return &m;
        return nullptr;
    }
    std::string marketName(MarketID_t id) const {
        const Market* m = market(id);
        return m != nullptr ? m->name : "market " + std::to_string(id);
    }

    // ---- the server thread ----

    void subscribe(const SubscribeMessage& request, Reply& reply) {
        const Subscription& sub = request.sub;
        const bool md = sub.apiType == APIType::MARKETDATA;
        say("< subscribe " + std::string(md ? "market data " + marketName(sub.marketID)
                                            : "order flow of feed " + std::to_string(sub.feedID)));
        bool ok = sub.feedID == FEED_ID && (!md || market(sub.marketID) != nullptr);
        if (ok && md) {
            std::lock_guard<std::mutex> lock(_mutex);
            if (reply.connection() != _quotedConnection) _quoted.clear();
            _quotedConnection = reply.connection();
            _quoted.insert(sub.marketID);
        }
        SubscriptionEventMessage event;
        event.contents.sub = sub;
        event.contents.clSubID = request.clSubID;
        event.contents.status = ok ? SubscriptionStatus::ENABLED : SubscriptionStatus::ERROR;
        event.contents.reason = ok ? "" : "unknown feed or market";
        event.contents.sticky = request.sticky;
        event.sessionID = reply.sessionID();
        event.timestamp = now();
        reply.send(event);
        say(std::string("> subscription ") + (ok ? "enabled" : "refused"));
    }

    void unsubscribe(const UnsubscribeMessage& request, Reply& reply) {
        const Subscription& sub = request.sub;
        say("< unsubscribe " + (sub.apiType == APIType::MARKETDATA
                                    ? "market data " + marketName(sub.marketID)
                                    : "order flow of feed " + std::to_string(sub.feedID)));
        std::lock_guard<std::mutex> lock(_mutex);
        if (reply.connection() == _quotedConnection) _quoted.erase(request.sub.marketID);
    }

    void unsubscribeAll(Reply& reply) {
        say("< unsubscribe all");
        std::lock_guard<std::mutex> lock(_mutex);
        if (reply.connection() == _quotedConnection) _quoted.clear();
    }

    void submit(const SubmitOrderMessage& request, Reply& reply) {
        const SubmitOrder& o = request.contents;
        say("< submit " + o.clOrdID + ": " + sideName(o.side) + " " + text(o.amount) + " " +
            marketName(o.marketID) + " at " + text(o.price) + ", order id " +
            std::to_string(o.orderID));
        if (o.feedID != FEED_ID || market(o.marketID) == nullptr) {
            OrderRejectedMessage rejected;
            rejected.contents.sequenceID = nextSequenceID();
            rejected.contents.orderID = o.orderID;
            rejected.contents.clOrdID = o.clOrdID;
            rejected.contents.timeApiServer = now();
            rejected.contents.feedID = o.feedID;
            rejected.contents.marketID = o.marketID;
            rejected.contents.reason = RejectReason::UNKNOWN_ORDER;
            reply.send(rejected);
            say("> rejected " + o.clOrdID);
            return;
        }
        Order order;
        order.clOrdID = o.clOrdID;
        order.marketID = o.marketID;
        order.side = o.side;
        order.amount = o.amount;
        order.price = o.price;
        _orders[o.orderID] = order;
        accept(o.orderID, order, reply);
    }

    void modify(const ModifyOrderMessage& request, Reply& reply) {
        const ModifyOrder& m = request.contents;
        say("< modify " + m.clOrdID + " as " + m.clNewID + ": " + text(m.amount) + " at " +
            text(m.price));
        const auto it = _orders.find(m.orderID);
        if (it == _orders.end()) {
            cancelRejected(m.orderID, m.clOrdID, m.clNewID, reply);
            return;
        }
        if (!m.clNewID.empty()) it->second.clOrdID = m.clNewID;
        it->second.amount = m.amount;
        it->second.price = m.price;
        accept(m.orderID, it->second, reply);
    }

    void cancel(const CancelOrderMessage& request, Reply& reply) {
        const CancelOrder& c = request.contents;
        say("< cancel " + c.clOrdID + " (order id " + std::to_string(c.orderID) + "), request " +
            c.cxlID);
        const auto it = _orders.find(c.orderID);
        if (it == _orders.end()) {
            cancelRejected(c.orderID, c.clOrdID, c.cxlID, reply);
            return;
        }
        canceled(it->first, it->second, c.cxlID, reply);
        _orders.erase(it);
    }

    void cancelAll(const CancelAllOrderMessage& request, Reply& reply) {
        say("< cancel all of feed " + std::to_string(request.contents.feedID));
        if (request.contents.feedID != FEED_ID) return;
        for (const auto& live : _orders)
            canceled(live.first, live.second, request.contents.cxlID, reply);
        _orders.clear();
    }

    void lockUser(const LockUserMessage& request, Reply& reply) {
        const LockUser& l = request.contents;
        say(std::string("< ") + (l.locked ? "lock" : "unlock") + " user " + l.username +
            ", request " + l.clRequestID);
        LockResponseMessage response;
        response.contents.clRequestID = l.clRequestID;
        response.contents.status = LockStatus::SUCCESS;
        reply.send(response);
        say("> lock response " + l.clRequestID + ": success");
    }

    // ---- the quoting thread ----

    // A quote of every subscribed market of the connection taken last, sent through send.
    template <class Send>
    void quote(Send send) {
        std::vector<MktDataMessage> quotes;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            if (_quotedConnection == _latestConnection) {
                for (MarketID_t id : _quoted) quotes.push_back(nextQuote(id));
            }
        }
        for (const MktDataMessage& q : quotes) send(q);
    }

    void forgetQuotes() {
        std::lock_guard<std::mutex> lock(_mutex);
        _quoted.clear();
    }

    // Quotes go to the connection taken last, and only for its own subscriptions.
    void connectionTaken(size_t index) {
        std::lock_guard<std::mutex> lock(_mutex);
        _latestConnection = index;
    }

  private:
    static double pow10(int n) {
        double x = 1;
        while (n-- > 0) x *= 10;
        return x;
    }

    SequenceID_t nextSequenceID() { return ++_sequenceID; }

    void accept(OrderID_t orderID, const Order& order, Reply& reply) {
        OrderReceivedMessage received;
        OrderReceived& r = received.contents;
        r.sequenceID = nextSequenceID();
        r.orderID = orderID;
        r.clOrdID = order.clOrdID;
        r.timeApiServer = now();
        r.feedID = FEED_ID;
        r.marketID = order.marketID;
        r.side = order.side;
        r.amount = order.amount;
        r.price = order.price;
        r.ordType = OrderType::LIMIT;
        r.timeInForce = TimeInForce::GTC;
        reply.send(received);

        OrderSubmittedMessage submitted;
        OrderSubmitted& s = submitted.contents;
        s.sequenceID = nextSequenceID();
        s.orderID = orderID;
        s.clOrdID = order.clOrdID;
        s.exOrdID = "X" + std::to_string(++_exchangeOrders);
        s.amount = order.amount;
        s.ordStatus = OrderStatus::ACCEPTED;
        s.timeExchange = s.timeHandler = s.timeApiServer = now();
        s.feedID = FEED_ID;
        s.marketID = order.marketID;
        reply.send(submitted);
        say("> received and accepted " + order.clOrdID + " as " + s.exOrdID);
    }

    void canceled(OrderID_t orderID, const Order& order, const std::string& cxlID, Reply& reply) {
        OrderCanceledMessage msg;
        OrderCanceled& c = msg.contents;
        c.sequenceID = nextSequenceID();
        c.orderID = orderID;
        c.clOrdID = order.clOrdID;
        c.cxlID = cxlID;
        c.timeExchange = c.timeHandler = c.timeApiServer = now();
        c.feedID = FEED_ID;
        c.marketID = order.marketID;
        c.side = order.side;
        c.amount = order.amount;
        c.price = order.price;
        c.reason = CancelReason::CANCEL_REQUESTED;
        reply.send(msg);
        say("> canceled " + order.clOrdID);
    }

    void cancelRejected(OrderID_t orderID, const std::string& clOrdID, const std::string& cxlID,
                        Reply& reply) {
        OrderCancelRejectedMessage msg;
        OrderCancelRejected& r = msg.contents;
        r.sequenceID = nextSequenceID();
        r.orderID = orderID;
        r.clOrdID = clOrdID;
        r.cxlID = cxlID;
        r.timeApiServer = now();
        r.feedID = FEED_ID;
        r.reason = CancelRejectReason::UNKNOWN_ORDER;
        reply.send(msg);
        say("> cancel of " + clOrdID + " rejected: unknown order");
    }

    // Caller holds _mutex.
    MktDataMessage nextQuote(MarketID_t id) {
        Market& m = *std::find_if(_markets.begin(), _markets.end(),
                                  [id](const Market& x) { return x.id == id; });
        const double tick = 1.0 / pow10(m.decimals);
        std::uniform_int_distribution<int> step(-3, 3);
        m.mid = OXFloat(m.mid.toDouble() + step(_random) * tick, m.decimals);
        MktDataMessage msg;
        MarketView& v = msg.mvd;
        v.fmID.marketID = id;
        v.fmID.feedID = FEED_ID;
        v.timeExchange = v.timeArrival = v.timeHandler = v.timeApiServer = now();
        v.isSnapshot = true;
        for (Side::Type side : {Side::BID, Side::OFR}) {
            MDEntry e;
            e.price = OXFloat(m.mid.toDouble() + (side == Side::BID ? -tick : tick), m.decimals);
            e.amount = OXFloat(static_cast<int64_t>(1000000) * 1000000000);
            e.minAmount = OXFloat::ZERO;
            e.updateAction = MDUpdateAction::NEW;
            e.element = MDElement::LEVEL;
            e.side = side;
            e.source = 1;  // market data
            e.numberOfOrders = 1;
            v.mdEntryList.push_back(e);
        }
        return msg;
    }

    std::vector<Market> _markets;
    const std::string _feedName;
    const std::string _exchangeName;

    // The server thread's alone.
    std::map<OrderID_t, Order> _orders;
    SequenceID_t _sequenceID = 0;
    int _exchangeOrders = 0;

    std::mutex _mutex;  // guards what follows
    size_t _quotedConnection = 0;
    size_t _latestConnection = 0;
    std::set<MarketID_t> _quoted;
    std::mt19937 _random{20240601};
};

// Prints the frames the server answers by itself (the login) and the end of connections, as
// the server's record shows them.
void watch(const TestServer& server, Exchange& exchange, const bool& stopping, std::mutex& mutex) {
    size_t connections = 0;
    std::vector<size_t> seen;  // frames looked at, per connection
    std::vector<bool> closed;
    bool last = false;
    for (;;) {
        std::vector<std::string> lines;
        server.waitFor(
            [&](const TestServer::Record& r) {
                for (size_t i = 0; i < r.size(); ++i) {
                    if (i >= connections) {
                        connections = i + 1;
                        seen.resize(connections, 0);
                        closed.resize(connections, false);
                        lines.push_back("connection " + std::to_string(i) + " taken");
                    }
                    for (; seen[i] < r[i].frames.size(); ++seen[i]) {
                        const ReceivedFrame& f = r[i].frames[seen[i]];
                        if (const auto* login = f.as<ClientConnectMessage>()) {
                            lines.push_back("< login as " + login->user);
                            lines.push_back("> configuration and login accepted, session " +
                                            std::to_string(r[i].sessionID));
                        } else if (f.as<ClientDisconnectMessage>() != nullptr) {
                            lines.push_back("< disconnect");
                        } else if (const auto* log = f.as<InsertLogMessage>()) {
                            lines.push_back("< log: " + log->description);
                        }
                    }
                    if (r[i].closed && !closed[i]) {
                        closed[i] = true;
                        lines.push_back("connection " + std::to_string(i) + " ended");
                    }
                }
                return !lines.empty();
            },
            last ? std::chrono::milliseconds(0) : std::chrono::milliseconds(200));
        if (connections > 0) exchange.connectionTaken(connections - 1);
        for (const std::string& line : lines) say(line);
        if (last) return;
        // Once stopping, one more look takes what arrived while printing.
        std::lock_guard<std::mutex> lock(mutex);
        last = stopping;
    }
}

std::vector<Market> parseMarkets(const std::string& list) {
    std::vector<Market> markets;
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
        if (name.empty()) continue;
        Market m;
        m.id = static_cast<MarketID_t>(markets.size() + 1);
        m.name = name;
        const bool yen = name.find("JPY") != std::string::npos;
        m.decimals = yen ? 3 : 5;
        double mid = 1.0;
        if (name == "EUR/USD") mid = 1.085;
        if (name == "GBP/USD") mid = 1.27;
        if (name == "USD/JPY") mid = 151.2;
        if (name == "USD/CHF") mid = 0.884;
        m.mid = OXFloat(mid, m.decimals);
        markets.push_back(m);
    }
    if (markets.empty()) throw std::invalid_argument("--markets names no market");
    return markets;
}

}  // namespace

int main(int argc, char** argv) {
    namespace po = boost::program_options;
    po::options_description options("Options");
    int port = 0;
    int quoteMillis = 250;
    std::string feed;
    std::string exchange;
    std::string markets;
    options.add_options()("help", "print this text and exit")(
        "port", po::value<int>(&port)->default_value(0),
        "port on 127.0.0.1 to listen on; 0 lets the system choose one, which the first line "
        "of output names")(
        "feed", po::value<std::string>(&feed)->default_value("DEMO"),
        "name of the one feed (feed id 1), sent in the configuration at each login")(
        "exchange", po::value<std::string>(&exchange)->default_value("ZURAV-DEMO"),
        "exchange name of the feed")(
        "markets", po::value<std::string>(&markets)->default_value("EUR/USD,USD/JPY,GBP/USD"),
        "the feed's markets, comma-separated, with market ids 1, 2, ... in that order; a name "
        "holding JPY quotes with 3 decimal places, any other with 5")(
        "quote-ms", po::value<int>(&quoteMillis)->default_value(250),
        "milliseconds between two quotes of each subscribed market (at least 1)");
    po::variables_map vm;
    try {
        po::store(po::parse_command_line(argc, argv, options), vm);
        po::notify(vm);
        if (port < 0 || port > 65535) throw std::invalid_argument("--port out of range");
        if (quoteMillis < 1) throw std::invalid_argument("--quote-ms must be at least 1");
    } catch (const std::exception& e) {
        std::cerr << "zurav-demo-server: " << e.what() << "\n" << options << std::endl;
        return 2;
    }
    if (vm.count("help") != 0) {
        std::cout
            << "zurav-demo-server: a stand-in API server on 127.0.0.1, for trying the library\n"
               "and its examples without the service. It accepts every login, whatever the user\n"
               "and password, and configures one feed of FX markets that carries market data and\n"
               "order flow. A market-data subscription gets a two-sided quote of the market every\n"
               "--quote-ms milliseconds, the prices walking at random. Orders are received and\n"
               "accepted but never filled; modifications are accepted; cancellations of live\n"
               "orders are confirmed, of others rejected; user locks are confirmed; pings are\n"
               "answered. Replay requests, snapshot requests, market combinations (registering\n"
               "and unregistering) and test requests are ignored: no answer, no line printed.\n"
               "It serves one client at a time: a new connection replaces the one it served,\n"
               "which stays open but gets no more quotes. It prints a line per request (pings\n"
               "and the ignored ones aside) and per report (quotes aside), prices and amounts\n"
               "with the digits they were sent with, and runs until SIGINT or SIGTERM.\n\n"
               "usage: zurav-demo-server [options]\n"
            << options;
        return 0;
    }

    // SIGINT and SIGTERM are taken by sigwait below, on this thread only: blocked before any
    // thread starts, so that every thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ZURAV::OXInit::initialize();
    int status = 0;
    try {
        Exchange exchangeState(parseMarkets(markets), feed, exchange);
        TestServer server(TestServer::Clock(), port);
        Behaviour behaviour = Behaviour::accept();
        behaviour.configs.push_back(exchangeState.config());
        LastSequenceIDMessage last;
        last.feedID = FEED_ID;
        last.origFeedID = FEED_ID;
        last.sequenceID = 0;
        behaviour.lastSequenceIDs.push_back(last);
        server.setDefault(behaviour);

        Exchange* const x = &exchangeState;
        server.respond<SubscribeMessage>(
            [x](const SubscribeMessage& m, Reply& r) { x->subscribe(m, r); });
        server.respond<UnsubscribeMessage>(
            [x](const UnsubscribeMessage& m, Reply& r) { x->unsubscribe(m, r); });
        server.respond<UnsubscribeAllMessage>(
            [x](const UnsubscribeAllMessage&, Reply& r) { x->unsubscribeAll(r); });
        server.respond<SubmitOrderMessage>(
            [x](const SubmitOrderMessage& m, Reply& r) { x->submit(m, r); });
        server.respond<ModifyOrderMessage>(
            [x](const ModifyOrderMessage& m, Reply& r) { x->modify(m, r); });
        server.respond<CancelOrderMessage>(
            [x](const CancelOrderMessage& m, Reply& r) { x->cancel(m, r); });
        server.respond<CancelAllOrderMessage>(
            [x](const CancelAllOrderMessage& m, Reply& r) { x->cancelAll(m, r); });
        server.respond<LockUserMessage>(
            [x](const LockUserMessage& m, Reply& r) { x->lockUser(m, r); });

        std::cout << "zurav-demo-server listening on 127.0.0.1:" << server.port() << std::endl;
        say("feed " + feed + " (id 1) on " + exchange + ", markets " + markets +
            ", a quote every " + std::to_string(quoteMillis) + " ms");

        std::mutex mutex;
        std::condition_variable wake;
        bool stopping = false;
        std::thread watcher([&] { watch(server, exchangeState, stopping, mutex); });
        std::thread quoter([&] {
            std::unique_lock<std::mutex> lock(mutex);
            while (!wake.wait_for(lock, std::chrono::milliseconds(quoteMillis),
                                  [&] { return stopping; })) {
                lock.unlock();
                try {
                    exchangeState.quote([&](const MktDataMessage& q) { server.send(q); });
                } catch (const std::runtime_error&) {
                    exchangeState.forgetQuotes();  // the connection is gone
                }
                lock.lock();
            }
        });

        int signal = 0;
        sigwait(&signals, &signal);
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        quoter.join();
        watcher.join();
        say("stopped");
    } catch (const std::exception& e) {
        std::cerr << "zurav-demo-server: " << e.what() << std::endl;
        status = 1;
    }
    ZURAV::OXInit::finalize();
    return status;
}
