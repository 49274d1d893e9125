#pragma once

// The worked examples of the API model: the records and messages whose bytes and texts the tests
// of tests/api check, and the bodies a peer may send that no encoder writes. The seed corpus of
// the decoder's fuzz target is made of the same examples (workedExamples(), RECEIVED_BODIES), so
// a new example joins it by being added here.

#include <boost/make_shared.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "api/APIAll.h"

namespace apitest {

// One unit of an amount in the raw value of OXFloat.
constexpr int64_t E9 = 1000000000;

// ---- Records --------------------------------------------------------------------------------

inline ZURAV::KeyValuePair pair(const char* key, const char* value) {
    ZURAV::KeyValuePair p;
    p.key = key;
    p.value = value;
    return p;
}

inline ZURAV::FeedMarketID fm(int marketID, int feedID) {
    ZURAV::FeedMarketID x;
    x.marketID = marketID;
    x.feedID = feedID;
    return x;
}

// A SPOT market of feed 1 settling SP, both increments NA.
inline ZURAV::APIMarket market(int marketID, const char* name) {
    ZURAV::APIMarket m;
    m.marketID = marketID;
    m.name = name;
    m.feedID = 1;
    m.instrumentType = ZURAV::InstrumentType::SPOT;
    m.settlementDate = ZURAV::StandardTenor::SP;
    return m;
}

inline ZURAV::EventReport event(ZURAV::ExchEventType::Type code, int marketID, int feedID,
                                const char* contents) {
    ZURAV::EventReport x;
    x.eventCode = code;
    x.fmID = fm(marketID, feedID);
    x.eventContents = contents;
    return x;
}

inline ZURAV::UserSequenceID userSeq(int userID, int sequenceID) {
    ZURAV::UserSequenceID x;
    x.userID = userID;
    x.sequenceID = sequenceID;
    return x;
}

inline ZURAV::CancelAllOrder cancelAll() {
    ZURAV::CancelAllOrder x;
    x.cxlID = "X1";
    x.monitoredOnly = true;
    x.feedID = 3;
    return x;
}

inline ZURAV::CancelOrder cancelOrder() {
    ZURAV::CancelOrder x;
    x.orderID = 1;
    x.cxlID = "c";
    x.feedID = 2;
    x.marketID = 3;
    x.clOrdID = "o";
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

inline ZURAV::OrderDone orderDone() {
    ZURAV::OrderDone x;
    x.sequenceID = 5;
    x.orderID = 7;
    x.clOrdID = "A";
    x.feedID = 1;
    x.marketID = 2;
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

inline ZURAV::OrderCanceled orderCanceled() {
    ZURAV::OrderCanceled x;
    x.sequenceID = 3;
    x.orderID = 4;
    x.clOrdID = "c";
    x.cxlID = "x";
    x.feedID = 1;
    x.marketID = 2;
    x.side = ZURAV::Side::OFR;
    x.reason = ZURAV::CancelReason::CANCEL_REQUESTED;
    return x;
}

inline ZURAV::OrderReceived orderReceived() {
    ZURAV::OrderReceived x;
    x.sequenceID = 1;
    x.orderID = 2;
    x.clOrdID = "c";
    x.feedID = 1;
    x.marketID = 2;
    x.side = ZURAV::Side::BID;
    x.amount = ZURAV::OXFloat(3 * E9 / 2);
    x.ordType = ZURAV::OrderType::LIMIT;
    x.timeInForce = ZURAV::TimeInForce::IOC;
    return x;
}

// price 1.5, amount one million, minAmount NA, a new bid level from the market data source with
// three orders behind it.
inline ZURAV::MDEntry level() {
    ZURAV::MDEntry e;
    e.price = ZURAV::OXFloat(3 * E9 / 2);
    e.amount = ZURAV::OXFloat(int64_t{1000000} * E9);
    e.updateAction = ZURAV::MDUpdateAction::NEW;
    e.element = ZURAV::MDElement::LEVEL;
    e.side = ZURAV::Side::BID;
    e.source = 1;
    e.numberOfOrders = 3;
    return e;
}

// Every integer, time stamp and flag 0, BID, DONE, amounts NA, strings empty.
inline ZURAV::TradeCapture zeroTrade() {
    ZURAV::TradeCapture t;
    t.side = ZURAV::Side::BID;
    t.matchStatus = ZURAV::MatchStatus::DONE;
    return t;
}

inline ZURAV::DropCopy zeroCopy() {
    ZURAV::DropCopy d;
    d.side = ZURAV::Side::BID;
    d.matchStatus = ZURAV::MatchStatus::DONE;
    return d;
}

inline ZURAV::TradeCapture trade() {
    ZURAV::TradeCapture t = zeroTrade();
    t.sequenceID = 5;
    t.orderID = (int64_t{1} << 40) + 1;
    t.clOrdID = "A";
    t.exTradeID = "T1";
    t.feedID = 1;
    t.origFeedID = 1;
    t.marketID = 2;
    t.side = ZURAV::Side::OFR;
    t.amount = ZURAV::OXFloat(int64_t{1000000} * E9);
    t.price = ZURAV::OXFloat(3 * E9 / 2);
    t.isTaker = true;
    return t;
}

inline ZURAV::MarketRate rate() {
    ZURAV::MarketRate r;
    r.marketID = 1;
    r.settlTime = 0;
    r.rate = "1.25";
    return r;
}

inline ZURAV::RiskLimitStatus limitStatus() {
    ZURAV::RiskLimitStatus s;
    s.group = "g";
    s.feedID = 1;
    s.marketID = 2;
    s.status = ZURAV::RiskStatus::SUCCESS;
    return s;
}

inline ZURAV::RiskResponse riskResponse() {
    ZURAV::RiskResponse r;
    r.clRequestID = "r1";
    r.limitStatus = {limitStatus()};
    return r;
}

inline ZURAV::TradeHierarchy hierarchy() {
    ZURAV::TradeHierarchy h;
    h.userName = "u";
    h.groupNames = {"a", "b"};
    return h;
}

inline ZURAV::LockUser lockUser() {
    ZURAV::LockUser x;
    x.clRequestID = "r1";
    x.locked = true;
    x.username = "u";
    return x;
}

// ---- Messages -------------------------------------------------------------------------------

inline ZURAV::RuThereMessage ping() {
    ZURAV::RuThereMessage x;
    x.dpdSeqNo = 1;
    x.timeApiClient = 0;
    return x;
}

inline ZURAV::ImHereMessage imHere() {
    ZURAV::ImHereMessage x;
    x.dpdSeqNo = 1;
    x.timeApiClient = 2;
    x.timeApiServer = -3;
    return x;
}

inline ZURAV::HeartbeatMessage heartbeat() {
    ZURAV::HeartbeatMessage x;
    x.contents.timeApiServer = 1;
    x.contents.activeFeeds = {3, 9};
    x.feedSeqID = 5;
    return x;
}

inline ZURAV::ClientConnectMessage login() {
    ZURAV::ClientConnectMessage x;
    x.user = "u";
    x.password = "p w";
    return x;
}

inline ZURAV::ClientDisconnectMessage logout() {
    ZURAV::ClientDisconnectMessage x;
    x.sessionID = 7;
    x.timeDisconnected = 0;
    return x;
}

inline ZURAV::ConnectResponseMessage refusedLogin() {
    ZURAV::ConnectResponseMessage x;
    x.connectionResponse = ZURAV::ConnectionResponse::FAILED_USER_LOCKED;
    x.text = "locked";
    return x;
}

inline ZURAV::InsertLogMessage insertLog() {
    ZURAV::InsertLogMessage x;
    x.description = "hi";
    x.level = ZURAV::LogLevel::LOGINFO;
    return x;
}

// One feed F (id 2, AGGREGATE) with the one market A.
inline ZURAV::ConfigMessage config() {
    ZURAV::APIFeed f;
    f.name = "F";
    f.feedID = 2;
    f.flags = 0x100;  // AGGREGATE
    f.marketList = {market(1, "A")};
    ZURAV::ConfigMessage x;
    x.feedsList = {f};
    return x;
}

inline ZURAV::SubscribeMessage subscribe() {
    ZURAV::SubscribeMessage x;
    x.sub.apiType = ZURAV::APIType::MARKETDATA;
    x.sub.feedID = 1;
    x.sub.marketID = 2;
    x.clSubID = "s";
    x.sticky = true;
    return x;
}

inline ZURAV::UnsubscribeMessage unsubscribe() {
    ZURAV::UnsubscribeMessage x;
    x.sub.apiType = ZURAV::APIType::TRADING;
    x.sub.feedID = 1;
    x.sub.marketID = 0;
    return x;
}

inline ZURAV::BatchRegisterMessage batchRegister() {
    ZURAV::BatchRegisterMessage x;
    x.feedID = 1;
    x.marketIDList = {1, 2};
    x.batchDefID = 1;
    return x;
}

inline ZURAV::BatchesCompletedMessage batchesCompleted() {
    ZURAV::BatchesCompletedMessage x;
    x.batchesCompleted = {5, 6, 7};
    return x;
}

inline ZURAV::BatchUnregisterMessage batchUnregister() {
    ZURAV::BatchUnregisterMessage x;
    x.batchDefID = 3;
    return x;
}

inline ZURAV::EventReportMessage eventReport() {
    ZURAV::EventReportMessage x;
    x.sequenceID = 12;
    x.contents = event(ZURAV::ExchEventType::TRADING_OPEN, 4, 3, "open");
    return x;
}

// Market 1 of feed 2 rolls over to trade date 3 and settlement date 4.
inline ZURAV::DateRolloverMessage dateRollover(bool dispatchToAll) {
    ZURAV::DateRolloverMessage x;
    x.contents.fmID = fm(1, 2);
    x.contents.tradeDate = 3;
    x.contents.settleDate = 4;
    x.dispatchToAll = dispatchToAll;
    return x;
}

inline ZURAV::ReplayMessage replay() {
    ZURAV::ReplayMessage x;
    x.feedID = 1;
    x.first = 10;
    x.last = 20;
    return x;
}

// Users 1 and 3 at sequence ids 2 and 4, on feed 3 at sequence id 20.
inline ZURAV::LastSequenceIDMessage lastSequenceIDs() {
    ZURAV::LastSequenceIDMessage x;
    x.feedSeqIDs = {userSeq(1, 2), userSeq(3, 4)};
    x.feedID = 3;
    x.origFeedID = 3;
    x.sequenceID = 20;
    return x;
}

// Market 7 of feed 3, a snapshot holding the level above.
inline ZURAV::MktDataMessage marketUpdate() {
    ZURAV::MktDataMessage m;
    m.mvd.fmID = fm(7, 3);
    m.mvd.isSnapshot = true;
    m.mvd.mdEntryList = {level()};
    return m;
}

inline ZURAV::RequestSnapshotMessage snapshotRequest() {
    ZURAV::RequestSnapshotMessage x;
    x.feedID = 3;
    x.markets = {7};
    x.streamID = 0;
    return x;
}

inline ZURAV::TradeCaptureMessage tradeCapture() {
    ZURAV::TradeCaptureMessage x;
    x.userID = 5;
    x.contents = trade();
    return x;
}

inline ZURAV::DropCopyMessage dropCopy() {
    ZURAV::DropCopyMessage x;
    x.contents = zeroCopy();
    x.userID = 5;
    x.origFeedSequenceID = 0;
    return x;
}

// clDataID d, the one market rate above and group 4 named G.
inline ZURAV::TradeLimitDataMessage tradeLimitData() {
    ZURAV::TradeLimitDataMessage x;
    x.contents.clDataID = "d";
    x.contents.marketRates = {rate()};
    ZURAV::IDNamePair group;
    group.id = 4;
    group.name = "G";
    x.groupIDNamePairs = {group};
    return x;
}

// A record carried as the `contents` of its message M, every other field of M at its start value.
template <class M, class R>
M carrying(const R& contents) {
    M m;
    m.contents = contents;
    return m;
}

// ---- Received bodies ------------------------------------------------------------------------

// connectionResponse SUCCESS, empty text, sessionID 7, an isAdmin byte of 02.
constexpr const char* CONNECT_RESPONSE_ADMIN_BYTE_2 = "00 00 0e 02";
// sub {TRADING, feed 1, market 0}, clSubID "", ENABLED, reason "", a sticky byte of 05,
// sessionID 0, timestamp 0.
constexpr const char* SUBSCRIPTION_EVENT_STICKY_BYTE_5 = "01 02 00 00 01 00 05 00 00";
// feedID 1, a replayStatus of 3 (no name), userID 0.
constexpr const char* REPLAY_DONE_STATUS_3 = "02 03 00";
// clRequestID r1, a locked byte of 02, username u.
constexpr const char* LOCK_USER_LOCKED_BYTE_2 = "02 72 31 02 01 75";

// The bodies above with their type ids: what a peer may send and an encoder never writes.
struct ReceivedBody {
    const char* name;
    ZURAV::MsgType_t id;
    const char* hex;
};
inline const ReceivedBody RECEIVED_BODIES[] = {
    {"connect-response-admin-byte-2", ZURAV::ConnectResponseMessage::ID,
     CONNECT_RESPONSE_ADMIN_BYTE_2},
    {"subscription-event-sticky-byte-5", ZURAV::SubscriptionEventMessage::ID,
     SUBSCRIPTION_EVENT_STICKY_BYTE_5},
    {"replay-done-status-3", ZURAV::ReplayDoneMessage::ID, REPLAY_DONE_STATUS_3},
    {"lock-user-locked-byte-2", ZURAV::LockUserMessage::ID, LOCK_USER_LOCKED_BYTE_2},
};

// ---- Every example as a message -------------------------------------------------------------

struct Example {
    std::string name;
    ZURAV::ShpOXMessage message;
};

template <class M>
Example example(const char* name, const M& message) {
    return {name, boost::make_shared<M>(message)};
}

// Every worked example above as a whole message; a record travels in the message that carries
// it as its contents.
inline std::vector<Example> workedExamples() {
    ZURAV::VersionMessage version;
    version.version_major = -56;
    ZURAV::RuThereMessage negativePing = ping();
    negativePing.dpdSeqNo = -1;
    ZURAV::ComplexOrder manyParameters = complexOrder();
    manyParameters.parameters.resize(200);
    ZURAV::OrderDone wide;
    wide.sequenceID = 64;
    wide.orderID = (int64_t{1} << 40) + 1;
    ZURAV::OrderRejected unnamedReason = duplicateA();
    unnamedReason.reason = static_cast<ZURAV::RejectReason::Type>(200);
    ZURAV::RequestSnapshotMessage manyMarkets = snapshotRequest();
    manyMarkets.markets.assign(300, 1);
    ZURAV::DropCopyMessage eur = dropCopy();
    eur.contents.baseCurrency = "EUR";
    ZURAV::TradeLimitDataMessage hierarchies;
    hierarchies.contents.userHierarchy = {hierarchy()};
    ZURAV::TestMessage test;
    test.test = ZURAV::APITest::NONE;
    ZURAV::LockResponse lockError;
    lockError.status = ZURAV::LockStatus::ERROR;

    return {
        example("version-empty", ZURAV::VersionMessage()),
        example("version-major-minus-56", version),
        example("ping", ping()),
        example("ping-negative", negativePing),
        example("im-here", imHere()),
        example("heartbeat", heartbeat()),
        example("login", login()),
        example("logout", logout()),
        example("refused-login", refusedLogin()),
        example("insert-log", insertLog()),
        example("test", test),
        example("config-empty", ZURAV::ConfigMessage()),
        example("config", config()),
        example("subscribe", subscribe()),
        example("unsubscribe", unsubscribe()),
        example("unsubscribe-all", ZURAV::UnsubscribeAllMessage()),
        example("batch-register", batchRegister()),
        example("batches-completed", batchesCompleted()),
        example("batch-unregister", batchUnregister()),
        example("event-report", eventReport()),
        example("date-rollover", dateRollover(true)),
        example("replay", replay()),
        example("last-sequence-ids", lastSequenceIDs()),
        example("cancel-all", carrying<ZURAV::CancelAllOrderMessage>(cancelAll())),
        example("cancel-order", carrying<ZURAV::CancelOrderMessage>(cancelOrder())),
        example("submit-order", carrying<ZURAV::SubmitOrderMessage>(submit())),
        example("complex-order", carrying<ZURAV::ComplexOrderMessage>(complexOrder())),
        example("complex-order-200-parameters",
                carrying<ZURAV::ComplexOrderMessage>(manyParameters)),
        example("order-done", carrying<ZURAV::OrderDoneMessage>(orderDone())),
        example("order-done-wide-varints", carrying<ZURAV::OrderDoneMessage>(wide)),
        example("order-rejected", carrying<ZURAV::OrderRejectedMessage>(duplicateA())),
        example("order-rejected-reason-200", carrying<ZURAV::OrderRejectedMessage>(unnamedReason)),
        example("order-submitted", carrying<ZURAV::OrderSubmittedMessage>(submitted())),
        example("order-canceled", carrying<ZURAV::OrderCanceledMessage>(orderCanceled())),
        example("order-received", carrying<ZURAV::OrderReceivedMessage>(orderReceived())),
        example("market-data", marketUpdate()),
        example("snapshot-request", snapshotRequest()),
        example("snapshot-request-300-markets", manyMarkets),
        example("trade-capture", tradeCapture()),
        example("drop-copy", dropCopy()),
        example("drop-copy-eur", eur),
        example("trade-limit-data", tradeLimitData()),
        example("trade-limit-data-hierarchy", hierarchies),
        example("risk-response", carrying<ZURAV::RiskResponseMessage>(riskResponse())),
        example("lock-user", carrying<ZURAV::LockUserMessage>(lockUser())),
        example("lock-response", carrying<ZURAV::LockResponseMessage>(lockError)),
    };
}

}  // namespace apitest
