#pragma once

// The client session rows: the library's client (OXClient) over loopback TCP against the client
// tests' server (tests/support/client, the demonstration server's code) running in this process,
// beside raw TCP moving the same bytes and a QuickFIX initiator/acceptor pair. C++14, because the
// QuickFIX side includes it.
//
// A session benchmark is named "SESSION/<row>/<implementation>" (implementations "zurav", "raw"
// and "quickfix") and makes one run per repetition. Rows:
//   order    order round trip. The client's side sends an order and times it until the first of
//            the two reports the server answers every order with reaches the client's handler;
//            that handler, on the client's loop thread, sends the next order. zurav: submitOrder
//            until onOrderReceived, the server answering OrderReceived then OrderDone, each in a
//            write of its own; raw: frames of the same sizes written and read with blocking
//            sockets; quickfix: NewOrderSingle until the first of two ExecutionReports (NEW,
//            then FILLED), both sides with the data dictionary, as a session validates.
//            Figures: the median and the 99th percentile of the round trips after a warm-up.
//   md2      market-data throughput: the server's side writes market-data messages with 2 (md2)
//   md10     or 10 (md10) entries back to back as fast as the connection takes them, and the
//            client's handler reads the price of every entry. zurav: run() decodes and
//            dispatches each frame to onMarketData; raw: blocking reads of the same bytes, not
//            decoded; quickfix: MarketDataIncrementalRefresh through its session. Frames per
//            second from the writer's start to the client's last frame, and the bytes that makes.
//   connect  connect and log in: connect() until it returns logged in (heartbeats on; the point
//            at which run() calls onConnect), against a raw TCP connect(). Median and 99th
//            percentile.
//
// The client's side and the server's side each run pinned to a processor of their own when the
// process may use at least two (cpuPlan()). Every wait has a deadline: a run that misses it stops
// its threads and fails its row instead of hanging.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Registry.h"

namespace Bench {

constexpr char RAW[] = "raw";
constexpr char QUICKFIX[] = "quickfix";

typedef std::chrono::steady_clock SessionClock;

// What one run of each row does.
struct SessionSizes {
    int roundTrips;  // timed, after warmUp untimed ones (zurav, raw)
    int warmUp;
    int fixRoundTrips;  // quickfix
    int fixWarmUp;
    uint64_t streamBytes;  // market-data bytes per run (zurav, raw), whole chunks at least
    uint64_t fixFrames;    // quickfix
    int connects;          // timed, after connectWarmUp untimed ones
    int connectWarmUp;
    std::chrono::milliseconds deadline;  // of one run
};
const SessionSizes& sessionSizes();

// The processors of the client's and the server's side; pinned is false when the process may use
// fewer than two, and nothing is pinned then.
struct CpuPlan {
    bool pinned;
    int client;
    int server;
};
const CpuPlan& cpuPlan();

// Pins the calling thread to cpu (when cpuPlan().pinned) for its lifetime, then restores the
// thread's processors. Threads started meanwhile inherit the pin.
class Pinned {
  public:
    explicit Pinned(int cpu);
    ~Pinned();
    Pinned(const Pinned&) = delete;
    Pinned& operator=(const Pinned&) = delete;

  private:
    bool _set = false;
    std::vector<unsigned char> _saved;  // the thread's cpu_set_t before
};

// Pins the calling thread to cpu for good (when cpuPlan().pinned): for threads started by a run.
void pinThisThread(int cpu);

// Calls expire() on a thread of its own once limit has passed, unless it is destroyed first;
// destruction waits for an expire() under way. expire() must make the run's waits return.
class Watchdog {
  public:
    Watchdog(std::chrono::milliseconds limit, std::function<void()> expire);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    bool expired() const { return _expired.load(); }

  private:
    std::mutex _mutex;
    std::condition_variable _finished;
    bool _done = false;
    std::atomic<bool> _expired{false};
    std::thread _thread;
};

// --- Loopback sockets (blocking, TCP_NODELAY) ----------------------------------------------------

// A listener on 127.0.0.1 at a port of the system's choice, stored in port; -1 on failure.
int listenLoopback(int& port);
// A connection to 127.0.0.1:port; -1 on failure.
int connectLoopback(int port);
// The next connection of listener, waiting at most limit; -1 when none came or on failure.
int acceptWithin(int listener, std::chrono::milliseconds limit);
// Writes all of bytes, waiting for room when fd is non-blocking; false on failure.
bool writeAll(int fd, const char* bytes, size_t size);
// Writes chunk count times to fd, waiting for room with poll when fd is non-blocking, until done,
// stop becomes true or the connection fails; returns the chunks written whole.
uint64_t writeRepeated(int fd, const std::string& chunk, uint64_t count,
                       const std::atomic<bool>& stop);

// Nanoseconds since an arbitrary start, on the steady clock; atomics carry it between threads.
int64_t nowNs();

// The receiving side of a market-data run: counts the frames, notes when the last one arrived
// and the heap allocations of the receiving thread from the first frame to the last.
class FrameCount {
  public:
    explicit FrameCount(uint64_t frames) : _frames(frames) {}

    // Counts one frame; true for the last one.
    bool count() {
        if (++_seen == 1) _allocs0 = allocations();
        if (_seen != _frames) return false;
        _lastAt = nowNs();
        _allocs = allocations() - _allocs0;
        return true;
    }

    uint64_t seen() const { return _seen; }
    int64_t lastAt() const { return _lastAt; }
    double allocsPerFrame() const {
        return _seen > 1 ? static_cast<double>(_allocs) / static_cast<double>(_seen - 1) : 0;
    }

  private:
    const uint64_t _frames;
    uint64_t _seen = 0;
    int64_t _lastAt = 0;
    uint64_t _allocs0 = 0;
    uint64_t _allocs = 0;
};

// --- The same bytes for the library's rows and the raw rows --------------------------------------

// Frames as the library writes them. order: an order as the client's submitOrder sends it;
// received, done: the server's two answers to it; md[0], md[1]: a market-data frame with 2 and
// with 10 entries; chunk[k]: md[k] repeated to about 64 KiB, the unit that the writers write.
struct SessionFrames {
    std::string order, received, done;
    std::string md[2];
    std::string chunk[2];
    uint64_t framesPerChunk[2];

    // The chunks of md[k] that a market-data run writes: sessionSizes().streamBytes at least.
    uint64_t chunks(int k) const;
};
const SessionFrames& sessionFrames();

// --- Reporting
// ------------------------------------------------------------------------------------

// A round-trip or connect run: ns holds one time per timed exchange; allocs are the heap
// allocations per exchange on the client's loop thread; bytes the bytes on the wire per exchange.
void reportTimes(benchmark::State& st, std::vector<double>& ns, double allocs, double bytes);
// A market-data run: frames in secs; allocs per frame on the client's thread; bytes per frame.
void reportStream(benchmark::State& st, double frames, double secs, double allocs, double bytes);

// The harness's side (Main.cpp): runs named "SESSION/..." report their counters here; the
// session tables and goals follow the logging table, their JSON the logging JSON.
bool isSessionRun(const std::string& name);
void recordSessionRun(const std::string& name, const benchmark::UserCounters& counters);
void printSessionTable();
void writeSessionJson(std::ostream& out);

// Registers row for impl: fn makes one run and reports through reportTimes or reportStream.
void addSessionRow(const std::string& row, const std::string& impl,
                   std::function<void(benchmark::State&)> fn);
// fn runs once after the last benchmark (endSessions()): the QuickFIX pair's stop.
void atSessionsEnd(std::function<void()> fn);
void endSessions();

// Registers every session row (quick: fewer exchanges per run): the library's, the raw ones and,
// when built (ZURAV_BENCH_QUICKFIX), QuickFIX's, each through its own register function.
void registerSessions(bool quick);
void registerZuravSessions();
void registerRawSessions();
void registerFixSessions();

}  // namespace Bench
