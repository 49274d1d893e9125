// spdlog's side of the logging rows: one text file in the run's directory, written by
//   spdlog-async-block    the asynchronous logger (one back-end thread, spdlog's default queue
//                         of 8192 entries) that makes a caller wait while the queue is full
//   spdlog-async-overrun  the same logger overwriting the oldest queued entry instead
//   spdlog-sync           the synchronous file logger, formatting and writing on the caller
// Each line carries what the library's text line carries: time to the microsecond, level,
// thread, logger name, source file, line and function, then the text.

#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/details/thread_pool.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "LogBench.h"
#include "Registry.h"
#include "Shapes.h"

namespace Bench {
namespace {

constexpr size_t QUEUE_SIZE = 8192;
constexpr char PATTERN[] = "%Y-%m-%d.%H:%M:%S,%f |%-5!l|%-10!t|%-6!n| {%s:%#:%!} %v";

// Counts the entries that the back end has passed to the file sink (the logger's next sink).
class CountingSink : public spdlog::sinks::sink {
  public:
    void log(const spdlog::details::log_msg&) override {
        _count.fetch_add(1, std::memory_order_relaxed);
    }
    void flush() override {}
    void set_pattern(const std::string&) override {}
    void set_formatter(std::unique_ptr<spdlog::formatter>) override {}
    uint64_t count() const { return _count.load(std::memory_order_relaxed); }

  private:
    std::atomic<uint64_t> _count{0};
};

enum class Mode { ASYNC_BLOCK, ASYNC_OVERRUN, SYNC };

class Spdlog : public LogTarget {
  public:
    explicit Spdlog(Mode mode) : _mode(mode) {}

    void open(const std::string& dir) override {
        _file = dir + "/spdlog.txt";
        _counter = std::make_shared<CountingSink>();
        _fileSink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(_file, true);
        const spdlog::sinks_init_list sinks = {_fileSink, _counter};
        if (_mode == Mode::SYNC) {
            _logger = std::make_shared<spdlog::logger>("ZURAV", sinks);
        } else {
            _pool = std::make_shared<spdlog::details::thread_pool>(QUEUE_SIZE, 1);
            _logger = std::make_shared<spdlog::async_logger>(
                "ZURAV", sinks, _pool,
                _mode == Mode::ASYNC_BLOCK ? spdlog::async_overflow_policy::block
                                           : spdlog::async_overflow_policy::overrun_oldest);
        }
        _logger->set_pattern(PATTERN);
        _logger->set_level(spdlog::level::info);
    }

    void logText(uint64_t i) override {
        SPDLOG_LOGGER_INFO(_logger, "order {} sent: BUY {} EUR/USD at {} on feed {} market {}", i,
                           Order::AMOUNT / E9, Order::PRICE / 10000, Order::FEED_ID,
                           Order::MARKET_ID);
    }

    // The fields of the library's order message, formatted as its dump writes them.
    void logOrder(uint64_t i) override {
        SPDLOG_LOGGER_INFO(
            _logger,
            "order sent --- <SubmitOrderMessage (userID={} quoteID=\"{}\" onBehalfOfCompID=\"{}\" "
            "contents=(orderID={} clOrdID=\"{}\" timeApiClient={} timeApiServer={} "
            "timeHandler={} feedID={} marketID={} side={} amount={} price={} ordType={} "
            "timeInForce={} stopPrice={} maxShow={}) modelID=\"{}\")>",
            Order::USER_ID, Order::QUOTE_ID, Order::ON_BEHALF_OF, i, Order::CL_ORD_ID,
            Order::TIME_API_CLIENT, Order::TIME_API_SERVER, Order::TIME_HANDLER, Order::FEED_ID,
            Order::MARKET_ID, "BID", Order::AMOUNT, Order::PRICE, "LIMIT", "GTC", Order::STOP_PRICE,
            Order::MAX_SHOW, Order::MODEL_ID);
    }

    uint64_t written() override { return _counter->count(); }

    // The thread pool's end writes every queued entry (its stop request waits behind them, even
    // with the overrun policy) and joins the back-end thread; then the file's buffer goes out.
    void drain() override {
        _pool.reset();
        _fileSink->flush();
    }

    uint64_t found(bool) override { return countLines(_file, ORDER_MARKER); }

    void close() override {
        _logger.reset();
        _pool.reset();
        _fileSink.reset();
    }

  private:
    const Mode _mode;
    std::string _file;
    std::shared_ptr<spdlog::sinks::sink> _fileSink;
    std::shared_ptr<CountingSink> _counter;
    std::shared_ptr<spdlog::details::thread_pool> _pool;
    std::shared_ptr<spdlog::logger> _logger;
};

}  // namespace

void registerSpdlog(bool quick) {
    const struct {
        const char* name;
        Mode mode;
    } modes[] = {{"spdlog-async-block", Mode::ASYNC_BLOCK},
                 {"spdlog-async-overrun", Mode::ASYNC_OVERRUN},
                 {"spdlog-sync", Mode::SYNC}};
    for (const auto& m : modes) {
        const Mode mode = m.mode;
        registerLogRows(
            m.name, [mode] { return std::unique_ptr<LogTarget>(new Spdlog(mode)); }, quick);
    }
}

}  // namespace Bench
