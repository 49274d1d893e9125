// The library's side of the session rows (SessionBench.h): an OXClient over loopback TCP against
// the client tests' server, the demonstration server's code, in this process. The server accepts
// every login with one feed that carries market data and order flow, answers pings, and answers
// every order at once from its responder with OrderReceived and then OrderDone.

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Registry.h"
#include "SessionBench.h"
#include "Shapes.h"
#include "ZuravShapes.h"
#include "api/APIResult.h"
#include "api/ConfigMessage.h"
#include "api/LastSequenceIDMessage.h"
#include "api/MktDataMessage.h"
#include "api/OrderDoneMessage.h"
#include "api/OrderReceivedMessage.h"
#include "api/SubmitOrderMessage.h"
#include "client/AbstractOXHandler.h"
#include "client/OXClient.h"
#include "client/OXInit.h"
#include "support/client/TestServer.h"
#include "support/client/WireFrame.h"

namespace Bench {
namespace {

using test_support::Behaviour;
using test_support::Reply;
using test_support::TestServer;
using ZURAV::APIResult;
using ZURAV::OXClient;
using ZURAV::OXFloat;

constexpr char USER[] = "bench";
constexpr char HOST[] = "127.0.0.1";
constexpr ZURAV::FeedFlags_t MARKET_DATA_FLAG = 2;
constexpr ZURAV::FeedFlags_t TRADING_FLAG = 4;
// The orders' client order ids: "ORD-" and ten digits, so that every order frame has the same
// size.
constexpr char CL_ORD_ID_FORMAT[] = "ORD-%010d";

int64_t realTime() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The feed of the orders and the market data, as the server configures it.
ZURAV::ConfigMessage config() {
    ZURAV::ConfigMessage c;
    ZURAV::APIFeed feed;
    feed.name = "BENCH";
    feed.exchangeName = "ZURAV-BENCH";
    feed.feedID = Order::FEED_ID;
    feed.flags = MARKET_DATA_FLAG | TRADING_FLAG;
    ZURAV::APIMarket market;
    market.marketID = Order::MARKET_ID;
    market.name = "EUR/USD";
    market.feedID = Order::FEED_ID;
    market.minIncrement = OXFloat(10000);
    market.bigIncrement = OXFloat(100000);
    feed.marketList.push_back(market);
    c.feedsList.push_back(feed);
    return c;
}

Behaviour behaviour(bool answerPings) {
    Behaviour b = Behaviour::accept();
    b.configs.push_back(config());
    ZURAV::LastSequenceIDMessage last;
    last.feedID = Order::FEED_ID;
    last.origFeedID = Order::FEED_ID;
    last.sequenceID = 0;
    b.lastSequenceIDs.push_back(last);
    b.answerPings = answerPings;
    return b;
}

// The order that the client's submitOrder sends for the order rows, with order id orderID.
ZURAV::SubmitOrderMessage clientOrder(ZURAV::OrderID_t orderID, const char* clOrdID, int64_t now) {
    ZURAV::SubmitOrderMessage m;
    m.userID = 0;
    m.quoteID = Order::QUOTE_ID;
    ZURAV::SubmitOrder& o = m.contents;
    o.orderID = orderID;
    o.clOrdID = clOrdID;
    o.timeApiClient = now;
    o.timeApiServer = 0;
    o.timeHandler = 0;
    o.feedID = Order::FEED_ID;
    o.marketID = Order::MARKET_ID;
    o.side = static_cast<ZURAV::Side::Type>(Order::SIDE);
    o.amount = OXFloat(Order::AMOUNT);
    o.price = OXFloat(Order::PRICE);
    o.ordType = static_cast<ZURAV::OrderType::Type>(Order::ORD_TYPE);
    o.timeInForce = static_cast<ZURAV::TimeInForce::Type>(Order::TIME_IN_FORCE);
    o.stopPrice = OXFloat(Order::STOP_PRICE);
    o.maxShow = OXFloat(Order::MAX_SHOW);
    return m;
}

// The server's two answers to an order: received (its acknowledgement) and done.
struct Answers {
    ZURAV::OrderReceivedMessage received;
    ZURAV::OrderDoneMessage done;
};

Answers answer(const ZURAV::SubmitOrder& o, ZURAV::SequenceID_t sequenceID, int64_t now) {
    Answers a;
    ZURAV::OrderReceived& r = a.received.contents;
    r.sequenceID = sequenceID;
    r.orderID = o.orderID;
    r.clOrdID = o.clOrdID;
    r.timeApiServer = now;
    r.feedID = o.feedID;
    r.marketID = o.marketID;
    r.side = o.side;
    r.amount = o.amount;
    r.price = o.price;
    r.ordType = o.ordType;
    r.timeInForce = o.timeInForce;
    ZURAV::OrderDone& d = a.done.contents;
    d.sequenceID = sequenceID + 1;
    d.orderID = o.orderID;
    d.clOrdID = o.clOrdID;
    d.exOrdID = Report::EX_ORD_ID;
    d.timeExchange = d.timeHandler = d.timeApiServer = now;
    d.feedID = o.feedID;
    d.marketID = o.marketID;
    return a;
}

// The server of one run, its thread on the server's processor.
std::unique_ptr<TestServer> startServer(bool answerPings) {
    Pinned pin(cpuPlan().server);
    std::unique_ptr<TestServer> server(new TestServer());
    server->setDefault(behaviour(answerPings));
    auto sequence = std::make_shared<ZURAV::SequenceID_t>(0);
    server->respond<ZURAV::SubmitOrderMessage>(
        [sequence](const ZURAV::SubmitOrderMessage& order, Reply& reply) {
            const Answers a = answer(order.contents, *sequence + 1, realTime());
            *sequence += 2;
            reply.send(a.received);
            reply.send(a.done);
        });
    return server;
}

// An OXClient, released at the end of its scope.
struct ClientRelease {
    void operator()(OXClient* c) const { c->release(); }
};
typedef std::unique_ptr<OXClient, ClientRelease> Client;

Client makeClient(int port) { return Client(new OXClient(USER, USER, HOST, port)); }

// --- order ---------------------------------------------------------------------------------------

// Sends the first order from onStart and each next one from the handler of the previous one's
// first report, timing each until that report.
class OrderHandler : public ZURAV::AbstractOXHandler {
  public:
    OrderHandler(int warmUp, int timed) : _warmUp(warmUp), _total(warmUp + timed) {
        _times.reserve(static_cast<size_t>(timed));
    }

    void onStart(OXClient& client) override { submit(client); }

    void onOrderReceived(const ZURAV::OrderReceived& r, OXClient& client) override {
        const int64_t at = nowNs();
        if (r.orderID != _orderID) _error = "a report of another order";
        if (_sent > _warmUp) _times.push_back(static_cast<double>(at - _sentAt));
        if (_sent == _warmUp) _allocs0 = allocations();
        if (_sent == _total || !_error.empty()) {
            _allocs = allocations() - _allocs0;
            client.stop();
            return;
        }
        submit(client);
    }

    void onOrderRejected(const ZURAV::OrderRejected&, OXClient& client) override {
        _error = "an order was rejected";
        client.stop();
    }

    std::vector<double>& times() { return _times; }
    bool complete() const { return _error.empty() && _sent == _total; }
    const std::string& error() const { return _error; }
    double allocsPerOrder() const {
        return _times.empty() ? 0 : static_cast<double>(_allocs) / _times.size();
    }

  private:
    void submit(OXClient& client) {
        char id[32];
        std::snprintf(id, sizeof id, CL_ORD_ID_FORMAT, ++_sent);
        _sentAt = nowNs();
        const auto result = client.submitOrder(
            id, Order::FEED_ID, Order::MARKET_ID, static_cast<ZURAV::Side::Type>(Order::SIDE),
            OXFloat(Order::AMOUNT), OXFloat(Order::PRICE), OXFloat(Order::STOP_PRICE),
            OXFloat(Order::MAX_SHOW), static_cast<ZURAV::OrderType::Type>(Order::ORD_TYPE),
            static_cast<ZURAV::TimeInForce::Type>(Order::TIME_IN_FORCE), Order::QUOTE_ID);
        _orderID = result.second;
        if (result.first != APIResult::OK) {
            _error = std::string("submitOrder: ") + APIResult::toString(result.first);
            client.stop();
        }
    }

    const int _warmUp;
    const int _total;
    int _sent = 0;
    int64_t _sentAt = 0;
    ZURAV::OrderID_t _orderID = 0;
    uint64_t _allocs0 = 0;
    uint64_t _allocs = 0;
    std::vector<double> _times;
    std::string _error;
};

void runOrders(benchmark::State& st) {
    const SessionSizes& z = sessionSizes();
    const std::unique_ptr<TestServer> server = startServer(true);
    Pinned pin(cpuPlan().client);
    const Client client = makeClient(server->port());
    const APIResult::Type connected = client->connect();
    if (connected != APIResult::OK) {
        st.SkipWithError((std::string("connect: ") + APIResult::toString(connected)).c_str());
        return;
    }
    OrderHandler handler(z.warmUp, z.roundTrips);
    bool expired = false;
    APIResult::Type result;
    {
        Watchdog watchdog(z.deadline, [&client] { client->stop(); });
        result = client->run(&handler);
        expired = watchdog.expired();
    }
    client->close();
    for (auto _ : st) {
        if (expired) {
            st.SkipWithError("no answer before the deadline");
        } else if (!handler.complete() || result != APIResult::OK) {
            st.SkipWithError(handler.error().empty() ? "run ended early" : handler.error().c_str());
        } else {
            const SessionFrames& f = sessionFrames();
            reportTimes(st, handler.times(), handler.allocsPerOrder(),
                        static_cast<double>(f.order.size() + f.received.size() + f.done.size()));
        }
    }
}

// --- md2, md10 -----------------------------------------------------------------------------------

// Counts the frames and reads the price of every entry; stops the loop at the last frame.
class StreamHandler : public ZURAV::AbstractOXHandler, public FrameCount {
  public:
    explicit StreamHandler(uint64_t frames) : FrameCount(frames) {}

    void onMarketData(const ZURAV::MarketView& view, OXClient& client) override {
        for (const ZURAV::MDEntry& e : view.mdEntryList) _prices += e.price.toInt();
        if (count()) client.stop();
    }

    int64_t prices() const { return _prices; }

  private:
    int64_t _prices = 0;
};

// The client connects to a listener of the run's own: the server serves the connection it hands
// over (adopt) and logs the client in, and the run writes the stream to the same socket through a
// descriptor it keeps. The server does not answer pings on it, so nothing else is ever written
// into the stream.
void runStream(benchmark::State& st, int shape) {
    const SessionSizes& z = sessionSizes();
    const SessionFrames& f = sessionFrames();
    const uint64_t chunks = f.chunks(shape);
    const uint64_t frames = chunks * f.framesPerChunk[shape];

    int port = 0;
    const int listener = listenLoopback(port);
    if (listener < 0) {
        st.SkipWithError("no listener");
        return;
    }
    const std::unique_ptr<TestServer> server = startServer(false);
    Pinned pin(cpuPlan().client);
    const Client client = makeClient(port);

    int streamFd = -1;
    std::thread handOver([&] {
        const int fd = acceptWithin(listener, z.deadline);
        if (fd < 0) return;
        streamFd = ::dup(fd);
        server->adopt(fd, fd);
    });
    const APIResult::Type connected = client->connect();
    handOver.join();
    ::close(listener);
    if (connected != APIResult::OK || streamFd < 0) {
        if (streamFd >= 0) ::close(streamFd);
        st.SkipWithError((std::string("connect: ") + APIResult::toString(connected)).c_str());
        return;
    }

    StreamHandler handler(frames);
    std::atomic<bool> stopWriting{false};
    std::atomic<int64_t> startedAt{0};
    std::thread writer([&] {
        pinThisThread(cpuPlan().server);
        startedAt = nowNs();
        writeRepeated(streamFd, f.chunk[shape], chunks, stopWriting);
    });
    bool expired = false;
    {
        Watchdog watchdog(z.deadline, [&] {
            stopWriting = true;
            client->stop();
        });
        client->run(&handler);
        expired = watchdog.expired();
    }
    stopWriting = true;
    writer.join();
    client->close();
    ::close(streamFd);
    benchmark::DoNotOptimize(handler.prices());
    for (auto _ : st) {
        if (expired || handler.seen() != frames) {
            st.SkipWithError("the stream did not arrive whole before the deadline");
        } else {
            reportStream(st, static_cast<double>(frames),
                         static_cast<double>(handler.lastAt() - startedAt) / 1e9,
                         handler.allocsPerFrame(), static_cast<double>(f.md[shape].size()));
        }
    }
}

// --- connect -------------------------------------------------------------------------------------

void runConnects(benchmark::State& st) {
    const SessionSizes& z = sessionSizes();
    const std::unique_ptr<TestServer> server = startServer(true);
    Pinned pin(cpuPlan().client);
    const Client client = makeClient(server->port());
    std::vector<double> times;
    times.reserve(static_cast<size_t>(z.connects));
    uint64_t allocs = 0;
    std::string error;
    {
        Watchdog watchdog(z.deadline, [&server] { server->closeListener(); });
        for (int k = 0; k < z.connectWarmUp + z.connects && error.empty(); ++k) {
            const uint64_t a0 = allocations();
            const int64_t t0 = nowNs();
            const APIResult::Type result = client->connect();
            const int64_t t1 = nowNs();
            if (k >= z.connectWarmUp) {
                times.push_back(static_cast<double>(t1 - t0));
                allocs += allocations() - a0;
            }
            if (result != APIResult::OK) {
                error = std::string("connect: ") + APIResult::toString(result);
                break;
            }
            client->close();
        }
    }
    // The bytes of the last login: what the server received, and what it sent.
    double bytes = 0;
    const TestServer::Record record = server->record();
    if (!record.empty()) {
        bytes = static_cast<double>(record.back().bytesSent);
        for (const auto& frame : record.back().frames)
            bytes += static_cast<double>(test_support::FRAME_HEADER_SIZE + frame.body.size());
    }
    for (auto _ : st) {
        if (!error.empty()) {
            st.SkipWithError(error.c_str());
        } else {
            reportTimes(st, times, static_cast<double>(allocs) / z.connects, bytes);
        }
    }
}

SessionFrames makeFrames() {
    SessionFrames f;
    const int64_t now = realTime();
    char id[32];
    std::snprintf(id, sizeof id, CL_ORD_ID_FORMAT, 1000);
    const ZURAV::SubmitOrderMessage order =
        clientOrder((static_cast<ZURAV::OrderID_t>(1) << 40) | 1000, id, now);
    f.order = test_support::frameOf(order, now);
    const Answers a = answer(order.contents, 2000, now);
    f.received = test_support::frameOf(a.received, now);
    f.done = test_support::frameOf(a.done, now);
    const int entries[2] = {2, 10};
    for (int k = 0; k < 2; ++k) {
        f.md[k] = test_support::frameOf(mdMessage(entries[k]), SENDING_TIME);
        f.framesPerChunk[k] = (64 * 1024) / f.md[k].size();
        for (uint64_t n = 0; n < f.framesPerChunk[k]; ++n) f.chunk[k] += f.md[k];
    }
    return f;
}

}  // namespace

const SessionFrames& sessionFrames() {
    static const SessionFrames frames = makeFrames();
    return frames;
}

void registerZuravSessions() {
    ZURAV::OXInit::initialize();
    std::atexit(ZURAV::OXInit::finalize);
    sessionFrames();
    addSessionRow("order", OURS, runOrders);
    addSessionRow("md2", OURS, [](benchmark::State& st) { runStream(st, 0); });
    addSessionRow("md10", OURS, [](benchmark::State& st) { runStream(st, 1); });
    addSessionRow("connect", OURS, runConnects);
}

}  // namespace Bench
