#pragma once

// The logging rows: the library's logging layer and spdlog, in one process, logging the same
// text with the same arguments into files of a fresh temporary directory.
//
// A logging benchmark is named "LOG/<row>/<implementation>" and measures one of:
//   call  the cost of one log call on the calling thread: each calling thread logs batches of
//         CALL_BATCH entries, each batch timed with the monotonic clock, and pauses CALL_PAUSE
//         between batches, as an application does its own work between log calls: every
//         implementation gets the same entries at the same rate. The pause is a busy wait, so
//         the caller keeps its processor and its caches; it lasts longer while MAX_BACKLOG entries
//         wait for the back end, so no queue fills and no caller blocks on one. The figures are
//         the median and the 99.9th percentile of the batches' time per call, and the calling
//         threads' heap allocations per call.
//   put   throughput: N entries logged as fast as the callers can, then flush and wait; entries
//         per second over the whole, and the entries missing from the files afterwards.
//
// The callers of a row are either the initialising thread (the thread that started the
// library's logging, which buffers its entries and hands them over in batches) or threads
// started for the run (which put every entry through the locked queue). The rows say which.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

namespace Bench {

constexpr int CALL_BATCH = 20;
constexpr std::chrono::microseconds CALL_PAUSE(100);
constexpr uint64_t MAX_BACKLOG = 1024;

// One logging implementation, driven by the rows. open() and close() run on the initialising
// thread, between the runs; the log calls on the row's calling threads.
class LogTarget {
  public:
    virtual ~LogTarget() = default;

    // Starts logging into the files of dir.
    virtual void open(const std::string& dir) = 0;
    // One entry of the row's text, the arguments made from i: "order <i> sent: BUY 1000000
    // EUR/USD at 108765 on feed 7 market 1042".
    virtual void logText(uint64_t i) = 0;
    // One entry that carries the fields of an order: the library attaches a catalogue message
    // (written as a record of the binary log, and as its dump on the text line), spdlog formats
    // the same fields into the text.
    virtual void logOrder(uint64_t i) = 0;
    // Entries that the back end has written since open(); read while the callers log, so it
    // must not take a lock that the callers take.
    virtual uint64_t written() = 0;
    // Returns once every entry logged so far is written to the files.
    virtual void drain() = 0;
    // The entries of the run found in the files: text lines (and, for the library, the binary
    // records of the entries; the smaller count of the two).
    virtual uint64_t found(bool orders) = 0;
    // Stops logging; the files are closed or left to be removed with their directory.
    virtual void close() = 0;
};

// Registers every row for impl; make() is called once, at registration.
void registerLogRows(const std::string& impl,
                     const std::function<std::unique_ptr<LogTarget>()>& make, bool quick);

// The lines of the file that contain marker.
uint64_t countLines(const std::string& file, const std::string& marker);
// The one file of dir whose name ends with ext; empty when there is none or more than one.
std::string onlyFile(const std::string& dir, const std::string& ext);

// Every entry's text starts so.
constexpr char ORDER_MARKER[] = "order ";

// The harness's side (Main.cpp): a benchmark named "LOG/..." reports its counters here; the
// logging table and goals follow the codec table, and their JSON the codec's.
bool isLogRun(const std::string& name);
void recordLogRun(const std::string& name, const benchmark::UserCounters& counters);
void printLogTable();
void writeLogJson(std::ostream& out);

}  // namespace Bench
