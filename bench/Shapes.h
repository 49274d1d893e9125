#pragma once

// The values of every benchmark shape, one set for all formats: the library's messages, the
// protobuf messages and the FIX messages are all built from here, and each decoder's reading of
// them is checked against visit*() below. C++14, because the QuickFIX headers are.
//
// Amounts and prices are raw fixed-point values, the amount times 10^9 (billionths); time
// stamps are nanoseconds since the Unix epoch; enumerations carry the library's numeric values.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Bench {

constexpr int64_t E9 = 1000000000;

// Frame time stamp and FIX SendingTime of every message.
constexpr int64_t SENDING_TIME = 1718100000123400000;

// Enumeration values of the library (Side, OrderType, TimeInForce, OrderStatus, MDUpdateAction,
// MDElement, MDSource).
constexpr int SIDE_BID = 1;
constexpr int SIDE_OFR = 2;
constexpr int ORDTYPE_LIMIT = 2;
constexpr int TIF_GTC = 1;
constexpr int ORDSTATUS_PARTIALLY_FILLED = 1;
constexpr int MDACTION_NEW = 0;
constexpr int MDACTION_CHANGE = 1;
constexpr int MDELEMENT_LEVEL = 1;
constexpr int MDSOURCE_MARKET_DATA = 1;
constexpr int MDSOURCE_OX_BOOK = 8;

// ORDER: a SubmitOrderMessage with every field set.
namespace Order {
constexpr int32_t USER_ID = 4711;
constexpr char QUOTE_ID[] = "QT-20240611-8841";
constexpr char ON_BEHALF_OF[] = "FUND-ALPHA";
constexpr int64_t ORDER_ID = (int64_t{12345} << 40) | 987654;
constexpr char CL_ORD_ID[] = "ORD-20240611-000042";  // 19 characters
constexpr int64_t TIME_API_CLIENT = 1718100000123456789;
constexpr int64_t TIME_API_SERVER = 1718100000123470112;
constexpr int64_t TIME_HANDLER = 1718100000123481350;
constexpr int32_t FEED_ID = 7;
constexpr int32_t MARKET_ID = 1042;
constexpr int SIDE = SIDE_BID;
constexpr int64_t AMOUNT = 1000000 * E9;
constexpr int64_t PRICE = 1087650000;  // 1.08765
constexpr int ORD_TYPE = ORDTYPE_LIMIT;
constexpr int TIME_IN_FORCE = TIF_GTC;
constexpr int64_t STOP_PRICE = 1085000000;  // 1.085
constexpr int64_t MAX_SHOW = 250000 * E9;
constexpr char MODEL_ID[] = "MOMENTUM-3";
}  // namespace Order

// REPORT: an OrderSubmittedMessage (an execution report: a partial fill) with every field set.
namespace Report {
constexpr int32_t USER_ID = 4711;
constexpr int32_t SEQUENCE_ID = 881234;
constexpr int64_t ORDER_ID = Order::ORDER_ID;
constexpr char CL_ORD_ID[] = "ORD-20240611-000042";
constexpr char EX_ORD_ID[] = "EX-7F3A90C2-0042";
constexpr char MODEL_ID[] = "MOMENTUM-3";
constexpr int64_t AMOUNT = 250000 * E9;
constexpr int ORD_STATUS = ORDSTATUS_PARTIALLY_FILLED;
constexpr int64_t TIME_EXCHANGE = 1718100000125002000;
constexpr int64_t TIME_HANDLER = 1718100000125210431;
constexpr int64_t TIME_API_SERVER = 1718100000125230977;
constexpr int64_t TIME_API_CLIENT = 1718100000125290018;
constexpr int32_t FEED_ID = 7;
constexpr int32_t MARKET_ID = 1042;
}  // namespace Report

// MD2, MD10: a MktDataMessage whose view holds n entries; entry k is level k / 2 of the bid
// (even k) or the offer (odd k) side.
namespace Md {
constexpr int32_t MARKET_ID = 1042;
constexpr int32_t FEED_ID = 7;
constexpr int64_t TIME_EXCHANGE = 1718100000130000000;
constexpr int64_t TIME_ARRIVAL = 1718100000130041200;
constexpr int64_t TIME_HANDLER = 1718100000130052800;
constexpr int64_t TIME_ENHANCED = 1718100000130061500;
constexpr int64_t TIME_API_SERVER = 1718100000130075300;
constexpr int64_t TIME_API_CLIENT = 1718100000130102900;
constexpr bool IS_SNAPSHOT = false;
// fmIDsInBatch: this market and one more of the same feed.
constexpr int32_t BATCH_MARKET_ID2 = 1043;
constexpr int64_t BATCH_ID = 90000000417;
constexpr int32_t STREAM_ID = 3;

struct Entry {
    int64_t price;
    int64_t amount;
    int64_t minAmount;
    int updateAction;
    int element;
    int side;
    int source;
    int numberOfOrders;
    char components[8];
};

inline Entry entry(int k) {
    const int level = k / 2;
    const bool bid = k % 2 == 0;
    Entry e{};
    e.price = bid ? 1087650000 - level * 10000 : 1087670000 + level * 10000;
    e.amount = (level + 1) * 1000000 * E9;
    e.minAmount = 100000 * E9;
    e.updateAction = level == 0 ? MDACTION_CHANGE : MDACTION_NEW;
    e.element = MDELEMENT_LEVEL;
    e.side = bid ? SIDE_BID : SIDE_OFR;
    e.source = MDSOURCE_MARKET_DATA | MDSOURCE_OX_BOOK;
    e.numberOfOrders = 1 + 2 * level;
    std::memcpy(e.components, "LP1+LP4", 8);
    e.components[2] = static_cast<char>('1' + level % 9);
    return e;
}
}  // namespace Md

// The heartbeat of the STREAM shape.
namespace Heartbeat {
constexpr int64_t TIME_API_SERVER = 1718100000140000000;
constexpr int32_t ACTIVE_FEEDS[] = {3, 7, 12};
constexpr int NUM_ACTIVE_FEEDS = 3;
constexpr int32_t FEED_SEQ_ID = 7;  // bit i: the i-th smallest feed is up
}  // namespace Heartbeat

// STREAM: 1 MiB of frames, 70 % MD2, 20 % REPORT and 10 % heartbeats, in this repeating order.
namespace Stream {
enum Kind { MD2, REPORT, HEARTBEAT };
constexpr Kind PATTERN[] = {MD2, MD2, REPORT, MD2, MD2, HEARTBEAT, MD2, REPORT, MD2, MD2};
constexpr size_t BYTES = 1 << 20;

// The kind of the stream's k-th message.
inline Kind kindAt(size_t k) { return PATTERN[k % (sizeof PATTERN / sizeof PATTERN[0])]; }

// Of one message of each kind, the one of kind.
template <class T>
const T& pick(Kind kind, const T& md2, const T& report, const T& heartbeat) {
    return kind == MD2 ? md2 : kind == REPORT ? report : heartbeat;
}
}  // namespace Stream

// The reference reading of each shape: the values in the order in which every format's
// reader hands them to a sink (see Sinks.h).
template <class Sink>
void visitOrder(Sink& s) {
    using namespace Order;
    s.i(USER_ID);
    s.s(QUOTE_ID, sizeof QUOTE_ID - 1);
    s.s(ON_BEHALF_OF, sizeof ON_BEHALF_OF - 1);
    s.i(ORDER_ID);
    s.s(CL_ORD_ID, sizeof CL_ORD_ID - 1);
    s.t(TIME_API_CLIENT);
    s.t(TIME_API_SERVER);
    s.t(TIME_HANDLER);
    s.i(FEED_ID);
    s.i(MARKET_ID);
    s.i(SIDE);
    s.amount(AMOUNT);
    s.amount(PRICE);
    s.i(ORD_TYPE);
    s.i(TIME_IN_FORCE);
    s.amount(STOP_PRICE);
    s.amount(MAX_SHOW);
    s.s(MODEL_ID, sizeof MODEL_ID - 1);
}

template <class Sink>
void visitReport(Sink& s) {
    using namespace Report;
    s.i(USER_ID);
    s.i(SEQUENCE_ID);
    s.i(ORDER_ID);
    s.s(CL_ORD_ID, sizeof CL_ORD_ID - 1);
    s.s(EX_ORD_ID, sizeof EX_ORD_ID - 1);
    s.s(MODEL_ID, sizeof MODEL_ID - 1);
    s.amount(AMOUNT);
    s.i(ORD_STATUS);
    s.t(TIME_EXCHANGE);
    s.t(TIME_HANDLER);
    s.t(TIME_API_SERVER);
    s.t(TIME_API_CLIENT);
    s.i(FEED_ID);
    s.i(MARKET_ID);
}

template <class Sink>
void visitMdEntry(Sink& s, const Md::Entry& e) {
    s.amount(e.price);
    s.amount(e.amount);
    s.amount(e.minAmount);
    s.i(e.updateAction);
    s.i(e.element);
    s.i(e.side);
    s.i(e.source);
    s.i(e.numberOfOrders);
    s.s(e.components, std::strlen(e.components));
}

template <class Sink>
void visitMd(Sink& s, int entries) {
    using namespace Md;
    s.i(MARKET_ID);
    s.i(FEED_ID);
    s.t(TIME_EXCHANGE);
    s.t(TIME_ARRIVAL);
    s.t(TIME_HANDLER);
    s.t(TIME_ENHANCED);
    s.t(TIME_API_SERVER);
    s.t(TIME_API_CLIENT);
    s.i(IS_SNAPSHOT);
    s.i(entries);
    for (int k = 0; k < entries; ++k) visitMdEntry(s, entry(k));
    s.i(2);
    s.i(MARKET_ID);
    s.i(FEED_ID);
    s.i(BATCH_MARKET_ID2);
    s.i(FEED_ID);
    s.i(BATCH_ID);
    s.i(STREAM_ID);
}

template <class Sink>
void visitHeartbeat(Sink& s) {
    s.t(Heartbeat::TIME_API_SERVER);
    s.i(Heartbeat::NUM_ACTIVE_FEEDS);
    for (int32_t feed : Heartbeat::ACTIVE_FEEDS) s.i(feed);
    s.i(Heartbeat::FEED_SEQ_ID);
}

// What the STREAM handlers read of n messages: the market of each MD2 update, the sequence id of
// each report and the server time of each heartbeat.
template <class Sink>
void visitStream(Sink& s, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        switch (Stream::kindAt(k)) {
            case Stream::MD2:
                s.i(Md::MARKET_ID);
                break;
            case Stream::REPORT:
                s.i(Report::SEQUENCE_ID);
                break;
            case Stream::HEARTBEAT:
                s.t(Heartbeat::TIME_API_SERVER);
                break;
        }
    }
}

}  // namespace Bench
