// The message table: creation by type id, decoding, dispatch and the order of the handlers.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ApiTestUtil.h"
#include "api/APIAll.h"
#include "apitest/FieldVisit.h"

using namespace ZURAV;
using namespace apitest;

namespace {

struct Row {
    MsgType_t id;
    const char* name;
};

// The message table in handler order.
const Row TABLE[] = {
    {0x0000, "VersionMessage"},              // 1
    {0xA013, "RuThereMessage"},              // 2
    {0xA014, "ImHereMessage"},               // 3
    {0xA015, "HeartbeatMessage"},            // 4
    {0xD040, "ReplayMessage"},               // 5
    {0xD042, "ReplayDoneMessage"},           // 6
    {0xD041, "LastSequenceIDMessage"},       // 7
    {0xD050, "BatchRegisterMessage"},        // 8
    {0xD051, "BatchUnregisterMessage"},      // 9
    {0xD052, "BatchesCompletedMessage"},     // 10
    {0xB099, "MktDataMessage"},              // 11
    {0xF0E9, "SubmitOrderMessage"},          // 12
    {0xF0EA, "CancelOrderMessage"},          // 13
    {0xF0EB, "CancelAllOrderMessage"},       // 14
    {0xF0EC, "ModifyOrderMessage"},          // 15
    {0xF0EE, "ComplexOrderMessage"},         // 16
    {0xF0ED, "OrderReceivedMessage"},        // 17
    {0xF0E8, "OrderSubmittedMessage"},       // 18
    {0xF0E7, "OrderRejectedMessage"},        // 19
    {0xF0E6, "OrderCanceledMessage"},        // 20
    {0xF0E5, "OrderDoneMessage"},            // 21
    {0xF0E4, "OrderCancelRejectedMessage"},  // 22
    {0xF0E3, "TradeCaptureMessage"},         // 23
    {0xF0E2, "DropCopyMessage"},             // 24
    {0xF0C6, "EventReportMessage"},          // 25
    {0xF0C7, "DateRolloverMessage"},         // 26
    {0xFA01, "ClientConnectMessage"},        // 27
    {0xFA02, "ClientDisconnectMessage"},     // 28
    {0xFA10, "ConnectResponseMessage"},      // 29
    {0xFA13, "TradeLimitDataMessage"},       // 30
    {0xFA16, "RiskResponseMessage"},         // 31
    {0xFA14, "LockResponseMessage"},         // 32
    {0xFA15, "LockUserMessage"},             // 33
    {0xFA06, "ConfigMessage"},               // 34
    {0xFA03, "SubscribeMessage"},            // 35
    {0xFA04, "UnsubscribeMessage"},          // 36
    {0xFA05, "UnsubscribeAllMessage"},       // 37
    {0xFA07, "SubscriptionEventMessage"},    // 38
    {0xFA09, "InsertLogMessage"},            // 39
    {0xFA11, "TestMessage"},                 // 40
    {0xF203, "RequestSnapshotMessage"},      // 41
};
constexpr size_t MESSAGES = sizeof TABLE / sizeof TABLE[0];

class MessageTable : public apitest::ApiTest {};

typedef MsgHandlerT<ShpOXMessage> Handler;

// The virtual table slot of a member function, read from the pointer to it as the Itanium C++
// ABI lays it out (g++ and clang on Linux): {1 + byte offset in the table, this adjustment} for a
// virtual function.
template <class F>
std::ptrdiff_t slot(F Handler::*f) {
    struct {
        std::ptrdiff_t ptr, adj;
    } rep;
    static_assert(sizeof f == sizeof rep, "not the Itanium representation");
    std::memcpy(&rep, &f, sizeof rep);
    EXPECT_EQ(rep.ptr % 2, 1) << "not a virtual function";
    return (rep.ptr - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

template <class M>
std::ptrdiff_t handleSlot() {
    void (Handler::*f)(const ShpOXMessage&, const M&) = &Handler::handle;
    return slot(f);
}

template <class... M>
std::vector<MsgType_t> ids() {
    return {M::ID...};
}

// The class names without their namespace.
template <class... M>
std::vector<std::string> names() {
    std::vector<std::string> out = {::testing::internal::GetTypeName<M>()...};
    for (std::string& name : out) name = name.substr(name.rfind(':') + 1);
    return out;
}

template <class... M>
std::vector<std::ptrdiff_t> handleSlots() {
    return {handleSlot<M>()...};
}

}  // namespace

TEST_F(MessageTable, EveryIdCreatesItsClass) {
    ASSERT_EQ(MESSAGES, 41u);
    for (const Row& row : TABLE) {
        SCOPED_TRACE(row.name);
        ShpOXMessage msg = MsgFactory::createMessage(row.id);
        ASSERT_TRUE(msg);
        EXPECT_EQ(msg->getMsgType(), row.id);
        const std::string dumped = text(*msg);
        EXPECT_EQ(dumped.substr(0, dumped.find(' ')), std::string("<") + row.name);
    }
}

TEST_F(MessageTable, IdsWithoutAClassGiveTheEmptyHandle) {
    for (MsgType_t id : {0x0001, 0x0002, 0xFA08, 0xFA12, 0xF204, 0xD04F, 0xFFFF}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(MsgFactory::createMessage(id));
        const char body[] = {0, 0, 0};
        EXPECT_FALSE(OXMessage::decodeMessage(id, body, sizeof body));
    }
}

TEST_F(MessageTable, HandleDefaultSeesEveryMessageOnce) {
    struct Recorder : Handler {
        void handleDefault(const ShpOXMessage& obj) override {
            ++seen[obj->getMsgType()];
            last = obj.get();
        }
        std::map<MsgType_t, int> seen;
        const OXMessage* last = nullptr;
    } handler;
    for (const Row& row : TABLE) {
        ShpOXMessage msg = MsgFactory::createMessage(row.id);
        ASSERT_TRUE(msg);
        handler.dispatchMessage(msg, msg.get(), msg->getMsgType());
        EXPECT_EQ(handler.last, msg.get()) << row.name;
    }
    EXPECT_EQ(handler.seen.size(), MESSAGES);
    for (const Row& row : TABLE) EXPECT_EQ(handler.seen[row.id], 1) << row.name;

    // Ids without a class call nothing, not even handleDefault.
    ShpOXMessage any = MsgFactory::createMessage(0x0000);
    for (MsgType_t id : {0x0001, 0xFA08, 0xFFFF}) handler.dispatchMessage(any, any.get(), id);
    EXPECT_EQ(handler.seen.size(), MESSAGES);
}

TEST_F(MessageTable, UnknownIdsCallNothingAndKnownIdsReachTheirOverload) {
    struct Overrides : MsgHandlerT<int> {
        using MsgHandlerT<int>::handle;
        void handle(const int& obj, const OrderDoneMessage& msg) override {
            context = obj;
            done = &msg;
        }
        void handleDefault(const int&) override { ++defaults; }
        int context = 0;
        int defaults = 0;
        const OrderDoneMessage* done = nullptr;
    } handler;
    OrderDoneMessage msg;
    handler.dispatchMessage(42, &msg, 0xFFFF);
    handler.dispatchMessage(42, &msg, 0x0001);
    EXPECT_EQ(handler.defaults, 0);
    EXPECT_EQ(handler.done, nullptr);
    handler.dispatchMessage(42, &msg, OrderDoneMessage::ID);
    EXPECT_EQ(handler.done, &msg);
    EXPECT_EQ(handler.context, 42);
    EXPECT_EQ(handler.defaults, 0);
}

TEST_F(MessageTable, HandlersStandInTableOrder) {
    std::vector<MsgType_t> tableIds;
    std::vector<std::string> tableNames;
    for (const Row& row : TABLE) {
        tableIds.push_back(row.id);
        tableNames.push_back(row.name);
    }
    // Each class carries the id of its row.
    const std::vector<MsgType_t> generated = ids<ZURAV_API_MESSAGE_TYPES>();
    const std::vector<std::string> generatedNames = names<ZURAV_API_MESSAGE_TYPES>();
    EXPECT_EQ(generated, tableIds);
    EXPECT_EQ(generatedNames, tableNames);

    // The destructor takes the first two slots (complete and deleting); the 41 handle overloads
    // follow in table order, then handleDefault.
    const std::vector<std::ptrdiff_t> slots = handleSlots<ZURAV_API_MESSAGE_TYPES>();
    ASSERT_EQ(slots.size(), MESSAGES);
    for (size_t k = 0; k < MESSAGES; ++k) {
        EXPECT_EQ(slots[k], static_cast<std::ptrdiff_t>(2 + k)) << TABLE[k].name;
    }
    void (Handler::*last)(const ShpOXMessage&) = &Handler::handleDefault;
    EXPECT_EQ(slot(last), static_cast<std::ptrdiff_t>(2 + MESSAGES));
}
