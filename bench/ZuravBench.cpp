// The library's side of the message shapes: frames (MsgHead and body) written with
// encodeMessage and read back with decodeMessage, as the client session does it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Registry.h"
#include "Shapes.h"
#include "Sinks.h"
#include "ZuravShapes.h"
#include "api/HeartbeatMessage.h"
#include "api/MktDataMessage.h"
#include "api/MsgHandler.h"
#include "api/OXMessage.h"
#include "api/OrderSubmittedMessage.h"
#include "api/SubmitOrderMessage.h"
#include "framework/CodecError.h"
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

// The header of the frame at p.
MsgHead headAt(const char* p) {
    char* at = const_cast<char*>(p);
    Tarvik::FastCodec codec(at, at + MsgHead::SIZE);
    MsgHead head;
    head.read(codec);
    return head;
}

// Reads the whole frame at buf into a new message, as the client session does; the empty handle
// when its body does not decode. Sets *next, when next is not null, to the end of the frame.
ShpOXMessage decodeFrame(const char* buf, const char** next = nullptr) {
    const MsgHead head = headAt(buf);
    if (next != nullptr) *next = buf + sizeof head.length + head.length;
    return OXMessage::decodeMessage(head.id, buf + MsgHead::SIZE,
                                    head.length - MsgHead::LENGTH_OVERHEAD);
}

// Reads the frame at buf (size bytes, exactly one frame) into m, which is reused from frame to
// frame; false when the body does not decode exactly. decodeMessage's checks, without the new
// message.
bool decodeFrameInto(OXMessage& m, const char* buf, size_t size) {
    const MsgHead head = headAt(buf);
    if (head.id != m.getMsgType() || size <= MsgHead::SIZE) return false;
    char* begin = const_cast<char*>(buf);
    Tarvik::FastCodec body(begin + MsgHead::SIZE, begin + size);
    try {
        m.read(&body);
    } catch (const Tarvik::DecodeError&) {
        return false;
    }
    return body.remaining() == 0;
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

ZURAV::MktDataMessage makeMd(int entries) {
    using namespace Md;
    ZURAV::MktDataMessage m;
    ZURAV::MarketView& v = m.mvd;
    v.fmID.marketID = MARKET_ID;
    v.fmID.feedID = FEED_ID;
    v.timeExchange = TIME_EXCHANGE;
    v.timeArrival = TIME_ARRIVAL;
    v.timeHandler = TIME_HANDLER;
    v.timeEnhanced = TIME_ENHANCED;
    v.timeApiServer = TIME_API_SERVER;
    v.timeApiClient = TIME_API_CLIENT;
    v.isSnapshot = IS_SNAPSHOT;
    for (int k = 0; k < entries; ++k) {
        const Entry e = entry(k);
        ZURAV::MDEntry x;
        x.price = OXFloat(e.price);
        x.amount = OXFloat(e.amount);
        x.minAmount = OXFloat(e.minAmount);
        x.updateAction = static_cast<ZURAV::MDUpdateAction::Type>(e.updateAction);
        x.element = static_cast<ZURAV::MDElement::Type>(e.element);
        x.side = static_cast<ZURAV::Side::Type>(e.side);
        x.source = static_cast<ZURAV::SourceMask_t>(e.source);
        x.numberOfOrders = static_cast<ZURAV::NumOrders_t>(e.numberOfOrders);
        x.components = e.components;
        v.mdEntryList.push_back(x);
    }
    for (int32_t market : {MARKET_ID, BATCH_MARKET_ID2}) {
        ZURAV::FeedMarketID id;
        id.marketID = market;
        id.feedID = FEED_ID;
        m.fmIDsInBatch.push_back(id);
    }
    m.batchID = BATCH_ID;
    m.streamID = STREAM_ID;
    return m;
}

template <class Sink>
void readMd(const ZURAV::MktDataMessage& m, Sink& s) {
    const ZURAV::MarketView& v = m.mvd;
    s.i(v.fmID.marketID);
    s.i(v.fmID.feedID);
    s.t(v.timeExchange);
    s.t(v.timeArrival);
    s.t(v.timeHandler);
    s.t(v.timeEnhanced);
    s.t(v.timeApiServer);
    s.t(v.timeApiClient);
    s.i(v.isSnapshot);
    s.i(static_cast<int64_t>(v.mdEntryList.size()));
    for (const ZURAV::MDEntry& e : v.mdEntryList) {
        s.amount(e.price.toInt());
        s.amount(e.amount.toInt());
        s.amount(e.minAmount.toInt());
        s.i(e.updateAction);
        s.i(e.element);
        s.i(e.side);
        s.i(e.source);
        s.i(e.numberOfOrders);
        s.s(e.components);
    }
    s.i(static_cast<int64_t>(m.fmIDsInBatch.size()));
    for (const ZURAV::FeedMarketID& id : m.fmIDsInBatch) {
        s.i(id.marketID);
        s.i(id.feedID);
    }
    s.i(m.batchID);
    s.i(m.streamID);
}

ZURAV::HeartbeatMessage makeHeartbeat() {
    ZURAV::HeartbeatMessage m;
    m.contents.timeApiServer = Heartbeat::TIME_API_SERVER;
    for (int32_t feed : Heartbeat::ACTIVE_FEEDS) m.contents.activeFeeds.push_back(feed);
    m.feedSeqID = Heartbeat::FEED_SEQ_ID;
    return m;
}

template <class Sink>
void readHeartbeat(const ZURAV::HeartbeatMessage& m, Sink& s) {
    s.t(m.contents.timeApiServer);
    s.i(static_cast<int64_t>(m.contents.activeFeeds.size()));
    for (int32_t feed : m.contents.activeFeeds) s.i(feed);
    s.i(m.feedSeqID);
}

// The STREAM handler: reads one field of each message it is handed.
class StreamHandler : public ZURAV::MsgHandlerT<ShpOXMessage> {
  public:
    using ZURAV::MsgHandlerT<ShpOXMessage>::handle;
    void handle(const ShpOXMessage&, const ZURAV::MktDataMessage& m) override {
        fold.i(m.mvd.fmID.marketID);
    }
    void handle(const ShpOXMessage&, const ZURAV::OrderSubmittedMessage& m) override {
        fold.i(m.contents.sequenceID);
    }
    void handle(const ShpOXMessage&, const ZURAV::HeartbeatMessage& m) override {
        fold.t(m.contents.timeApiServer);
    }

    Fold fold;
};

size_t streamLength = 0;

// Frames back to back, as many as fit in Stream::BYTES; sets streamLength to their count.
std::string makeStream() {
    const ZURAV::MktDataMessage md = makeMd(2);
    const ZURAV::OrderSubmittedMessage report = makeReport();
    const ZURAV::HeartbeatMessage heartbeat = makeHeartbeat();
    std::string stream;
    for (size_t n = 0;; ++n) {
        const OXMessage& msg = Stream::pick<OXMessage>(Stream::kindAt(n), md, report, heartbeat);
        char frame[FRAME_ROOM];
        const size_t size = encodeFrame(msg, frame, sizeof frame);
        if (stream.size() + size > Stream::BYTES) {
            streamLength = n;
            return stream;
        }
        stream.append(frame, size);
    }
}

// Decodes every frame of stream as the client session does and dispatches it to handler;
// false when a frame does not decode.
bool readStream(const std::string& stream, StreamHandler& handler) {
    const char* p = stream.data();
    const char* const end = p + stream.size();
    while (p < end) {
        const ShpOXMessage m = decodeFrame(p, &p);
        if (!m) return false;
        handler.dispatchMessage(m, m.get(), m->getMsgType());
    }
    return true;
}

void addStream() {
    // The heartbeat is timed only inside the stream; its encoding is checked whole here.
    char frame[FRAME_ROOM];
    encodeFrame(makeHeartbeat(), frame, sizeof frame);
    const ShpOXMessage heartbeat = decodeFrame(frame);
    if (!heartbeat) verifyFailed("heartbeat (zurav): the encoded frame does not decode");
    Collect heartbeatRead;
    readHeartbeat(heartbeat->getRef<ZURAV::HeartbeatMessage>(), heartbeatRead);
    checkReading("heartbeat (zurav)", collect(visitHeartbeat<Collect>), heartbeatRead);

    const std::string stream = makeStream();
    Fold expected;
    visitStream(expected, streamLength);
    StreamHandler check;
    if (!readStream(stream, check) || check.fold.sum() != expected.sum()) {
        verifyFailed("STREAM (zurav): the handler read other values");
    }
    const double messages = static_cast<double>(streamLength);
    const double bytes = static_cast<double>(stream.size()) / messages;
    add("STREAM", "decode", OURS, [stream, messages, bytes](benchmark::State& st) {
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            StreamHandler handler;
            readStream(stream, handler);
            benchmark::DoNotOptimize(handler.fold.sum());
        }
        setCounters(st, allocs0, bytes, messages);
    });
}

// Reads frames into one message, reused from frame to frame: the "decode" and "roundtrip" rows.
template <class M>
class ReusedReader {
  public:
    static constexpr char SUFFIX[] = "";
    // Reads the frame at p (n bytes) into the message, hands it to use and returns false when the
    // frame did not decode.
    template <class Use>
    bool withDecoded(const char* p, size_t n, Use use) {
        const bool ok = decodeFrameInto(_m, p, n);
        use(_m);
        return ok;
    }

  private:
    M _m;
};

// Reads each frame into a new message with decodeMessage, as the client session does: the
// "decode-new" and "roundtrip-new" rows. The message lives until use returns.
template <class M>
class NewReader {
  public:
    static constexpr char SUFFIX[] = "-new";
    template <class Use>
    bool withDecoded(const char* p, size_t, Use use) {
        const ShpOXMessage m = decodeFrame(p);
        if (!m) return false;
        use(m->getRef<M>());
        return true;
    }
};

// Registers decode and round trip of a shape for one way of reading frames (a Reader above,
// made once per run); bytes is msg's frame. read(const M&, Sink&) reads every field of an M.
template <class Reader, class M, class Read>
void addReading(const std::string& shape, const M& msg, const std::string& bytes, Read read) {
    const std::string suffix = Reader::SUFFIX;
    add(shape, "decode" + suffix, OURS, [bytes, read](benchmark::State& st) {
        Reader reader;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            if (!reader.withDecoded(bytes.data(), bytes.size(), [&read](const M& m) {
                    Fold fold;
                    read(m, fold);
                    benchmark::DoNotOptimize(fold.sum());
                })) {
                st.SkipWithError("no decode");
            }
        }
        setCounters(st, allocs0, static_cast<double>(bytes.size()));
    });
    add(shape, "roundtrip" + suffix, OURS, [msg, read](benchmark::State& st) {
        char buf[FRAME_ROOM];
        size_t size = 0;
        Reader reader;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            size = encodeFrame(msg, buf, sizeof buf);
            benchmark::ClobberMemory();
            if (!reader.withDecoded(buf, size, [&read](const M& m) {
                    Fold fold;
                    read(m, fold);
                    benchmark::DoNotOptimize(fold.sum());
                })) {
                st.SkipWithError("no decode");
            }
        }
        setCounters(st, allocs0, static_cast<double>(size));
    });
}

// Verifies that msg's frame decodes to the reference values, then registers encode, decode
// and round trip of the shape. read(const M&, Sink&) reads every field of an M.
template <class M, class Read>
void addShape(const std::string& shape, const M& msg, Read read, const Collect& reference) {
    char frame[FRAME_ROOM];
    const size_t size = encodeFrame(msg, frame, sizeof frame);
    const ShpOXMessage decoded = decodeFrame(frame);
    if (!decoded) verifyFailed(shape + " (zurav): the encoded frame does not decode");
    Collect got;
    read(decoded->getRef<M>(), got);
    checkReading(shape + " (zurav)", reference, got);

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
    addReading<ReusedReader<M>>(shape, msg, bytes, read);
    addReading<NewReader<M>>(shape, msg, bytes, read);
}

}  // namespace

void registerZurav() {
    addShape(
        "ORDER", makeOrder(), [](const ZURAV::SubmitOrderMessage& m, auto& s) { readOrder(m, s); },
        collect(visitOrder<Collect>));
    addShape(
        "REPORT", makeReport(),
        [](const ZURAV::OrderSubmittedMessage& m, auto& s) { readReport(m, s); },
        collect(visitReport<Collect>));
    for (int entries : {2, 10}) {
        addShape(
            "MD" + std::to_string(entries), makeMd(entries),
            [](const ZURAV::MktDataMessage& m, auto& s) { readMd(m, s); },
            collect([entries](Collect& c) { visitMd(c, entries); }));
    }
    addStream();
}

size_t streamMessages() { return streamLength; }

ZURAV::MktDataMessage mdMessage(int entries) { return makeMd(entries); }

}  // namespace Bench
