// The library's side of the logging rows: messaging and logging started on the thread that runs
// the benchmarks, as the client starts them, and each run configured as the client's setlog
// configures the log manager (text and binary log files, no rolling, batches of 128 on the
// initialising thread), except that the system log is off: spdlog writes no system log either.

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "LogBench.h"
#include "Registry.h"
#include "Shapes.h"
#include "catalogue/LogMessage.h"
#include "catalogue/SubmitOrderMessage.h"
#include "logging/Log.h"
#include "logging/LoggingInit.h"
#include "logging/Message.h"
#include "logging/MessagingInit.h"

OX_LOG_DECLARE_LOGGER("API")

namespace Bench {
namespace {

using Orbanex::LogManager;
using Orbanex::ShpMessage;

// The client's size limit of both files, in KiB; with rolling off it is never reached.
constexpr unsigned int CLIENT_MAX_KIB = 1073741824;

// The queue alarms reach the system log whatever the configuration says; a benchmark that fills
// the queue on purpose must not fill the machine's system log.
class NoSysLog : public Orbanex::SysLogSink {
  public:
    void open(const char*, int, int) override {}
    void write(int, const char*) override {}
    void close() override {}
};

NoSysLog noSysLog;

// The records of a binary log file with that id; 0 when the records do not lie back to back up
// to the end of the file.
uint64_t countRecords(const std::string& file, unsigned int id) {
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    uint64_t n = 0;
    size_t at = 0;
    while (at + 4 <= bytes.size()) {
        const size_t length = bytes[at] | static_cast<size_t>(bytes[at + 1]) << 8;
        const unsigned int recordId = bytes[at + 2] | static_cast<unsigned int>(bytes[at + 3]) << 8;
        if (recordId == id) ++n;
        at += 2 + length;
    }
    return at == bytes.size() ? n : 0;
}

class ZuravLog : public LogTarget {
  public:
    void open(const std::string& dir) override {
        _dir = dir;
        if (!manager().configure(dir, "ZURAV", CLIENT_MAX_KIB, 0, false, true, CLIENT_MAX_KIB,
                                 false, true, false, 128, 1000000, "")) {
            std::cerr << "zurav_bench: the log files could not be created in " << dir << "\n";
            std::exit(1);
        }
        _base = manager().impl().getNbMessages();
    }

    void logText(uint64_t i) override {
        OX_LOG_INFO(ORDER_MARKER << i << " sent: BUY " << Order::AMOUNT / E9 << " EUR/USD at "
                                 << Order::PRICE / 10000 << " on feed " << Order::FEED_ID
                                 << " market " << Order::MARKET_ID);
    }

    void logOrder(uint64_t i) override {
        ShpMessage msg = CREATE_MESSAGE(Orbanex::SubmitOrderMessage);
        Orbanex::SubmitOrderMessage& m =
            *static_cast<Orbanex::SubmitOrderMessage*>(msg->getPayload());
        m.userID = Order::USER_ID;
        m.quoteID.assign(Order::QUOTE_ID);
        m.onBehalfOfCompID.assign(Order::ON_BEHALF_OF);
        Orbanex::SubmitOrder& c = m.contents;
        c.orderID = static_cast<int64_t>(i);
        c.clOrdID.assign(Order::CL_ORD_ID);
        c.timeApiClient = Order::TIME_API_CLIENT;
        c.timeApiServer = Order::TIME_API_SERVER;
        c.timeHandler = Order::TIME_HANDLER;
        c.feedID = Order::FEED_ID;
        c.marketID = Order::MARKET_ID;
        c.side = static_cast<Orbanex::Side::Type>(Order::SIDE);
        c.amount = Order::AMOUNT;
        c.price = Order::PRICE;
        c.ordType = static_cast<Orbanex::OrderType::Type>(Order::ORD_TYPE);
        c.timeInForce = static_cast<Orbanex::TimeInForce::Type>(Order::TIME_IN_FORCE);
        c.stopPrice = Order::STOP_PRICE;
        c.maxShow = Order::MAX_SHOW;
        m.modelID.assign(Order::MODEL_ID);
        OX_LOG_AND_DELETE("order sent", msg);
    }

    uint64_t written() override { return manager().impl().getNbMessages() - _base; }

    void drain() override { manager().flushAndWait(); }

    uint64_t found(bool orders) override {
        const uint64_t lines = countLines(onlyFile(_dir, ".txt"), ORDER_MARKER);
        const uint64_t records =
            countRecords(onlyFile(_dir, ".dat"),
                         orders ? Orbanex::SubmitOrderMessage::ID : Orbanex::LogMessage::ID);
        return lines < records ? lines : records;
    }

    // The files stay open until the next run's configure closes them; their directory goes
    // first, which an open file does not mind.
    void close() override { manager().impl().deactivate(); }

  private:
    static LogManager& manager() { return *LogManager::instance(); }

    std::string _dir;
    size_t _base = 0;
};

}  // namespace

void registerLogging(bool quick) {
    // Without TZ the log manager asks for it on every configure; the zone stays the machine's.
    if (std::getenv("TZ") == nullptr) {
        setenv("TZ", ":/etc/localtime", 1);
        tzset();
    }
    Orbanex::SysLogSink::install(&noSysLog);
    Orbanex::MessagingInit::initialize();
    Orbanex::LoggingInit::initialize();
    std::atexit([] {
        Orbanex::LoggingInit::finalize();
        Orbanex::MessagingInit::finalize();
    });
    registerLogRows(
        OURS, [] { return std::unique_ptr<LogTarget>(new ZuravLog); }, quick);
}

}  // namespace Bench
