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

google::protobuf::ArenaOptions arenaOptions(char* block) {
    google::protobuf::ArenaOptions options;
    options.initial_block = block;
    options.initial_block_size = ARENA_BLOCK;
    return options;
}

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

template <class M, class Read>
void addShape(const std::string& shape, const M& msg, Read read, const Collect& reference) {
    std::string bytes;
    M decoded;
    if (!msg.SerializeToString(&bytes) || !decoded.ParseFromString(bytes)) {
        verifyFailed(shape + " (protobuf): the encoded message does not parse");
    }
    Collect got;
    read(decoded, got);
    const std::string diff = compareReadings(reference, got);
    if (!diff.empty()) verifyFailed(shape + " (protobuf): " + diff);
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
    add(shape, "decode", PEER, [bytes, read, size](benchmark::State& st) {
        M m;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            m.ParseFromArray(bytes.data(), static_cast<int>(bytes.size()));
            Fold fold;
            read(m, fold);
            benchmark::DoNotOptimize(fold.sum());
        }
        setCounters(st, allocs0, size);
    });
    add(shape, "decode", PEER_ARENA, [bytes, read, size](benchmark::State& st) {
        std::vector<char> block(ARENA_BLOCK);
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            google::protobuf::Arena arena(arenaOptions(block.data()));
            M* m = google::protobuf::Arena::CreateMessage<M>(&arena);
            m->ParseFromArray(bytes.data(), static_cast<int>(bytes.size()));
            Fold fold;
            read(*m, fold);
            benchmark::DoNotOptimize(fold.sum());
        }
        setCounters(st, allocs0, size);
    });
    add(shape, "roundtrip", PEER, [msg, read, size, room](benchmark::State& st) {
        std::vector<char> buf(static_cast<size_t>(room));
        M m;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            msg.SerializeToArray(buf.data(), room);
            benchmark::ClobberMemory();
            m.ParseFromArray(buf.data(), room);
            Fold fold;
            read(m, fold);
            benchmark::DoNotOptimize(fold.sum());
        }
        setCounters(st, allocs0, size);
    });
    add(shape, "roundtrip", PEER_ARENA, [msg, read, size, room](benchmark::State& st) {
        std::vector<char> buf(static_cast<size_t>(room));
        std::vector<char> block(ARENA_BLOCK);
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            msg.SerializeToArray(buf.data(), room);
            benchmark::ClobberMemory();
            google::protobuf::Arena arena(arenaOptions(block.data()));
            M* m = google::protobuf::Arena::CreateMessage<M>(&arena);
            m->ParseFromArray(buf.data(), room);
            Fold fold;
            read(*m, fold);
            benchmark::DoNotOptimize(fold.sum());
        }
        setCounters(st, allocs0, size);
    });
}

}  // namespace

void registerProtobuf() {
    GOOGLE_PROTOBUF_VERIFY_VERSION;
    addShape(
        "ORDER", makeOrder(),
        [](const benchpb::SubmitOrderMessage& m, auto& s) { readOrder(m, s); },
        collect([](Collect& c) { visitOrder(c); }));
    addShape(
        "REPORT", makeReport(),
        [](const benchpb::OrderSubmittedMessage& m, auto& s) { readReport(m, s); },
        collect([](Collect& c) { visitReport(c); }));
}

}  // namespace Bench
