#pragma once

// The FIX forms of the benchmark shapes (Shapes.h), as FixBench.cpp builds them, for the QuickFIX
// session rows. C++14, because the QuickFIX headers are.

#include <quickfix/Message.h>

namespace Bench {

// ORDER as a NewOrderSingle, REPORT as an ExecutionReport, MD2 and MD10 as a
// MarketDataIncrementalRefresh with that many entries; each with the standard header of the
// shapes, which a session fills anew when it sends the message.
void fixOrder(FIX::Message& m);
void fixReport(FIX::Message& m);
void fixMd(FIX::Message& m, int entries);

}  // namespace Bench
