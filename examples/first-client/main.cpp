// The README's first client: logs in to one of two servers, subscribes to the quotes of one market
// and prints them until it has printed 20. When the connection is lost, run() logs in again (to
// the other server when the first is gone) and the handler subscribes again in onConnect, so
// the quotes come back.
//
//   zurav-example-first-client HOST PORT [HOST2 PORT2]
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <iostream>

#include "api/APIAll.h"
#include "client/AbstractOXHandler.h"
#include "client/OXClient.h"
#include "client/OXInit.h"

using namespace ZURAV;

namespace {

const char* const MARKET = "EUR/USD";
const int QUOTES = 20;

const char* const USAGE =
    "usage: zurav-example-first-client HOST PORT [HOST2 PORT2]\n"
    "Logs in to the server at HOST PORT (or at HOST2 PORT2 when the first does not answer) and\n"
    "prints 20 quotes of EUR/USD, subscribing again after a fail-over. The library's logs go to\n"
    "a new folder under /tmp.\n";

// The port that text names (1 to 65535), or 0 when it names none.
int portOf(const char* text) {
    long port = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || port > 65535) return 0;
        port = port * 10 + (*c - '0');
    }
    return port <= 65535 ? static_cast<int>(port) : 0;
}

// The handler: AbstractOXHandler gives every callback an empty body; this one overrides those it
// needs. The callbacks run on the thread inside run(), one at a time, and may make requests.
class QuotePrinter : public AbstractOXHandler {
  public:
    QuotePrinter(FeedID_t feedID, MarketID_t marketID) : _feedID(feedID), _marketID(marketID) {}

    // A new connection has no subscriptions: subscribe when run() starts, and again after every
    // reconnection inside run().
    void onStart(OXClient& client) override { subscribe(client); }
    void onConnect(OXClient& client) override {
        std::cout << "connected again" << std::endl;
        subscribe(client);
    }
    void onDisconnect(OXClient&) override {
        std::cout << "connection lost; reconnecting" << std::endl;
    }

    // The view is valid during the call only: copy what you keep.
    void onMarketData(const MarketView& view, OXClient& client) override {
        std::cout << "quote " << MARKET;
        for (const MDEntry& e : view.mdEntryList) {
            char side[64];
            std::snprintf(side, sizeof side, "  %s %.5f x %.0f",
                          e.side == Side::BID ? "bid" : "ofr", e.price.toDouble(),
                          e.amount.toDouble());
            std::cout << side;
        }
        std::cout << std::endl;
        if (++_quotes == QUOTES) client.stop();  // run() returns OK
    }

  private:
    void subscribe(OXClient& client) {
        std::cout << "subscribeMD: " << APIResult::toString(client.subscribeMD(_feedID, _marketID))
                  << std::endl;
    }

    const FeedID_t _feedID;
    const MarketID_t _marketID;
    int _quotes = 0;
};

}  // namespace

int main(int argc, char** argv) {
    // The arguments are read before anything is made: a usage error leaves nothing behind.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << USAGE;
            return 0;
        }
    }
    if (argc != 3 && argc != 5) {
        std::cerr << USAGE;
        return 2;
    }
    const int port1 = portOf(argv[2]);
    const int port2 = argc == 5 ? portOf(argv[4]) : 0;
    const char* const badPort = port1 == 0 ? argv[2] : argc == 5 && port2 == 0 ? argv[4] : nullptr;
    if (badPort != nullptr) {
        std::cerr << "zurav-example-first-client: '" << badPort << "' is not a port\n" << USAGE;
        return 2;
    }

    // Once per process, on the thread that also finalises the library. The log files (a text
    // log and a binary message log) go to a folder of their own.
    OXInit::initialize();
    char logDir[] = "/tmp/zurav-first-client-XXXXXX";
    if (mkdtemp(logDir) == nullptr || OXClient::setlog(logDir, true) != APIResult::OK) {
        std::cerr << "cannot log into " << logDir << std::endl;
        OXInit::finalize();
        return 1;
    }

    // One or two servers; connect() tries them in order and logs in to the first that answers.
    OXClient* client = argc == 5 ? new OXClient("trader", "secret", argv[1], port1, argv[3], port2)
                                 : new OXClient("trader", "secret", argv[1], port1);
    int status = 1;
    const APIResult::Type login = client->connect();
    std::cout << "connect: " << APIResult::toString(login) << std::endl;
    if (login == APIResult::OK) {
        // The feeds and markets came with the login. Their pointers change with the next
        // configuration: keep the ids.
        int n = 0;
        const APIFeed* feeds = client->getFeeds(n);
        const APIMarket* market = n > 0 ? client->getMarketByName(feeds[0], MARKET) : nullptr;
        if (market != nullptr) {
            QuotePrinter printer(market->feedID, market->marketID);
            // Until stop(); after a lost connection it logs in again by itself, once per loss.
            const APIResult::Type end = client->run(&printer);
            std::cout << "run: " << APIResult::toString(end) << std::endl;
            status = end == APIResult::OK ? 0 : 1;
        } else {
            std::cout << "no market " << MARKET << std::endl;
        }
        client->close();  // a goodbye to the server, and the connection closed
    }
    client->release();
    OXInit::finalize();
    return status;
}
