// The QuickFIX peer: the shapes as FIX.4.4 messages with a standard header, built once and
// written with Message::toString into a reused string; parsed with Message::setString into a
// reused message. "quickfix" parses without a data dictionary and without validation;
// "quickfix+dict" parses with the data dictionary FIX44-bench.xml and validates against it, as
// a session does. Amounts are decimal text, time stamps UTC timestamps with nanoseconds, and
// 64-bit integers strings; every field read is converted to its value.
//
// Compiled as C++14: the QuickFIX headers use dynamic exception specifications.

#include <quickfix/DataDictionary.h>
#include <quickfix/FieldConvertors.h>
#include <quickfix/Message.h>
#include <quickfix/Parser.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "FixShapes.h"
#include "Registry.h"
#include "Shapes.h"
#include "Sinks.h"

namespace Bench {
namespace {

constexpr char PEER[] = "quickfix";
constexpr char PEER_DICT[] = "quickfix+dict";

// Tags: T_ standard FIX.4.4 fields, Z_ the user-defined fields of FIX44-bench.xml.
enum Tag : int {
    T_ON_BEHALF_OF_COMP_ID = 115,
    T_CL_ORD_ID = 11,
    T_LAST_QTY = 32,
    T_ORDER_ID = 37,
    T_ORDER_QTY = 38,
    T_ORD_STATUS = 39,
    T_ORD_TYPE = 40,
    T_PRICE = 44,
    T_SECURITY_ID = 48,
    T_SIDE = 54,
    T_TIME_IN_FORCE = 59,
    T_TRANSACT_TIME = 60,
    T_STOP_PX = 99,
    T_QUOTE_ID = 117,
    T_SECURITY_EXCHANGE = 207,
    T_MAX_SHOW = 210,
    Z_USER_ID = 5000,
    Z_ORDER_ID = 5001,
    Z_TIME_API_SERVER = 5002,
    Z_TIME_HANDLER = 5003,
    Z_MODEL_ID = 5004,
    Z_SEQUENCE_ID = 5005,
    Z_TIME_API_CLIENT = 5006,
    T_TEXT = 58,
    T_MIN_QTY = 110,
    T_NO_MD_ENTRIES = 268,
    T_MD_ENTRY_TYPE = 269,
    T_MD_ENTRY_PX = 270,
    T_MD_ENTRY_SIZE = 271,
    T_MD_UPDATE_ACTION = 279,
    T_NUMBER_OF_ORDERS = 346,
    Z_TIME_ARRIVAL = 5007,
    Z_TIME_ENHANCED = 5008,
    Z_IS_SNAPSHOT = 5009,
    Z_MD_ELEMENT = 5010,
    Z_MD_SOURCE = 5011,
    Z_NO_BATCH_MARKETS = 5020,
    Z_BATCH_MARKET_ID = 5021,
    Z_BATCH_FEED_ID = 5022,
    Z_BATCH_ID = 5023,
    Z_STREAM_ID = 5024,
    Z_NO_ACTIVE_FEEDS = 5040,
    Z_ACTIVE_FEED_ID = 5041,
    Z_FEED_SEQ_ID = 5042,
};

// The stream arrives in chunks of this size, as a socket read would hand them over.
constexpr size_t STREAM_CHUNK = 8192;

constexpr int TIME_PRECISION = 9;

FIX::UtcTimeStamp utc(int64_t ns) {
    return FIX::UtcTimeStamp(static_cast<time_t>(ns / E9), static_cast<int>(ns % E9),
                             TIME_PRECISION);
}

void setTime(FIX::FieldMap& m, int tag, int64_t ns) {
    m.setField(FIX::UtcTimeStampField(tag, utc(ns), TIME_PRECISION));
}

// A message of type msgType with the standard header of every shape.
void setHeader(FIX::Message& m, const char* msgType) {
    FIX::Header& h = m.getHeader();
    h.setField(FIX::BeginString("FIX.4.4"));
    h.setField(FIX::MsgType(msgType));
    h.setField(FIX::SenderCompID("OXAPI"));
    h.setField(FIX::TargetCompID("ZURAV"));
    h.setField(FIX::MsgSeqNum(4711));
    h.setField(FIX::SendingTime(utc(SENDING_TIME), TIME_PRECISION));
}

const std::string& text(const FIX::FieldMap& m, int tag) { return m.getFieldRef(tag).getString(); }
int64_t int32At(const FIX::FieldMap& m, int tag) {
    return FIX::IntConvertor::convert(text(m, tag));
}
int64_t int64At(const FIX::FieldMap& m, int tag) {
    return std::strtoll(text(m, tag).c_str(), nullptr, 10);
}
double decimalAt(const FIX::FieldMap& m, int tag) {
    return FIX::DoubleConvertor::convert(text(m, tag));
}
// FIX character codes of the shapes' enumerations are the library's values as digits.
int64_t codeAt(const FIX::FieldMap& m, int tag) { return text(m, tag)[0] - '0'; }

template <class Sink>
void timeOf(const std::string& value, Sink& s) {
    const FIX::UtcTimeStamp t = FIX::UtcTimeStampConvertor::convert(value);
    s.t(static_cast<int64_t>(t.getTimeT()), t.getFraction(TIME_PRECISION));
}

template <class Sink>
void timeAt(const FIX::FieldMap& m, int tag, Sink& s) {
    timeOf(text(m, tag), s);
}

void makeOrder(FIX::Message& m) {
    using namespace Order;
    setHeader(m, "D");
    m.getHeader().setField(FIX::OnBehalfOfCompID(ON_BEHALF_OF));
    m.setField(FIX::IntField(Z_USER_ID, USER_ID));
    m.setField(FIX::QuoteID(QUOTE_ID));
    m.setField(FIX::StringField(Z_ORDER_ID, std::to_string(Order::ORDER_ID)));
    m.setField(FIX::ClOrdID(CL_ORD_ID));
    setTime(m, T_TRANSACT_TIME, TIME_API_CLIENT);
    setTime(m, Z_TIME_API_SERVER, TIME_API_SERVER);
    setTime(m, Z_TIME_HANDLER, Order::TIME_HANDLER);
    m.setField(FIX::SecurityExchange(std::to_string(FEED_ID)));
    m.setField(FIX::SecurityID(std::to_string(MARKET_ID)));
    m.setField(FIX::Side(static_cast<char>('0' + Order::SIDE)));
    m.setField(FIX::OrderQty(static_cast<double>(AMOUNT) / E9));
    m.setField(FIX::Price(static_cast<double>(Order::PRICE) / E9));
    m.setField(FIX::OrdType(static_cast<char>('0' + Order::ORD_TYPE)));
    m.setField(FIX::TimeInForce(static_cast<char>('0' + Order::TIME_IN_FORCE)));
    m.setField(FIX::StopPx(static_cast<double>(STOP_PRICE) / E9));
    m.setField(FIX::MaxShow(static_cast<double>(Order::MAX_SHOW) / E9));
    m.setField(FIX::StringField(Z_MODEL_ID, MODEL_ID));
}

template <class Sink>
void readOrder(const FIX::Message& m, Sink& s) {
    s.i(int32At(m, Z_USER_ID));
    s.s(text(m, T_QUOTE_ID));
    s.s(text(m.getHeader(), T_ON_BEHALF_OF_COMP_ID));
    s.i(int64At(m, Z_ORDER_ID));
    s.s(text(m, T_CL_ORD_ID));
    timeAt(m, T_TRANSACT_TIME, s);
    timeAt(m, Z_TIME_API_SERVER, s);
    timeAt(m, Z_TIME_HANDLER, s);
    s.i(int32At(m, T_SECURITY_EXCHANGE));
    s.i(int32At(m, T_SECURITY_ID));
    s.i(codeAt(m, T_SIDE));
    s.amount(decimalAt(m, T_ORDER_QTY));
    s.amount(decimalAt(m, T_PRICE));
    s.i(codeAt(m, T_ORD_TYPE));
    s.i(codeAt(m, T_TIME_IN_FORCE));
    s.amount(decimalAt(m, T_STOP_PX));
    s.amount(decimalAt(m, T_MAX_SHOW));
    s.s(text(m, Z_MODEL_ID));
}

void makeReport(FIX::Message& m) {
    using namespace Report;
    setHeader(m, "8");
    m.setField(FIX::IntField(Z_USER_ID, USER_ID));
    m.setField(FIX::IntField(Z_SEQUENCE_ID, SEQUENCE_ID));
    m.setField(FIX::StringField(Z_ORDER_ID, std::to_string(Report::ORDER_ID)));
    m.setField(FIX::ClOrdID(CL_ORD_ID));
    m.setField(FIX::OrderID(EX_ORD_ID));
    m.setField(FIX::StringField(Z_MODEL_ID, MODEL_ID));
    m.setField(FIX::LastQty(static_cast<double>(AMOUNT) / E9));
    m.setField(FIX::OrdStatus(static_cast<char>('0' + Report::ORD_STATUS)));
    setTime(m, T_TRANSACT_TIME, TIME_EXCHANGE);
    setTime(m, Z_TIME_HANDLER, Report::TIME_HANDLER);
    setTime(m, Z_TIME_API_SERVER, TIME_API_SERVER);
    setTime(m, Z_TIME_API_CLIENT, TIME_API_CLIENT);
    m.setField(FIX::SecurityExchange(std::to_string(FEED_ID)));
    m.setField(FIX::SecurityID(std::to_string(MARKET_ID)));
}

template <class Sink>
void readReport(const FIX::Message& m, Sink& s) {
    s.i(int32At(m, Z_USER_ID));
    s.i(int32At(m, Z_SEQUENCE_ID));
    s.i(int64At(m, Z_ORDER_ID));
    s.s(text(m, T_CL_ORD_ID));
    s.s(text(m, T_ORDER_ID));
    s.s(text(m, Z_MODEL_ID));
    s.amount(decimalAt(m, T_LAST_QTY));
    s.i(codeAt(m, T_ORD_STATUS));
    timeAt(m, T_TRANSACT_TIME, s);
    timeAt(m, Z_TIME_HANDLER, s);
    timeAt(m, Z_TIME_API_SERVER, s);
    timeAt(m, Z_TIME_API_CLIENT, s);
    s.i(int32At(m, T_SECURITY_EXCHANGE));
    s.i(int32At(m, T_SECURITY_ID));
}

void makeMd(FIX::Message& m, int entries) {
    using namespace Md;
    setHeader(m, "X");
    m.setField(FIX::SecurityID(std::to_string(MARKET_ID)));
    m.setField(FIX::SecurityExchange(std::to_string(FEED_ID)));
    setTime(m, T_TRANSACT_TIME, TIME_EXCHANGE);
    setTime(m, Z_TIME_ARRIVAL, TIME_ARRIVAL);
    setTime(m, Z_TIME_HANDLER, Md::TIME_HANDLER);
    setTime(m, Z_TIME_ENHANCED, TIME_ENHANCED);
    setTime(m, Z_TIME_API_SERVER, TIME_API_SERVER);
    setTime(m, Z_TIME_API_CLIENT, TIME_API_CLIENT);
    m.setField(FIX::BoolField(Z_IS_SNAPSHOT, IS_SNAPSHOT));
    for (int k = 0; k < entries; ++k) {
        const Entry e = entry(k);
        FIX::Group g(T_NO_MD_ENTRIES, T_MD_UPDATE_ACTION);
        g.setField(FIX::MDUpdateAction(static_cast<char>('0' + e.updateAction)));
        g.setField(FIX::MDEntryType(e.side == SIDE_BID ? '0' : '1'));
        g.setField(FIX::MDEntryPx(static_cast<double>(e.price) / E9));
        g.setField(FIX::MDEntrySize(static_cast<double>(e.amount) / E9));
        g.setField(FIX::MinQty(static_cast<double>(e.minAmount) / E9));
        g.setField(FIX::NumberOfOrders(e.numberOfOrders));
        g.setField(FIX::Text(e.components));
        g.setField(FIX::IntField(Z_MD_ELEMENT, e.element));
        g.setField(FIX::IntField(Z_MD_SOURCE, e.source));
        m.addGroup(g);
    }
    for (int32_t market : {MARKET_ID, BATCH_MARKET_ID2}) {
        FIX::Group g(Z_NO_BATCH_MARKETS, Z_BATCH_MARKET_ID);
        g.setField(FIX::IntField(Z_BATCH_MARKET_ID, market));
        g.setField(FIX::IntField(Z_BATCH_FEED_ID, FEED_ID));
        m.addGroup(g);
    }
    m.setField(FIX::StringField(Z_BATCH_ID, std::to_string(BATCH_ID)));
    m.setField(FIX::IntField(Z_STREAM_ID, STREAM_ID));
}

// Reads a market-data message parsed with the dictionary, its entries from their groups.
template <class Sink>
void readMd(const FIX::Message& m, Sink& s) {
    s.i(int32At(m, T_SECURITY_ID));
    s.i(int32At(m, T_SECURITY_EXCHANGE));
    timeAt(m, T_TRANSACT_TIME, s);
    timeAt(m, Z_TIME_ARRIVAL, s);
    timeAt(m, Z_TIME_HANDLER, s);
    timeAt(m, Z_TIME_ENHANCED, s);
    timeAt(m, Z_TIME_API_SERVER, s);
    timeAt(m, Z_TIME_API_CLIENT, s);
    s.i(FIX::BoolConvertor::convert(text(m, Z_IS_SNAPSHOT)));
    const int64_t entries = int32At(m, T_NO_MD_ENTRIES);
    s.i(entries);
    for (int k = 1; k <= entries; ++k) {
        const FIX::FieldMap& e = m.getGroupRef(k, T_NO_MD_ENTRIES);
        s.amount(decimalAt(e, T_MD_ENTRY_PX));
        s.amount(decimalAt(e, T_MD_ENTRY_SIZE));
        s.amount(decimalAt(e, T_MIN_QTY));
        s.i(codeAt(e, T_MD_UPDATE_ACTION));
        s.i(int32At(e, Z_MD_ELEMENT));
        s.i(codeAt(e, T_MD_ENTRY_TYPE) + 1);  // 0 bid, 1 offer
        s.i(int32At(e, Z_MD_SOURCE));
        s.i(int32At(e, T_NUMBER_OF_ORDERS));
        s.s(text(e, T_TEXT));
    }
    const int64_t markets = int32At(m, Z_NO_BATCH_MARKETS);
    s.i(markets);
    for (int k = 1; k <= markets; ++k) {
        const FIX::FieldMap& g = m.getGroupRef(k, Z_NO_BATCH_MARKETS);
        s.i(int32At(g, Z_BATCH_MARKET_ID));
        s.i(int32At(g, Z_BATCH_FEED_ID));
    }
    s.i(int64At(m, Z_BATCH_ID));
    s.i(int32At(m, Z_STREAM_ID));
}

// Reads every body field of a message parsed without a dictionary, where the fields of
// repeating groups stand in the body one after the other, converted by their tags' types.
template <class Sink>
void readFlat(const FIX::Message& m, Sink& s) {
    for (const FIX::FieldBase& f : m) {
        const std::string& v = f.getString();
        switch (f.getTag()) {
            case T_MD_ENTRY_PX:
            case T_MD_ENTRY_SIZE:
            case T_MIN_QTY:
                s.amount(FIX::DoubleConvertor::convert(v));
                break;
            case T_TRANSACT_TIME:
            case Z_TIME_API_SERVER:
            case Z_TIME_HANDLER:
            case Z_TIME_API_CLIENT:
            case Z_TIME_ARRIVAL:
            case Z_TIME_ENHANCED:
                timeOf(v, s);
                break;
            case Z_IS_SNAPSHOT:
                s.i(FIX::BoolConvertor::convert(v));
                break;
            case T_MD_UPDATE_ACTION:
                s.i(v[0] - '0');
                break;
            case T_MD_ENTRY_TYPE:
                s.i(v[0] - '0' + 1);
                break;
            case T_TEXT:
                s.s(v);
                break;
            case Z_BATCH_ID:
                s.i(std::strtoll(v.c_str(), nullptr, 10));
                break;
            default:
                s.i(FIX::IntConvertor::convert(v));
                break;
        }
    }
}

void makeHeartbeat(FIX::Message& m) {
    setHeader(m, "0");
    setTime(m, Z_TIME_API_SERVER, Heartbeat::TIME_API_SERVER);
    for (int32_t feed : Heartbeat::ACTIVE_FEEDS) {
        FIX::Group g(Z_NO_ACTIVE_FEEDS, Z_ACTIVE_FEED_ID);
        g.setField(FIX::IntField(Z_ACTIVE_FEED_ID, feed));
        m.addGroup(g);
    }
    m.setField(FIX::IntField(Z_FEED_SEQ_ID, Heartbeat::FEED_SEQ_ID));
}

template <class Sink>
void readHeartbeat(const FIX::Message& m, Sink& s) {
    timeAt(m, Z_TIME_API_SERVER, s);
    const int64_t feeds = int32At(m, Z_NO_ACTIVE_FEEDS);
    s.i(feeds);
    for (int k = 1; k <= feeds; ++k)
        s.i(int32At(m.getGroupRef(k, Z_NO_ACTIVE_FEEDS), Z_ACTIVE_FEED_ID));
    s.i(int32At(m, Z_FEED_SEQ_ID));
}

// The STREAM handler: reads one field of the message, chosen by its type.
template <class Sink>
void handleMessage(const FIX::Message& m, Sink& s) {
    switch (text(m.getHeader(), FIX::FIELD::MsgType)[0]) {
        case 'X':
            s.i(int32At(m, T_SECURITY_ID));
            break;
        case '8':
            s.i(int32At(m, Z_SEQUENCE_ID));
            break;
        case '0':
            timeAt(m, Z_TIME_API_SERVER, s);
            break;
    }
}

// Parses wire into m: without a dictionary and without validation, or with the dictionary and
// the checks a session makes.
void parse(FIX::Message& m, const std::string& wire, const FIX::DataDictionary* dict) {
    if (dict == nullptr) {
        m.setString(wire, false);
    } else {
        m.setString(wire, true, dict);
        FIX::DataDictionary::validate(m, dict, dict);
    }
}

// Hands stream to parser in socket-sized chunks, parses each message that the parser completes
// into m (d null: without the dictionary) and hands it to the STREAM handler, which reads into
// fold.
void readStream(FIX::Parser& parser, FIX::Message& m, const std::string& stream,
                const FIX::DataDictionary* d, Fold& fold) {
    std::string one;
    for (size_t at = 0; at < stream.size(); at += STREAM_CHUNK) {
        parser.addToStream(stream.data() + at, std::min(STREAM_CHUNK, stream.size() - at));
        while (parser.readFixMessage(one)) {
            parse(m, one, d);
            handleMessage(m, fold);
        }
    }
}

// Checks that wire, parsed with the dictionary, reads as the reference values through
// readDict, and without it gives the same values (in any order) through readPlain.
template <class ReadPlain, class ReadDict>
void verify(const std::string& what, const std::string& wire, ReadPlain readPlain,
            ReadDict readDict, const Collect& reference, const FIX::DataDictionary* dict) {
    try {
        FIX::Message withDict;
        parse(withDict, wire, dict);
        Collect got;
        readDict(withDict, got);
        checkReading(what + " (quickfix+dict)", reference, got);
        FIX::Message plain;
        parse(plain, wire, nullptr);
        Fold plainSum, dictSum;
        readPlain(plain, plainSum);
        readDict(withDict, dictSum);
        if (plainSum.sum() != dictSum.sum()) {
            verifyFailed(what + " (quickfix): parsed without the dictionary it reads otherwise");
        }
    } catch (const std::exception& e) {
        verifyFailed(what + " (quickfix): " + e.what());
    }
}

void addStream(std::shared_ptr<const FIX::DataDictionary> dict) {
    FIX::Message md, report, heartbeat;
    makeMd(md, 2);
    makeReport(report);
    makeHeartbeat(heartbeat);
    std::string wire;
    verify(
        "heartbeat", heartbeat.toString(wire),
        [](const FIX::Message& m, auto& s) { readFlat(m, s); },
        [](const FIX::Message& m, auto& s) { readHeartbeat(m, s); },
        collect(visitHeartbeat<Collect>), dict.get());

    const size_t messages = streamMessages();
    std::string stream;
    for (size_t k = 0; k < messages; ++k) {
        stream += Stream::pick(Stream::kindAt(k), md, report, heartbeat).toString(wire);
    }
    Fold expected;
    visitStream(expected, messages);
    for (const FIX::DataDictionary* d :
         {static_cast<const FIX::DataDictionary*>(nullptr), dict.get()}) {
        FIX::Parser parser;
        FIX::Message m;
        Fold got;
        try {
            readStream(parser, m, stream, d, got);
        } catch (const std::exception& e) {
            verifyFailed(std::string("STREAM (quickfix): ") + e.what());
        }
        if (got.sum() != expected.sum()) {
            verifyFailed("STREAM (quickfix): the handler read other values");
        }
    }

    const double bytes = static_cast<double>(stream.size()) / static_cast<double>(messages);
    for (const char* peer : {PEER, PEER_DICT}) {
        const FIX::DataDictionary* d = peer == PEER ? nullptr : dict.get();
        add("STREAM", "decode", peer, [stream, messages, bytes, d, dict](benchmark::State& st) {
            FIX::Parser parser;
            FIX::Message m;
            const uint64_t allocs0 = allocations();
            for (auto _ : st) {
                Fold fold;
                readStream(parser, m, stream, d, fold);
                benchmark::DoNotOptimize(fold.sum());
            }
            setCounters(st, allocs0, bytes, static_cast<double>(messages));
        });
    }
}

// Registers decode and round trip of a shape for one way of parsing (d null: no dictionary).
template <class Read>
void addReading(const std::string& shape, const FIX::Message& msg, const std::string& wire,
                Read read, const char* peer, const FIX::DataDictionary* d,
                std::shared_ptr<const FIX::DataDictionary> dict) {
    const double size = static_cast<double>(wire.size());
    add(shape, "decode", peer, [wire, read, size, d, dict](benchmark::State& st) {
        FIX::Message m;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            parse(m, wire, d);
            Fold fold;
            read(m, fold);
            benchmark::DoNotOptimize(fold.sum());
        }
        setCounters(st, allocs0, size);
    });
    add(shape, "roundtrip", peer, [msg, read, size, d, dict](benchmark::State& st) {
        std::string out;
        FIX::Message m;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            msg.toString(out);
            benchmark::ClobberMemory();
            parse(m, out, d);
            Fold fold;
            read(m, fold);
            benchmark::DoNotOptimize(fold.sum());
        }
        setCounters(st, allocs0, size);
    });
}

// Verifies the shape's FIX form, then registers its encode, and decode and round trip without
// (readPlain) and with (readDict) the dictionary.
template <class ReadPlain, class ReadDict>
void addShape(const std::string& shape, const FIX::Message& msg, ReadPlain readPlain,
              ReadDict readDict, const Collect& reference,
              std::shared_ptr<const FIX::DataDictionary> dict) {
    std::string wire;
    msg.toString(wire);
    verify(shape, wire, readPlain, readDict, reference, dict.get());
    const double size = static_cast<double>(wire.size());

    add(shape, "encode", PEER, [msg, size](benchmark::State& st) {
        std::string out;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            benchmark::DoNotOptimize(msg.toString(out).data());
            benchmark::ClobberMemory();
        }
        setCounters(st, allocs0, size);
    });
    addReading(shape, msg, wire, readPlain, PEER, nullptr, dict);
    addReading(shape, msg, wire, readDict, PEER_DICT, dict.get(), dict);
}

}  // namespace

void fixOrder(FIX::Message& m) { makeOrder(m); }
void fixReport(FIX::Message& m) { makeReport(m); }
void fixMd(FIX::Message& m, int entries) { makeMd(m, entries); }

void registerQuickFix() {
    std::shared_ptr<const FIX::DataDictionary> dict;
    try {
        dict = std::make_shared<FIX::DataDictionary>(ZURAV_BENCH_FIX_DICTIONARY);
    } catch (const std::exception& e) {
        verifyFailed(std::string("the FIX dictionary " ZURAV_BENCH_FIX_DICTIONARY ": ") + e.what());
    }
    FIX::Message order;
    makeOrder(order);
    const auto orderReader = [](const FIX::Message& m, auto& s) { readOrder(m, s); };
    addShape("ORDER", order, orderReader, orderReader, collect(visitOrder<Collect>), dict);
    FIX::Message report;
    makeReport(report);
    const auto reportReader = [](const FIX::Message& m, auto& s) { readReport(m, s); };
    addShape("REPORT", report, reportReader, reportReader, collect(visitReport<Collect>), dict);
    for (int entries : {2, 10}) {
        FIX::Message md;
        makeMd(md, entries);
        addShape(
            "MD" + std::to_string(entries), md,
            [](const FIX::Message& m, auto& s) { readFlat(m, s); },
            [](const FIX::Message& m, auto& s) { readMd(m, s); },
            collect([entries](Collect& c) { visitMd(c, entries); }), dict);
    }
    addStream(dict);
}

}  // namespace Bench
