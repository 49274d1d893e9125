#pragma once

#include "api/APIFwd.h"

namespace ZURAV {

class OXClient;

// The application's callback interface: the lifecycle of a running session and the messages
// that the session passes on.
//
// Callbacks are made on the thread that runs the client's event loop (inside run() or
// processEvents()), one at a time, only while the handler is installed by one of those calls;
// the client never deletes its handler. They are made with neither the client's send lock nor
// its configuration lock held, so a callback may make requests on the client. A record passed
// by reference is valid only for the duration of the call: copy what must be kept. An exception
// thrown by a callback is not caught by the client: it leaves run() or processEvents().
//
// The client argument is the client that owns the session.
class OXHandler {
  public:
    virtual ~OXHandler() {}

    // Lifecycle of run(): its loop starts and ends, the connection is lost and won back.
    virtual void onStart(OXClient& client) = 0;
    virtual void onStop(OXClient& client) = 0;
    virtual void onDisconnect(OXClient& client) = 0;
    virtual void onConnect(OXClient& client) = 0;

    virtual void onHeartbeat(const Heartbeat& heartbeat, OXClient& client) = 0;
    virtual void onSubscriptionEvent(const SubscriptionEvent& event, OXClient& client) = 0;
    virtual void onMarketData(const MarketView& view, OXClient& client) = 0;
    virtual void onEventReport(const EventReport& report, OXClient& client) = 0;
    virtual void onDateRollover(const DateRollover& rollover, OXClient& client) = 0;
    // Once per id of a batch-completion message, in its order.
    virtual void onBatchComplete(int batchDefID, OXClient& client) = 0;
    virtual void onOrderReceived(const OrderReceived& order, OXClient& client) = 0;
    // Also for a rejection the client made itself for a request it refused locally.
    virtual void onOrderRejected(const OrderRejected& order, OXClient& client) = 0;
    virtual void onOrderSubmitted(const OrderSubmitted& order, OXClient& client) = 0;
    virtual void onOrderCanceled(const OrderCanceled& order, OXClient& client) = 0;
    // Also for a cancel rejection the client made itself for a request it refused locally.
    virtual void onOrderCancelRejected(const OrderCancelRejected& order, OXClient& client) = 0;
    virtual void onTradeCapture(const TradeCapture& trade, OXClient& client) = 0;
    virtual void onOrderDone(const OrderDone& order, OXClient& client) = 0;
    virtual void onDropCopy(const DropCopy& copy, OXClient& client) = 0;
    virtual void onReplayDone(const ReplayDone& done, OXClient& client) = 0;
};

}  // namespace ZURAV
