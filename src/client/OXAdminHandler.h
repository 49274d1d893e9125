#pragma once

#include "api/APIFwd.h"

namespace ZURAV {

class OXAdmin;
class OXClient;

// The administrator's callback interface, passed to OXAdmin::run(): the callbacks of OXHandler
// in the same order and with the same records, then onLockResponse. The lifecycle callbacks and
// those of the session's own events carry the OXAdmin that runs; the order and market-data
// callbacks carry it as an OXClient. The threads, locks and record lifetimes are OXHandler's.
// Implemented by the application only.
class OXAdminHandler {
  public:
    virtual ~OXAdminHandler() {}

    virtual void onStart(OXAdmin& admin) = 0;
    virtual void onStop(OXAdmin& admin) = 0;
    virtual void onDisconnect(OXAdmin& admin) = 0;
    virtual void onConnect(OXAdmin& admin) = 0;
    virtual void onHeartbeat(const Heartbeat& heartbeat, OXAdmin& admin) = 0;
    virtual void onSubscriptionEvent(const SubscriptionEvent& event, OXAdmin& admin) = 0;
    virtual void onMarketData(const MarketView& view, OXClient& client) = 0;
    virtual void onEventReport(const EventReport& report, OXAdmin& admin) = 0;
    virtual void onDateRollover(const DateRollover& rollover, OXAdmin& admin) = 0;
    virtual void onBatchComplete(int batchDefID, OXClient& client) = 0;
    virtual void onOrderReceived(const OrderReceived& order, OXClient& client) = 0;
    virtual void onOrderRejected(const OrderRejected& order, OXClient& client) = 0;
    virtual void onOrderSubmitted(const OrderSubmitted& order, OXClient& client) = 0;
    virtual void onOrderCanceled(const OrderCanceled& order, OXClient& client) = 0;
    virtual void onOrderCancelRejected(const OrderCancelRejected& order, OXClient& client) = 0;
    virtual void onTradeCapture(const TradeCapture& trade, OXClient& client) = 0;
    virtual void onOrderDone(const OrderDone& order, OXClient& client) = 0;
    virtual void onDropCopy(const DropCopy& copy, OXAdmin& admin) = 0;
    virtual void onReplayDone(const ReplayDone& done, OXAdmin& admin) = 0;
    // Declared for the answer to lockUser(); the client reports a lock response on standard
    // error as a message it does not handle and never calls this.
    virtual void onLockResponse(const LockResponse& response, OXClient& client) = 0;
};

}  // namespace ZURAV
