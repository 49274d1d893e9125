#pragma once

// The orders and reports of the worked examples, shared by the byte and the text tests.

#include <cstdint>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

namespace apitest {

inline ZURAV::KeyValuePair pair(const char* key, const char* value) {
    ZURAV::KeyValuePair p;
    p.key = key;
    p.value = value;
    return p;
}

inline ZURAV::CancelAllOrder cancelAll() {
    ZURAV::CancelAllOrder x;
    x.cxlID = "X1";
    x.monitoredOnly = true;
    x.feedID = 3;
    return x;
}

inline ZURAV::SubmitOrder submit() {
    ZURAV::SubmitOrder x;
    x.orderID = 1;
    x.clOrdID = "A";
    x.feedID = 1;
    x.marketID = 2;
    x.side = ZURAV::Side::BID;
    x.amount = ZURAV::OXFloat(int64_t{1000000} * E9);
    x.price = ZURAV::OXFloat(5 * E9 / 4);
    x.ordType = ZURAV::OrderType::LIMIT;
    x.timeInForce = ZURAV::TimeInForce::GTC;
    return x;
}

// One parameter a=b.
inline ZURAV::ComplexOrder complexOrder() {
    ZURAV::ComplexOrder x;
    x.orderName = "n";
    x.orderID = 1;
    x.clOrdID = "c";
    x.feedID = 2;
    x.parameters.push_back(pair("a", "b"));
    return x;
}

// The report the session makes for a duplicate client order id A on feed 1 and market 2.
inline ZURAV::OrderRejected duplicateA() {
    ZURAV::OrderRejected x;
    x.sequenceID = -1;
    x.orderID = -1;
    x.clOrdID = "A";
    x.feedID = 1;
    x.marketID = 2;
    x.reason = ZURAV::RejectReason::DUPLICATE_ORDER;
    return x;
}

inline ZURAV::OrderSubmitted submitted() {
    ZURAV::OrderSubmitted x;
    x.sequenceID = 1;
    x.orderID = 2;
    x.clOrdID = "c";
    x.exOrdID = "e";
    x.amount = ZURAV::OXFloat(int64_t{1000000} * E9);
    x.ordStatus = ZURAV::OrderStatus::ACCEPTED;
    x.feedID = 1;
    x.marketID = 2;
    return x;
}

}  // namespace apitest
