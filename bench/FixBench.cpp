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

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

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
};

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
void timeAt(const FIX::FieldMap& m, int tag, Sink& s) {
    const FIX::UtcTimeStamp t = FIX::UtcTimeStampConvertor::convert(text(m, tag));
    s.t(static_cast<int64_t>(t.getTimeT()), t.getFraction(TIME_PRECISION));
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

template <class Read>
void addShape(const std::string& shape, const FIX::Message& msg, Read read,
              const Collect& reference, std::shared_ptr<const FIX::DataDictionary> dict) {
    std::string wire;
    msg.toString(wire);
    for (const FIX::DataDictionary* d :
         {static_cast<const FIX::DataDictionary*>(nullptr), dict.get()}) {
        const std::string who = shape + (d == nullptr ? " (quickfix)" : " (quickfix+dict)");
        FIX::Message decoded;
        Collect got;
        try {
            parse(decoded, wire, d);
            read(decoded, got);
        } catch (const std::exception& e) {
            verifyFailed(who + ": " + e.what());
        }
        const std::string diff = compareReadings(reference, got);
        if (!diff.empty()) verifyFailed(who + ": " + diff);
    }
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
    for (const char* peer : {PEER, PEER_DICT}) {
        const FIX::DataDictionary* d = peer == PEER ? nullptr : dict.get();
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
}

}  // namespace

void registerQuickFix() {
    std::shared_ptr<const FIX::DataDictionary> dict;
    try {
        dict = std::make_shared<FIX::DataDictionary>(ZURAV_BENCH_FIX_DICTIONARY);
    } catch (const std::exception& e) {
        verifyFailed(std::string("the FIX dictionary " ZURAV_BENCH_FIX_DICTIONARY ": ") + e.what());
    }
    FIX::Message order;
    makeOrder(order);
    addShape(
        "ORDER", order, [](const FIX::Message& m, auto& s) { readOrder(m, s); },
        collect([](Collect& c) { visitOrder(c); }), dict);
    FIX::Message report;
    makeReport(report);
    addShape(
        "REPORT", report, [](const FIX::Message& m, auto& s) { readReport(m, s); },
        collect([](Collect& c) { visitReport(c); }), dict);
}

}  // namespace Bench
