#include "client/OXClient.h"

#include <stdexcept>
#include <string>

#include "client/ClientImp.h"

namespace ZURAV {

OXClient::OXClient(const char* username, const char* password, const char* hostname1, int port1)
    : OXClient(username, password, hostname1, port1, nullptr, 0) {}

OXClient::OXClient(const char* username, const char* password, const char* hostname1, int port1,
                   const char* hostname2, int port2)
    : imp(new ClientImp(this, username, password, hostname1, port1, hostname2, port2)), _rc(1) {}

OXClient::~OXClient() {
    delete imp;
    imp = nullptr;
}

void OXClient::addref() { _rc.fetch_add(1, std::memory_order_relaxed); }

void OXClient::release() {
    if (_rc.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

OXClient* OXClient::open(const char* username, const char* password, const char* hostname,
                         int port) {
    return open(username, password, hostname, port, nullptr, 0);
}

OXClient* OXClient::open(const char* username, const char* password, const char* hostname1,
                         int port1, const char* hostname2, int port2) {
    if (username == nullptr || password == nullptr || hostname1 == nullptr) return nullptr;
    OXClient* const client = new OXClient(username, password, hostname1, port1, hostname2, port2);
    APIResult::Type result;
    try {
        result = client->imp->connect(true);
    } catch (...) {
        delete client;
        throw;
    }
    if (result == APIResult::OK) return client;
    delete client;
    const char* const name = APIResult::toString(result);
    throw std::runtime_error(std::string("Error connecting: ") + (name != nullptr ? name : ""));
}

APIResult::Type OXClient::connect() { return imp->connect(true); }
APIResult::Type OXClient::stop() { return imp->stop(); }
Timestamp_t OXClient::getAveragePingTime() { return imp->getAveragePingTime(); }

void OXClient::setUseHeartbeat(bool use) { imp->setUseHeartbeat(use); }
void OXClient::setDebug(boolean debug) { imp->setDebug(debug); }
void OXClient::setStickySubscriptions(boolean sticky) { imp->setStickySubscriptions(sticky); }
void OXClient::setStickySubscriptions(boolean sticky, boolean clearSubscriptionsOnStop) {
    imp->setStickySubscriptions(sticky, clearSubscriptionsOnStop);
}

boolean OXClient::isConnected() { return imp->isConnected(); }
boolean OXClient::isRunning() { return imp->isRunning(); }
void OXClient::get(int& fd1, int& fd2) const { imp->get(fd1, fd2); }
const char* OXClient::getSignature() { return imp->getSignature(); }
SequenceID_t OXClient::getSequenceID(FeedID_t feedID) { return imp->getSequenceID(feedID); }
SequenceID_t OXClient::getOrigFeedSequenceID() { return imp->getOrigFeedSequenceID(); }

APIResult::Type OXClient::setlog(const char* directory, bool enable) {
    return ClientImp::setlog(directory, enable);
}

void OXClient::log(const char* message) { imp->log(message, LogLevel::LOGINFO); }
void OXClient::log(const char* message, LogLevel::Type level) { imp->log(message, level); }

const APIFeed* OXClient::getFeeds(int& n) { return imp->getFeeds(n); }
const APIFeed* OXClient::getFeedByName(const char* name) { return imp->getFeedByName(name); }
const APIFeed* OXClient::getFeedByID(FeedID_t feedID) { return imp->getFeedByID(feedID); }
const APIMarket* OXClient::getMarketByName(const APIFeed& feed, const char* name) {
    return imp->getMarketByName(feed, name);
}
const APIMarket* OXClient::getMarketByID(const APIFeed& feed, MarketID_t marketID) {
    return imp->getMarketByID(feed, marketID);
}

typedef std::pair<APIResult::Type, OrderID_t> OrderResult;

OrderResult OXClient::submitOrder(const char* clOrdID, FeedID_t feedID, MarketID_t marketID,
                                  Side::Type side, const OXFloat& amount, const OXFloat& price,
                                  OrderType::Type ordType, TimeInForce::Type tif) {
    return imp->submitOrder(clOrdID, feedID, marketID, side, amount, price, OXFloat::NA,
                            OXFloat::NA, ordType, tif, nullptr, nullptr);
}
OrderResult OXClient::submitOrder(const char* clOrdID, FeedID_t feedID, MarketID_t marketID,
                                  Side::Type side, const OXFloat& amount, const OXFloat& price,
                                  const OXFloat& stopPrice, const OXFloat& maxShowAmt,
                                  OrderType::Type ordType, TimeInForce::Type tif) {
    return imp->submitOrder(clOrdID, feedID, marketID, side, amount, price, stopPrice, maxShowAmt,
                            ordType, tif, nullptr, nullptr);
}
OrderResult OXClient::submitOrder(const char* clOrdID, FeedID_t feedID, MarketID_t marketID,
                                  Side::Type side, const OXFloat& amount, const OXFloat& price,
                                  const OXFloat& stopPrice, const OXFloat& maxShowAmt,
                                  OrderType::Type ordType, TimeInForce::Type tif,
                                  const char* quoteID) {
    return imp->submitOrder(clOrdID, feedID, marketID, side, amount, price, stopPrice, maxShowAmt,
                            ordType, tif, nullptr, quoteID);
}
OrderResult OXClient::submitOrder(const char* clOrdID, FeedID_t feedID, MarketID_t marketID,
                                  Side::Type side, const OXFloat& amount, const OXFloat& price,
                                  const OXFloat& stopPrice, const OXFloat& maxShowAmt,
                                  OrderType::Type ordType, TimeInForce::Type tif,
                                  const Parameters* parameters) {
    return imp->submitOrder(clOrdID, feedID, marketID, side, amount, price, stopPrice, maxShowAmt,
                            ordType, tif, parameters, nullptr);
}
OrderResult OXClient::modifyOrder(const char* clOrdID, const char* clNewID, const OXFloat& amount,
                                  const OXFloat& price) {
    return imp->modifyOrder(clOrdID, clNewID, amount, price);
}
APIResult::Type OXClient::cancelOrder(const char* cxlID, const char* clOrdID) {
    return imp->cancelOrder(cxlID, clOrdID);
}
APIResult::Type OXClient::cancelOrder(const char* cxlID, OrderID_t orderID) {
    return imp->cancelOrder(cxlID, orderID);
}
APIResult::Type OXClient::cancelAll(FeedID_t feedID, const char* cxlID) {
    return imp->cancelAll(feedID, cxlID);
}
APIResult::Type OXClient::cancelAll(const char* cxlID) { return imp->cancelAll(cxlID); }

APIResult::Type OXClient::subscribeMD(FeedID_t feedID, MarketID_t marketID,
                                      const std::string& clSubID) {
    return imp->subscribeMD(feedID, marketID, clSubID);
}
APIResult::Type OXClient::subscribeMD(FeedID_t feedID, MarketID_t marketID) {
    return imp->subscribeMD(feedID, marketID);
}
APIResult::Type OXClient::subscribeOF(FeedID_t feedID, const std::string& clSubID) {
    return imp->subscribeOF(feedID, clSubID);
}
APIResult::Type OXClient::subscribeOF(FeedID_t feedID) { return imp->subscribeOF(feedID); }
APIResult::Type OXClient::subscribeAllMD() { return imp->subscribeAllMD(); }
APIResult::Type OXClient::unsubscribeMD(FeedID_t feedID, MarketID_t marketID,
                                        const std::string& clSubID) {
    return imp->unsubscribeMD(feedID, marketID, clSubID);
}
APIResult::Type OXClient::unsubscribeMD(FeedID_t feedID, MarketID_t marketID) {
    return imp->unsubscribeMD(feedID, marketID);
}
APIResult::Type OXClient::unsubscribeOF(FeedID_t feedID, const std::string& clSubID) {
    return imp->unsubscribeOF(feedID, clSubID);
}
APIResult::Type OXClient::unsubscribeOF(FeedID_t feedID) { return imp->unsubscribeOF(feedID); }
APIResult::Type OXClient::unsubscribeAll() { return imp->unsubscribeAll(); }
APIResult::Type OXClient::replay(FeedID_t feedID, SequenceID_t fromSequenceID,
                                 SequenceID_t toSequenceID) {
    return imp->replay(feedID, fromSequenceID, toSequenceID);
}
APIResult::Type OXClient::requestSnapshot(FeedID_t feedID, MarketID_t marketID) {
    return imp->requestSnapshot(feedID, marketID);
}
std::pair<APIResult::Type, int> OXClient::registerMarketComb(FeedID_t feedID, MarketID_t* marketIds,
                                                             int nmarkets) {
    return imp->registerMarketComb(feedID, marketIds, nmarkets);
}
APIResult::Type OXClient::unregisterMarketComb(int batchDefID) {
    return imp->unregisterMarketComb(batchDefID);
}
void OXClient::test(APITest::Type test) { imp->requestTest(test); }

APIResult::Type OXClient::run(OXHandler* handler) { return imp->run(handler); }
APIResult::Type OXClient::processEvents(OXHandler* handler) { return imp->processEvents(handler); }
APIResult::Type OXClient::join() { return imp->join(); }
APIResult::Type OXClient::wait() { return imp->join(); }
APIResult::Type OXClient::close() { return imp->close(); }

}  // namespace ZURAV
