#include "client/OXAdmin.h"

#include <stdexcept>
#include <string>

#include "api/LockUserMessage.h"
#include "api/MsgFactory.h"
#include "client/AbstractOXHandler.h"
#include "client/ClientImp.h"
#include "client/OXAdminHandler.h"

namespace ZURAV {

namespace {

// Turns the administrator's handler into the OXHandler that the session calls: every callback
// goes to the one of the same name with the administrator client, whatever client the session
// passes. No state, no filtering, no catching.
class AdminClientHandler : public AbstractOXHandler {
  public:
    AdminClientHandler(OXAdminHandler* handler, OXAdmin* admin)
        : _handler(handler), _admin(admin) {}

    void onStart(OXClient&) override { _handler->onStart(*_admin); }
    void onStop(OXClient&) override { _handler->onStop(*_admin); }
    void onDisconnect(OXClient&) override { _handler->onDisconnect(*_admin); }
    void onConnect(OXClient&) override { _handler->onConnect(*_admin); }
    void onHeartbeat(const Heartbeat& r, OXClient&) override { _handler->onHeartbeat(r, *_admin); }
    void onSubscriptionEvent(const SubscriptionEvent& r, OXClient&) override {
        _handler->onSubscriptionEvent(r, *_admin);
    }
    void onMarketData(const MarketView& r, OXClient&) override {
        _handler->onMarketData(r, *_admin);
    }
    void onEventReport(const EventReport& r, OXClient&) override {
        _handler->onEventReport(r, *_admin);
    }
    void onDateRollover(const DateRollover& r, OXClient&) override {
        _handler->onDateRollover(r, *_admin);
    }
    void onBatchComplete(int id, OXClient&) override { _handler->onBatchComplete(id, *_admin); }
    void onOrderReceived(const OrderReceived& r, OXClient&) override {
        _handler->onOrderReceived(r, *_admin);
    }
    void onOrderRejected(const OrderRejected& r, OXClient&) override {
        _handler->onOrderRejected(r, *_admin);
    }
    void onOrderSubmitted(const OrderSubmitted& r, OXClient&) override {
        _handler->onOrderSubmitted(r, *_admin);
    }
    void onOrderCanceled(const OrderCanceled& r, OXClient&) override {
        _handler->onOrderCanceled(r, *_admin);
    }
    void onOrderCancelRejected(const OrderCancelRejected& r, OXClient&) override {
        _handler->onOrderCancelRejected(r, *_admin);
    }
    void onTradeCapture(const TradeCapture& r, OXClient&) override {
        _handler->onTradeCapture(r, *_admin);
    }
    void onOrderDone(const OrderDone& r, OXClient&) override { _handler->onOrderDone(r, *_admin); }
    void onDropCopy(const DropCopy& r, OXClient&) override { _handler->onDropCopy(r, *_admin); }
    void onReplayDone(const ReplayDone& r, OXClient&) override {
        _handler->onReplayDone(r, *_admin);
    }
    virtual void onLockResponse(const LockResponse& r, OXClient&) {
        _handler->onLockResponse(r, *_admin);
    }

  private:
    OXAdminHandler* const _handler;  // not owned
    OXAdmin* const _admin;           // not owned
};

}  // namespace

OXAdmin::OXAdmin(const char* username, const char* password, const char* hostname1, int port1)
    : OXClient(username, password, hostname1, port1) {}

OXAdmin::OXAdmin(const char* username, const char* password, const char* hostname1, int port1,
                 const char* hostname2, int port2)
    : OXClient(username, password, hostname1, port1, hostname2, port2) {}

OXAdmin::~OXAdmin() {}

OXAdmin* OXAdmin::open(const char* username, const char* password, const char* hostname, int port) {
    return open(username, password, hostname, port, nullptr, 0);
}

OXAdmin* OXAdmin::open(const char* username, const char* password, const char* hostname1, int port1,
                       const char* hostname2, int port2) {
    if (username == nullptr || password == nullptr || hostname1 == nullptr) return nullptr;
    OXAdmin* const admin = new OXAdmin(username, password, hostname1, port1, hostname2, port2);
    APIResult::Type result;
    try {
        result = admin->connect();
    } catch (...) {
        delete admin;
        throw;
    }
    if (result == APIResult::OK) return admin;
    delete admin;
    const char* const name = APIResult::toString(result);
    throw std::runtime_error(std::string("Error connecting: ") + (name != nullptr ? name : ""));
}

APIResult::Type OXAdmin::run(OXAdminHandler* handler) {
    if (handler == nullptr) return APIResult::INVALID_PARAMETER;
    // Lives as long as the session may call it: until run() returns.
    AdminClientHandler adapter(handler, this);
    return OXClient::run(&adapter);
}

APIResult::Type OXAdmin::allowClientsToConnect() { return OXClient::allowClientsToConnect(); }

APIResult::Type OXAdmin::lockUser(const char* clRequestID, const char* username, bool locked) {
    return OXClient::lockUser(clRequestID, username, locked);
}

// The administrator's operations reach the session through the base class, which owns it.

APIResult::Type OXClient::allowClientsToConnect() { return APIResult::NOT_IMPLEMENTED; }

APIResult::Type OXClient::lockUser(const char* clRequestID, const char* username, bool locked) {
    if (clRequestID == nullptr || username == nullptr) return APIResult::INVALID_PARAMETER;
    const ShpOXMessage sm = MsgFactory::createMessage(LockUserMessage::ID);
    LockUser& request = sm->getRef<LockUserMessage>().contents;
    request.clRequestID = clRequestID;
    request.locked = locked;
    request.username = username;
    return imp->send(sm);
}

}  // namespace ZURAV
