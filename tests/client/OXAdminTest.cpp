#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "RunFixtures.h"
#include "api/APIAll.h"
#include "client/OXAdmin.h"
#include "client/OXAdminHandler.h"
#include "support/client/RefusingPort.h"
#include "support/client/TestServer.h"

namespace {

using namespace ZURAV;
using test_support::TestServer;
typedef std::vector<std::string> Names;

// Records every callback's name and the client it was given. `inside`, when set, runs within
// each callback after the record is taken.
class RecordingAdminHandler : public OXAdminHandler {
  public:
    void onStart(OXAdmin& a) override { take("onStart", a); }
    void onStop(OXAdmin& a) override { take("onStop", a); }
    void onDisconnect(OXAdmin& a) override { take("onDisconnect", a); }
    void onConnect(OXAdmin& a) override { take("onConnect", a); }
    void onHeartbeat(const Heartbeat&, OXAdmin& a) override { take("onHeartbeat", a); }
    void onSubscriptionEvent(const SubscriptionEvent&, OXAdmin& a) override {
        take("onSubscriptionEvent", a);
    }
    void onMarketData(const MarketView&, OXClient& c) override { take("onMarketData", c); }
    void onEventReport(const EventReport&, OXAdmin& a) override { take("onEventReport", a); }
    void onDateRollover(const DateRollover&, OXAdmin& a) override { take("onDateRollover", a); }
    void onBatchComplete(int, OXClient& c) override { take("onBatchComplete", c); }
    void onOrderReceived(const OrderReceived&, OXClient& c) override { take("onOrderReceived", c); }
    void onOrderRejected(const OrderRejected&, OXClient& c) override { take("onOrderRejected", c); }
    void onOrderSubmitted(const OrderSubmitted&, OXClient& c) override {
        take("onOrderSubmitted", c);
    }
    void onOrderCanceled(const OrderCanceled&, OXClient& c) override { take("onOrderCanceled", c); }
    void onOrderCancelRejected(const OrderCancelRejected&, OXClient& c) override {
        take("onOrderCancelRejected", c);
    }
    void onTradeCapture(const TradeCapture&, OXClient& c) override { take("onTradeCapture", c); }
    void onOrderDone(const OrderDone&, OXClient& c) override { take("onOrderDone", c); }
    void onDropCopy(const DropCopy&, OXAdmin& a) override { take("onDropCopy", a); }
    void onReplayDone(const ReplayDone&, OXAdmin& a) override { take("onReplayDone", a); }
    void onLockResponse(const LockResponse&, OXClient& c) override { take("onLockResponse", c); }

    std::function<void(const std::string& name, OXClient& client)> inside;
    Names names;
    std::vector<OXClient*> clients;

  private:
    void take(const std::string& name, OXClient& client) {
        names.push_back(name);
        clients.push_back(&client);
        if (inside) inside(name, client);
    }
};

class OXAdminTest : public InitialisedLibrary {
  protected:
    TestServer server;
};
typedef OXAdminTest OXAdminThreads;

TEST_F(OXAdminTest, OpenRefusesNullTextsWithoutConnecting) {
    const char* const host = "127.0.0.1";
    const int port = server.port();
    EXPECT_EQ(OXAdmin::open(nullptr, "secret", host, port), nullptr);
    EXPECT_EQ(OXAdmin::open("admin", nullptr, host, port), nullptr);
    EXPECT_EQ(OXAdmin::open("admin", "secret", nullptr, port), nullptr);
    EXPECT_EQ(OXAdmin::open("admin", nullptr, host, port, host, port), nullptr);
    EXPECT_TRUE(server.record().empty());
}

TEST_F(OXAdminTest, AFailedOpenThrowsTheResultsName) {
    test_support::RefusingPort refusing;
    try {
        OXAdmin::open("admin", "secret", "127.0.0.1", refusing.port());
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error connecting: SOCKERR_CONNECT");
    }
}

TEST_F(OXAdminThreads, RunGivesEveryCallbackTheAdministratorClient) {
    std::unique_ptr<OXAdmin> admin(OXAdmin::open("admin", "secret", "127.0.0.1", server.port()));
    ASSERT_NE(admin, nullptr);
    EXPECT_TRUE(admin->isConnected());

    RecordingAdminHandler handler;
    EXPECT_EQ(admin->run(nullptr), APIResult::INVALID_PARAMETER);
    EXPECT_FALSE(admin->isRunning());
    handler.inside = [&](const std::string& name, OXClient& c) {
        if (name == "onStart") server.closeConnection();
        if (name == "onConnect") c.stop();
    };
    EXPECT_EQ(admin->run(&handler), APIResult::OK);
    EXPECT_EQ(handler.names, (Names{"onStart", "onDisconnect", "onConnect", "onStop"}));
    EXPECT_EQ(handler.clients, std::vector<OXClient*>(4, admin.get()));
    EXPECT_FALSE(admin->isRunning());
    EXPECT_EQ(admin->close(), APIResult::OK);
}

TEST_F(OXAdminThreads, LockUserSendsTheRequestAndNothingLetsClientsIn) {
    std::unique_ptr<OXAdmin> admin(OXAdmin::open("admin", "secret", "127.0.0.1", server.port()));
    ASSERT_NE(admin, nullptr);

    EXPECT_EQ(admin->lockUser(nullptr, "trader", true), APIResult::INVALID_PARAMETER);
    EXPECT_EQ(admin->lockUser("r1", nullptr, true), APIResult::INVALID_PARAMETER);
    EXPECT_EQ(admin->allowClientsToConnect(), APIResult::NOT_IMPLEMENTED);
    EXPECT_EQ(admin->lockUser("r1", "trader", true), APIResult::OK);
    EXPECT_EQ(admin->lockUser("r2", "trader", false), APIResult::OK);

    ASSERT_TRUE(server.waitForMessages(LockUserMessage::ID, 2));
    const test_support::ConnectionRecord r = server.record().at(0);
    const LockUserMessage* lock = r.find(LockUserMessage::ID, 0)->as<LockUserMessage>();
    const LockUserMessage* unlock = r.find(LockUserMessage::ID, 1)->as<LockUserMessage>();
    ASSERT_NE(lock, nullptr);
    ASSERT_NE(unlock, nullptr);
    EXPECT_EQ(lock->contents.clRequestID, "r1");
    EXPECT_EQ(lock->contents.username, "trader");
    EXPECT_TRUE(lock->contents.locked);
    EXPECT_EQ(unlock->contents.clRequestID, "r2");
    EXPECT_FALSE(unlock->contents.locked);
    // Nothing else went out besides the login and pings.
    EXPECT_EQ(r.frames.size(), 2 + r.count(RuThereMessage::ID) + 2);
    EXPECT_EQ(admin->close(), APIResult::OK);
    EXPECT_EQ(admin->lockUser("r3", "trader", true), APIResult::NOT_CONNECTED);
}

// Every message callback reaches the administrator's handler with the administrator client,
// onOrderCancelRejected included; a lock response is reported on standard error and reaches no
// callback.
TEST_F(OXAdminThreads, EveryMessageCallbackGoesToTheAdministratorsHandler) {
    std::unique_ptr<OXAdmin> admin(OXAdmin::open("admin", "secret", "127.0.0.1", server.port()));
    ASSERT_NE(admin, nullptr);
    BatchesCompletedMessage batches;
    batches.batchesCompleted = {4};
    LockResponseMessage lock;
    lock.contents.clRequestID = "lock-1";
    lock.contents.status = LockStatus::SUCCESS;
    const auto empty = [](MsgType_t id) { return MsgFactory::createMessage(id); };
    const std::vector<std::pair<ShpOXMessage, const char*>> sends = {
        {empty(HeartbeatMessage::ID), "onHeartbeat"},
        {empty(SubscriptionEventMessage::ID), "onSubscriptionEvent"},
        {empty(MktDataMessage::ID), "onMarketData"},
        {empty(EventReportMessage::ID), "onEventReport"},
        {empty(DateRolloverMessage::ID), "onDateRollover"},
        {ShpOXMessage(new BatchesCompletedMessage(batches)), "onBatchComplete"},
        {empty(OrderReceivedMessage::ID), "onOrderReceived"},
        {empty(OrderRejectedMessage::ID), "onOrderRejected"},
        {empty(OrderSubmittedMessage::ID), "onOrderSubmitted"},
        {empty(OrderCanceledMessage::ID), "onOrderCanceled"},
        {empty(OrderCancelRejectedMessage::ID), "onOrderCancelRejected"},
        {empty(TradeCaptureMessage::ID), "onTradeCapture"},
        {empty(OrderDoneMessage::ID), "onOrderDone"},
        {empty(DropCopyMessage::ID), "onDropCopy"},
        {ShpOXMessage(new LockResponseMessage(lock)), nullptr},
        {empty(ReplayDoneMessage::ID), "onReplayDone"},
    };
    std::string frames;
    Names expected{"onStart"};
    for (const auto& send : sends) {
        frames += server.frame(*send.first);
        if (send.second != nullptr) expected.push_back(send.second);
    }
    expected.push_back("onStop");

    RecordingAdminHandler handler;
    handler.inside = [&](const std::string& name, OXClient& c) {
        if (name == "onStart") server.sendRaw(frames);
        if (name == "onReplayDone") c.stop();
    };
    std::ostringstream err;
    std::streambuf* const old = std::cerr.rdbuf(err.rdbuf());
    const APIResult::Type result = admin->run(&handler);
    std::cerr.rdbuf(old);

    EXPECT_EQ(result, APIResult::OK);
    EXPECT_EQ(handler.names, expected);
    EXPECT_EQ(handler.clients, std::vector<OXClient*>(expected.size(), admin.get()));
    std::ostringstream lockText;
    lockText << lock;
    EXPECT_EQ(err.str(), "Handler not implemented for: " + lockText.str() + "\n");
}

}  // namespace
