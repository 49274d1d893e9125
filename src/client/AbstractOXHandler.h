#pragma once

#include "client/OXHandler.h"

namespace ZURAV {

// An OXHandler whose callbacks do nothing, for applications that override only the few they
// need. No state.
class AbstractOXHandler : public OXHandler {
  public:
    ~AbstractOXHandler() override {}

    void onStart(OXClient&) override {}
    void onStop(OXClient&) override {}
    void onDisconnect(OXClient&) override {}
    void onConnect(OXClient&) override {}
    void onHeartbeat(const Heartbeat&, OXClient&) override {}
    void onSubscriptionEvent(const SubscriptionEvent&, OXClient&) override {}
    void onMarketData(const MarketView&, OXClient&) override {}
    void onEventReport(const EventReport&, OXClient&) override {}
    void onDateRollover(const DateRollover&, OXClient&) override {}
    void onBatchComplete(int, OXClient&) override {}
    void onOrderReceived(const OrderReceived&, OXClient&) override {}
    void onOrderRejected(const OrderRejected&, OXClient&) override {}
    void onOrderSubmitted(const OrderSubmitted&, OXClient&) override {}
    void onOrderCanceled(const OrderCanceled&, OXClient&) override {}
    void onOrderCancelRejected(const OrderCancelRejected&, OXClient&) override {}
    void onTradeCapture(const TradeCapture&, OXClient&) override {}
    void onOrderDone(const OrderDone&, OXClient&) override {}
    void onDropCopy(const DropCopy&, OXClient&) override {}
    void onReplayDone(const ReplayDone&, OXClient&) override {}
};

}  // namespace ZURAV
