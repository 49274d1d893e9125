// The library's side of the message shapes: frames (MsgHead and body) written with
// encodeMessage and read back with decodeMessage, as the client session does it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Registry.h"
#include "Shapes.h"
#include "Sinks.h"
#include "api/OXMessage.h"
#include "api/OrderSubmittedMessage.h"
#include "api/SubmitOrderMessage.h"
#include "framework/FastCodec.h"
#include "framework/MsgHead.h"

namespace Bench {
namespace {

using Tarvik::MsgHead;
using ZURAV::OXFloat;
using ZURAV::OXMessage;
using ZURAV::ShpOXMessage;

// Room for any frame of the shapes.
constexpr size_t FRAME_ROOM = 4096;

// Writes msg as one frame at buf: the header, then the body; returns the frame's size.
size_t encodeFrame(const OXMessage& msg, char* buf, size_t room) {
    const size_t body = OXMessage::encodeMessage(msg, buf + MsgHead::SIZE, room - MsgHead::SIZE);
    MsgHead head;
    head.length = static_cast<uint16_t>(body + MsgHead::LENGTH_OVERHEAD);
    head.id = msg.getMsgType();
    head.nsecs = SENDING_TIME;
    Tarvik::FastCodec codec(buf, buf + MsgHead::SIZE);
    head.write(codec);
    return body + MsgHead::SIZE;
}

// Reads the frame at buf (size bytes, at least one whole frame); the empty handle when its
// body does not decode.
ShpOXMessage decodeFrame(const char* buf, size_t size) {
    char* begin = const_cast<char*>(buf);
    Tarvik::FastCodec codec(begin, begin + size);
    MsgHead head;
    head.read(codec);
    return OXMessage::decodeMessage(head.id, buf + MsgHead::SIZE,
                                    head.length - MsgHead::LENGTH_OVERHEAD);
}

ZURAV::SubmitOrderMessage makeOrder() {
    using namespace Order;
    ZURAV::SubmitOrderMessage m;
    m.userID = USER_ID;
    m.quoteID = QUOTE_ID;
    m.onBehalfOfCompID = ON_BEHALF_OF;
    m.contents.orderID = ORDER_ID;
    m.contents.clOrdID = CL_ORD_ID;
    m.contents.timeApiClient = TIME_API_CLIENT;
    m.contents.timeApiServer = TIME_API_SERVER;
    m.contents.timeHandler = TIME_HANDLER;
    m.contents.feedID = FEED_ID;
    m.contents.marketID = MARKET_ID;
    m.contents.side = static_cast<ZURAV::Side::Type>(SIDE);
    m.contents.amount = OXFloat(AMOUNT);
    m.contents.price = OXFloat(PRICE);
    m.contents.ordType = static_cast<ZURAV::OrderType::Type>(ORD_TYPE);
    m.contents.timeInForce = static_cast<ZURAV::TimeInForce::Type>(TIME_IN_FORCE);
    m.contents.stopPrice = OXFloat(STOP_PRICE);
    m.contents.maxShow = OXFloat(MAX_SHOW);
    m.modelID = MODEL_ID;
    return m;
}

template <class Sink>
void readOrder(const ZURAV::SubmitOrderMessage& m, Sink& s) {
    const ZURAV::SubmitOrder& c = m.contents;
    s.i(m.userID);
    s.s(m.quoteID);
    s.s(m.onBehalfOfCompID);
    s.i(c.orderID);
    s.s(c.clOrdID);
    s.t(c.timeApiClient);
    s.t(c.timeApiServer);
    s.t(c.timeHandler);
    s.i(c.feedID);
    s.i(c.marketID);
    s.i(c.side);
    s.amount(c.amount.toInt());
    s.amount(c.price.toInt());
    s.i(c.ordType);
    s.i(c.timeInForce);
    s.amount(c.stopPrice.toInt());
    s.amount(c.maxShow.toInt());
    s.s(m.modelID);
}

ZURAV::OrderSubmittedMessage makeReport() {
    using namespace Report;
    ZURAV::OrderSubmittedMessage m;
    m.userID = USER_ID;
    ZURAV::OrderSubmitted& c = m.contents;
    c.sequenceID = SEQUENCE_ID;
    c.orderID = ORDER_ID;
    c.clOrdID = CL_ORD_ID;
    c.exOrdID = EX_ORD_ID;
    c.modelID = MODEL_ID;
    c.amount = OXFloat(AMOUNT);
    c.ordStatus = static_cast<ZURAV::OrderStatus::Type>(ORD_STATUS);
    c.timeExchange = TIME_EXCHANGE;
    c.timeHandler = TIME_HANDLER;
    c.timeApiServer = TIME_API_SERVER;
    c.timeApiClient = TIME_API_CLIENT;
    c.feedID = FEED_ID;
    c.marketID = MARKET_ID;
    return m;
}

template <class Sink>
void readReport(const ZURAV::OrderSubmittedMessage& m, Sink& s) {
    const ZURAV::OrderSubmitted& c = m.contents;
    s.i(m.userID);
    s.i(c.sequenceID);
    s.i(c.orderID);
    s.s(c.clOrdID);
    s.s(c.exOrdID);
    s.s(c.modelID);
    s.amount(c.amount.toInt());
    s.i(c.ordStatus);
    s.t(c.timeExchange);
    s.t(c.timeHandler);
    s.t(c.timeApiServer);
    s.t(c.timeApiClient);
    s.i(c.feedID);
    s.i(c.marketID);
}

// Verifies that msg's frame decodes to the reference values, then registers encode, decode
// and round trip of the shape. read(const M&, Sink&) reads every field of an M.
template <class M, class Read>
void addShape(const std::string& shape, const M& msg, Read read, const Collect& reference) {
    char frame[FRAME_ROOM];
    const size_t size = encodeFrame(msg, frame, sizeof frame);
    const ShpOXMessage decoded = decodeFrame(frame, size);
    if (!decoded) verifyFailed(shape + " (zurav): the encoded frame does not decode");
    Collect got;
    read(decoded->getRef<M>(), got);
    const std::string diff = compareReadings(reference, got);
    if (!diff.empty()) verifyFailed(shape + " (zurav): " + diff);

    add(shape, "encode", OURS, [msg, size](benchmark::State& st) {
        char buf[FRAME_ROOM];
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            benchmark::DoNotOptimize(encodeFrame(msg, buf, sizeof buf));
            benchmark::ClobberMemory();
        }
        setCounters(st, allocs0, static_cast<double>(size));
    });
    const std::string bytes(frame, size);
    add(shape, "decode", OURS, [bytes, read](benchmark::State& st) {
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            const ShpOXMessage m = decodeFrame(bytes.data(), bytes.size());
            Fold fold;
            read(m->getRef<M>(), fold);
            benchmark::DoNotOptimize(fold.sum());
        }
        setCounters(st, allocs0, static_cast<double>(bytes.size()));
    });
    add(shape, "roundtrip", OURS, [msg, read](benchmark::State& st) {
        char buf[FRAME_ROOM];
        size_t size = 0;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            size = encodeFrame(msg, buf, sizeof buf);
            benchmark::ClobberMemory();
            const ShpOXMessage m = decodeFrame(buf, size);
            Fold fold;
            read(m->getRef<M>(), fold);
            benchmark::DoNotOptimize(fold.sum());
        }
        setCounters(st, allocs0, static_cast<double>(size));
    });
}

}  // namespace

void registerZurav() {
    addShape(
        "ORDER", makeOrder(), [](const ZURAV::SubmitOrderMessage& m, auto& s) { readOrder(m, s); },
        collect([](Collect& c) { visitOrder(c); }));
    addShape(
        "REPORT", makeReport(),
        [](const ZURAV::OrderSubmittedMessage& m, auto& s) { readReport(m, s); },
        collect([](Collect& c) { visitReport(c); }));
}

}  // namespace Bench
