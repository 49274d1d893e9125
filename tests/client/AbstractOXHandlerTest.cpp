#include <gtest/gtest.h>

#include "api/APIAll.h"
#include "client/AbstractOXHandler.h"
#include "client/OXClient.h"

namespace {

using namespace ZURAV;

// An application handler that cares about market data only.
class MarketDataOnly : public AbstractOXHandler {
  public:
    void onMarketData(const MarketView&, OXClient&) override { ++calls; }
    int calls = 0;
};

TEST(AbstractOXHandler, OnlyTheOverriddenCallbackDoesAnything) {
    OXClient client("user", "secret", "localhost", 1);
    MarketDataOnly app;
    OXHandler& h = app;
    h.onStart(client);
    h.onStop(client);
    h.onDisconnect(client);
    h.onConnect(client);
    h.onHeartbeat(Heartbeat(), client);
    h.onSubscriptionEvent(SubscriptionEvent(), client);
    h.onEventReport(EventReport(), client);
    h.onDateRollover(DateRollover(), client);
    h.onBatchComplete(4, client);
    h.onOrderReceived(OrderReceived(), client);
    h.onOrderRejected(OrderRejected(), client);
    h.onOrderSubmitted(OrderSubmitted(), client);
    h.onOrderCanceled(OrderCanceled(), client);
    h.onOrderCancelRejected(OrderCancelRejected(), client);
    h.onTradeCapture(TradeCapture(), client);
    h.onOrderDone(OrderDone(), client);
    h.onDropCopy(DropCopy(), client);
    h.onReplayDone(ReplayDone(), client);
    EXPECT_EQ(app.calls, 0);
    h.onMarketData(MarketView(), client);
    EXPECT_EQ(app.calls, 1);
}

}  // namespace
