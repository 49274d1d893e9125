// The protobuf peer: the same shapes as protobuf messages (shapes.proto), used the fastest
// documented way: message objects and output buffers reused, SerializeToArray and
// ParseFromArray; the "+arena" rows parse into a message created on an arena that starts
// from a reused block, one arena per message.

#include <google/protobuf/arena.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Registry.h"
#include "Shapes.h"
#include "Sinks.h"
#include "shapes.pb.h"

namespace Bench {
namespace {

constexpr char PEER[] = "protobuf";
constexpr char PEER_ARENA[] = "protobuf+arena";

// Arenas start from this block, so that a message of the shapes never reaches the heap.
constexpr size_t ARENA_BLOCK = 64 * 1024;

// Parses into one message of type M, reused from parse to parse: the "protobuf" rows.
template <class M>
class ReusedParser {
  public:
    static constexpr const char* PEER_NAME = PEER;
    // Parses the n bytes at p into a message, hands it to use and returns whether they parsed.
    template <class Use>
    bool withDecoded(const char* p, int n, Use use) {
        const bool ok = _m.ParseFromArray(p, n);
        use(_m);
        return ok;
    }

  private:
    M _m;
};

// Parses each time into a new message created on an arena that starts from a reused block and
// lives until use returns: the "protobuf+arena" rows.
template <class M>
class ArenaParser {
  public:
    static constexpr const char* PEER_NAME = PEER_ARENA;
    template <class Use>
    bool withDecoded(const char* p, int n, Use use) {
        google::protobuf::ArenaOptions options;
        options.initial_block = _block.data();
        options.initial_block_size = ARENA_BLOCK;
        google::protobuf::Arena arena(options);
        M* m = google::protobuf::Arena::CreateMessage<M>(&arena);
        const bool ok = m->ParseFromArray(p, n);
        use(*m);
        return ok;
    }

  private:
    std::vector<char> _block = std::vector<char>(ARENA_BLOCK);
};

benchpb::SubmitOrderMessage makeOrder() {
    using namespace Order;
    benchpb::SubmitOrderMessage m;
    m.set_user_id(USER_ID);
    m.set_quote_id(QUOTE_ID);
    m.set_on_behalf_of_comp_id(ON_BEHALF_OF);
    benchpb::SubmitOrder& c = *m.mutable_contents();
    c.set_order_id(ORDER_ID);
    c.set_cl_ord_id(CL_ORD_ID);
    c.set_time_api_client(TIME_API_CLIENT);
    c.set_time_api_server(TIME_API_SERVER);
    c.set_time_handler(TIME_HANDLER);
    c.set_feed_id(FEED_ID);
    c.set_market_id(MARKET_ID);
    c.set_side(static_cast<benchpb::Side>(SIDE));
    c.set_amount(AMOUNT);
    c.set_price(PRICE);
    c.set_ord_type(static_cast<benchpb::OrderType>(ORD_TYPE));
    c.set_time_in_force(static_cast<benchpb::TimeInForce>(TIME_IN_FORCE));
    c.set_stop_price(STOP_PRICE);
    c.set_max_show(MAX_SHOW);
    m.set_model_id(MODEL_ID);
    return m;
}

template <class Sink>
void readOrder(const benchpb::SubmitOrderMessage& m, Sink& s) {
    const benchpb::SubmitOrder& c = m.contents();
    s.i(m.user_id());
    s.s(m.quote_id());
    s.s(m.on_behalf_of_comp_id());
    s.i(c.order_id());
    s.s(c.cl_ord_id());
    s.t(c.time_api_client());
    s.t(c.time_api_server());
    s.t(c.time_handler());
    s.i(c.feed_id());
    s.i(c.market_id());
    s.i(c.side());
    s.amount(c.amount());
    s.amount(c.price());
    s.i(c.ord_type());
    s.i(c.time_in_force());
    s.amount(c.stop_price());
    s.amount(c.max_show());
    s.s(m.model_id());
}

benchpb::OrderSubmittedMessage makeReport() {
    using namespace Report;
    benchpb::OrderSubmittedMessage m;
    m.set_user_id(USER_ID);
    benchpb::OrderSubmitted& c = *m.mutable_contents();
    c.set_sequence_id(SEQUENCE_ID);
    c.set_order_id(ORDER_ID);
    c.set_cl_ord_id(CL_ORD_ID);
    c.set_ex_ord_id(EX_ORD_ID);
    c.set_model_id(MODEL_ID);
    c.set_amount(AMOUNT);
    c.set_ord_status(static_cast<benchpb::OrderStatus>(ORD_STATUS));
    c.set_time_exchange(TIME_EXCHANGE);
    c.set_time_handler(TIME_HANDLER);
    c.set_time_api_server(TIME_API_SERVER);
    c.set_time_api_client(TIME_API_CLIENT);
    c.set_feed_id(FEED_ID);
    c.set_market_id(MARKET_ID);
    return m;
}

template <class Sink>
void readReport(const benchpb::OrderSubmittedMessage& m, Sink& s) {
    const benchpb::OrderSubmitted& c = m.contents();
    s.i(m.user_id());
    s.i(c.sequence_id());
    s.i(c.order_id());
    s.s(c.cl_ord_id());
    s.s(c.ex_ord_id());
    s.s(c.model_id());
    s.amount(c.amount());
    s.i(c.ord_status());
    s.t(c.time_exchange());
    s.t(c.time_handler());
    s.t(c.time_api_server());
    s.t(c.time_api_client());
    s.i(c.feed_id());
    s.i(c.market_id());
}

benchpb::MktDataMessage makeMd(int entries) {
    using namespace Md;
    benchpb::MktDataMessage m;
    benchpb::MarketView& v = *m.mutable_mvd();
    v.mutable_fm_id()->set_market_id(MARKET_ID);
    v.mutable_fm_id()->set_feed_id(FEED_ID);
    v.set_time_exchange(TIME_EXCHANGE);
    v.set_time_arrival(TIME_ARRIVAL);
    v.set_time_handler(TIME_HANDLER);
    v.set_time_enhanced(TIME_ENHANCED);
    v.set_time_api_server(TIME_API_SERVER);
    v.set_time_api_client(TIME_API_CLIENT);
    v.set_is_snapshot(IS_SNAPSHOT);
    for (int k = 0; k < entries; ++k) {
        const Entry e = entry(k);
        benchpb::MDEntry& x = *v.add_md_entry_list();
        x.set_price(e.price);
        x.set_amount(e.amount);
        x.set_min_amount(e.minAmount);
        x.set_update_action(static_cast<benchpb::MDUpdateAction>(e.updateAction));
        x.set_element(static_cast<benchpb::MDElement>(e.element));
        x.set_side(static_cast<benchpb::Side>(e.side));
        x.set_source(e.source);
        x.set_number_of_orders(e.numberOfOrders);
        x.set_components(e.components);
    }
    for (int32_t market : {MARKET_ID, BATCH_MARKET_ID2}) {
        benchpb::FeedMarketID& id = *m.add_fm_ids_in_batch();
        id.set_market_id(market);
        id.set_feed_id(FEED_ID);
    }
    m.set_batch_id(BATCH_ID);
    m.set_stream_id(STREAM_ID);
    return m;
}

template <class Sink>
void readMd(const benchpb::MktDataMessage& m, Sink& s) {
    const benchpb::MarketView& v = m.mvd();
    s.i(v.fm_id().market_id());
    s.i(v.fm_id().feed_id());
    s.t(v.time_exchange());
    s.t(v.time_arrival());
    s.t(v.time_handler());
    s.t(v.time_enhanced());
    s.t(v.time_api_server());
    s.t(v.time_api_client());
    s.i(v.is_snapshot());
    s.i(v.md_entry_list_size());
    for (const benchpb::MDEntry& e : v.md_entry_list()) {
        s.amount(e.price());
        s.amount(e.amount());
        s.amount(e.min_amount());
        s.i(e.update_action());
        s.i(e.element());
        s.i(e.side());
        s.i(e.source());
        s.i(e.number_of_orders());
        s.s(e.components());
    }
    s.i(m.fm_ids_in_batch_size());
    for (const benchpb::FeedMarketID& id : m.fm_ids_in_batch()) {
        s.i(id.market_id());
        s.i(id.feed_id());
    }
    s.i(m.batch_id());
    s.i(m.stream_id());
}

benchpb::HeartbeatMessage makeHeartbeat() {
    benchpb::HeartbeatMessage m;
    m.mutable_contents()->set_time_api_server(Heartbeat::TIME_API_SERVER);
    for (int32_t feed : Heartbeat::ACTIVE_FEEDS) m.mutable_contents()->add_active_feeds(feed);
    m.set_feed_seq_id(Heartbeat::FEED_SEQ_ID);
    return m;
}

template <class Sink>
void readHeartbeat(const benchpb::HeartbeatMessage& m, Sink& s) {
    s.t(m.contents().time_api_server());
    s.i(m.contents().active_feeds_size());
    for (int32_t feed : m.contents().active_feeds()) s.i(feed);
    s.i(m.feed_seq_id());
}

// The STREAM shape: each Frame behind its length as a varint, as delimited protobuf messages
// are written.
std::string makeStream(size_t messages) {
    benchpb::Frame md, report, heartbeat;
    *md.mutable_md() = makeMd(2);
    *report.mutable_report() = makeReport();
    *heartbeat.mutable_heartbeat() = makeHeartbeat();
    std::string stream;
    for (size_t k = 0; k < messages; ++k) {
        const std::string body =
            Stream::pick(Stream::kindAt(k), md, report, heartbeat).SerializeAsString();
        uint64_t n = body.size();
        for (; n > 127; n >>= 7) stream += static_cast<char>((n & 0x7F) | 0x80);
        stream += static_cast<char>(n);
        stream += body;
    }
    return stream;
}

// The STREAM handler: reads one field of the frame's message.
template <class Sink>
void handleFrame(const benchpb::Frame& f, Sink& s) {
    switch (f.body_case()) {
        case benchpb::Frame::kMd:
            s.i(f.md().mvd().fm_id().market_id());
            break;
        case benchpb::Frame::kReport:
            s.i(f.report().contents().sequence_id());
            break;
        case benchpb::Frame::kHeartbeat:
            s.t(f.heartbeat().contents().time_api_server());
            break;
        case benchpb::Frame::BODY_NOT_SET:
            break;
    }
}

// Parses every frame of stream with parser (ReusedParser or ArenaParser of Frame) and hands it
// to the STREAM handler, which reads into fold; false when a frame does not parse.
template <class Parser>
bool readStream(const std::string& stream, Parser& parser, Fold& fold) {
    const char* p = stream.data();
    const char* const end = p + stream.size();
    while (p < end) {
        uint32_t n = 0;
        for (int shift = 0;; shift += 7) {
            const unsigned char b = static_cast<unsigned char>(*p++);
            n |= static_cast<uint32_t>(b & 0x7F) << shift;
            if ((b & 0x80) == 0) break;
        }
        const bool parsed = parser.withDecoded(
            p, static_cast<int>(n), [&fold](const benchpb::Frame& f) { handleFrame(f, fold); });
        if (!parsed) return false;
        p += n;
    }
    return true;
}

// Checks that parser reads stream as the handler expects, then registers its STREAM decode.
template <class Parser>
void addStreamReading(const std::string& stream, uint64_t expected) {
    Parser check;
    Fold got;
    if (!readStream(stream, check, got)) {
        verifyFailed(std::string("STREAM (") + Parser::PEER_NAME + "): a frame does not parse");
    }
    if (got.sum() != expected) {
        verifyFailed(std::string("STREAM (") + Parser::PEER_NAME +
                     "): the handler read other values");
    }
    const double messages = static_cast<double>(streamMessages());
    const double bytes = static_cast<double>(stream.size()) / messages;
    add("STREAM", "decode", Parser::PEER_NAME, [stream, messages, bytes](benchmark::State& st) {
        Parser parser;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            Fold fold;
            readStream(stream, parser, fold);
            benchmark::DoNotOptimize(fold.sum());
        }
        setCounters(st, allocs0, bytes, messages);
    });
}

void addStream() {
    // The heartbeat is timed only inside the stream; its encoding is checked whole here.
    benchpb::HeartbeatMessage heartbeat;
    Collect heartbeatRead;
    if (!heartbeat.ParseFromString(makeHeartbeat().SerializeAsString())) {
        verifyFailed("heartbeat (protobuf): the encoded message does not parse");
    }
    readHeartbeat(heartbeat, heartbeatRead);
    checkReading("heartbeat (protobuf)", collect(visitHeartbeat<Collect>), heartbeatRead);

    const std::string stream = makeStream(streamMessages());
    Fold expected;
    visitStream(expected, streamMessages());
    addStreamReading<ReusedParser<benchpb::Frame>>(stream, expected.sum());
    addStreamReading<ArenaParser<benchpb::Frame>>(stream, expected.sum());
}

// Registers decode and round trip of a shape for one way of parsing (a Parser above, made once
// per run); bytes is msg serialised. read(const M&, Sink&) reads every field of an M.
template <class Parser, class M, class Read>
void addReading(const std::string& shape, const M& msg, const std::string& bytes, Read read) {
    const double size = static_cast<double>(bytes.size());
    const int room = static_cast<int>(bytes.size());
    add(shape, "decode", Parser::PEER_NAME, [bytes, read, size](benchmark::State& st) {
        Parser parser;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            parser.withDecoded(bytes.data(), static_cast<int>(bytes.size()), [&read](const M& m) {
                Fold fold;
                read(m, fold);
                benchmark::DoNotOptimize(fold.sum());
            });
        }
        setCounters(st, allocs0, size);
    });
    add(shape, "roundtrip", Parser::PEER_NAME, [msg, read, size, room](benchmark::State& st) {
        std::vector<char> buf(static_cast<size_t>(room));
        Parser parser;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            msg.SerializeToArray(buf.data(), room);
            benchmark::ClobberMemory();
            parser.withDecoded(buf.data(), room, [&read](const M& m) {
                Fold fold;
                read(m, fold);
                benchmark::DoNotOptimize(fold.sum());
            });
        }
        setCounters(st, allocs0, size);
    });
}

template <class M, class Read>
void addShape(const std::string& shape, const M& msg, Read read, const Collect& reference) {
    std::string bytes;
    M decoded;
    if (!msg.SerializeToString(&bytes) || !decoded.ParseFromString(bytes)) {
        verifyFailed(shape + " (protobuf): the encoded message does not parse");
    }
    Collect got;
    read(decoded, got);
    checkReading(shape + " (protobuf)", reference, got);
    const double size = static_cast<double>(bytes.size());
    const int room = static_cast<int>(bytes.size());

    add(shape, "encode", PEER, [msg, size, room](benchmark::State& st) {
        std::vector<char> buf(static_cast<size_t>(room));
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            benchmark::DoNotOptimize(msg.SerializeToArray(buf.data(), room));
            benchmark::ClobberMemory();
        }
        setCounters(st, allocs0, size);
    });
    addReading<ReusedParser<M>>(shape, msg, bytes, read);
    addReading<ArenaParser<M>>(shape, msg, bytes, read);
}

}  // namespace

void registerProtobuf() {
    GOOGLE_PROTOBUF_VERIFY_VERSION;
    addShape(
        "ORDER", makeOrder(),
        [](const benchpb::SubmitOrderMessage& m, auto& s) { readOrder(m, s); },
        collect(visitOrder<Collect>));
    addShape(
        "REPORT", makeReport(),
        [](const benchpb::OrderSubmittedMessage& m, auto& s) { readReport(m, s); },
        collect(visitReport<Collect>));
    for (int entries : {2, 10}) {
        addShape(
            "MD" + std::to_string(entries), makeMd(entries),
            [](const benchpb::MktDataMessage& m, auto& s) { readMd(m, s); },
            collect([entries](Collect& c) { visitMd(c, entries); }));
    }
    addStream();
}

}  // namespace Bench
