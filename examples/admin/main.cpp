// The administrator client: logs in as an administrator, locks a user and unlocks it again, runs
// the session for a second and closes it.
//
//   zurav-example-admin HOST PORT
//
// Against zurav-demo-server every request is confirmed. The library reports the server's lock
// responses on standard error, as messages it does not hand to a handler.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "api/APIAll.h"
#include "client/OXAdmin.h"
#include "client/OXAdminHandler.h"
#include "client/OXInit.h"

using namespace ZURAV;

namespace {

const char* const USAGE =
    "usage: zurav-example-admin HOST PORT\n"
    "Logs in to the server at HOST PORT as an administrator, locks the user trader and unlocks\n"
    "it, runs the session for a second and closes it.\n";

void say(const std::string& line) { std::cout << "admin   " << line << std::endl; }

// The port that text names (1 to 65535), or 0 when it names none.
int portOf(const char* text) {
    long port = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || port > 65535) return 0;
        port = port * 10 + (*c - '0');
    }
    return port <= 65535 ? static_cast<int>(port) : 0;
}

// Every callback of the administrator's handler must be written; this one prints the lifecycle
// and names anything else that arrives.
class AdminHandler : public OXAdminHandler {
  public:
    // Waits until run() has started and then for `linger` or until finish(); whether run()
    // started and is still on.
    bool waitForStart(std::chrono::milliseconds linger) {
        std::unique_lock<std::mutex> lock(_mutex);
        _changed.wait(lock, [&] { return _started || _finished; });
        return !_changed.wait_for(lock, linger, [&] { return _finished; });
    }
    void finish() {
        std::lock_guard<std::mutex> lock(_mutex);
        _finished = true;
        _changed.notify_all();
    }

    void onStart(OXAdmin& admin) override {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _started = true;
            _changed.notify_all();
        }
        say("run started; locking user trader, then unlocking it");
        say(std::string("lockUser: ") +
            APIResult::toString(admin.lockUser("lock-1", "trader", true)));
        say(std::string("lockUser: ") +
            APIResult::toString(admin.lockUser("unlock-1", "trader", false)));
    }
    void onStop(OXAdmin&) override { say("run stopped"); }
    void onDisconnect(OXAdmin&) override { say("connection lost; reconnecting"); }
    void onConnect(OXAdmin&) override { say("connected again"); }
    void onHeartbeat(const Heartbeat&, OXAdmin&) override {}
    void onSubscriptionEvent(const SubscriptionEvent&, OXAdmin&) override {
        say("subscription event");
    }
    void onMarketData(const MarketView&, OXClient&) override {}
    void onEventReport(const EventReport& r, OXAdmin&) override {
        say("event report: " + r.eventContents);
    }
    void onDateRollover(const DateRollover&, OXAdmin&) override { say("date roll-over"); }
    void onBatchComplete(int, OXClient&) override {}
    void onOrderReceived(const OrderReceived&, OXClient&) override {}
    void onOrderRejected(const OrderRejected&, OXClient&) override {}
    void onOrderSubmitted(const OrderSubmitted&, OXClient&) override {}
    void onOrderCanceled(const OrderCanceled&, OXClient&) override {}
    void onOrderCancelRejected(const OrderCancelRejected&, OXClient&) override {}
    void onTradeCapture(const TradeCapture&, OXClient&) override {}
    void onOrderDone(const OrderDone&, OXClient&) override {}
    void onDropCopy(const DropCopy&, OXAdmin&) override { say("drop copy"); }
    void onReplayDone(const ReplayDone&, OXAdmin&) override {}
    void onLockResponse(const LockResponse& r, OXClient&) override {
        say("lock response " + r.clRequestID);
    }

  private:
    std::mutex _mutex;
    std::condition_variable _changed;
    bool _started = false;
    bool _finished = false;
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << USAGE;
            return 0;
        }
    }
    if (argc != 3) {
        std::cerr << USAGE;
        return 2;
    }
    const char* const host = argv[1];
    const int port = portOf(argv[2]);
    if (port == 0) {
        std::cerr << "zurav-example-admin: '" << argv[2] << "' is not a port\n" << USAGE;
        return 2;
    }

    OXInit::initialize();
    int status = 0;
    OXAdmin* admin = nullptr;
    try {
        admin = OXAdmin::open("admin", "secret", host, port);
        say(std::string("logged in to ") + host + ":" + std::to_string(port));
        say(std::string("allowClientsToConnect: ") +
            APIResult::toString(admin->allowClientsToConnect()));

        // run() holds this thread; another one ends it a second after it has started.
        AdminHandler handler;
        std::thread stopper([&] {
            if (handler.waitForStart(std::chrono::seconds(1))) admin->stop();
        });
        const APIResult::Type result = admin->run(&handler);
        handler.finish();
        stopper.join();
        say(std::string("run returned ") + APIResult::toString(result));
        say(std::string("close: ") + APIResult::toString(admin->close()));
    } catch (const std::runtime_error& e) {
        std::cerr << "zurav-example-admin: " << e.what() << std::endl;
        status = 1;
    }
    if (admin != nullptr) admin->release();
    OXInit::finalize();
    return status;
}
