// The logging rows' drivers, their results and their part of the table (LogBench.h).

#include "LogBench.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <boost/filesystem.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>
#include <vector>

#include "Registry.h"

namespace Bench {
namespace {

typedef std::chrono::steady_clock Clock;

// Full and quick sizes: batches of CALL_BATCH calls per calling thread, entries per
// throughput run.
constexpr int FULL_BATCHES = 10000;
constexpr int QUICK_BATCHES = 250;
constexpr uint64_t FULL_ENTRIES = 200000;
constexpr uint64_t QUICK_ENTRIES = 10000;

struct RowSpec {
    const char* id;     // in the benchmark's name
    const char* label;  // in the table
    bool put;           // throughput; else the cost of a call
    bool initialising;  // the calls run on the initialising thread; else on started threads
    int threads;
    bool orders;  // entries carrying an order's fields
};

const RowSpec ROWS[] = {
    {"call-init", "1 thread, initialising", false, true, 1, false},
    {"call-other", "1 thread, other", false, false, 1, false},
    {"call-4other", "4 threads, other", false, false, 4, false},
    {"call-order", "order, initialising", false, true, 1, true},
    {"put-init", "1 thread, initialising", true, true, 1, false},
    {"put-4other", "4 threads, other", true, false, 4, false},
    {"put-order", "order, initialising", true, true, 1, true},
};

pthread_t initialisingThread;
bool quickSizes = false;
std::vector<std::string> impls;  // in registration order, OURS first when registered

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        _path = (boost::filesystem::temp_directory_path() /
                 boost::filesystem::unique_path("zurav-bench-log-%%%%-%%%%-%%%%"))
                    .string();
        boost::filesystem::create_directories(_path);
    }
    ~TempDir() {
        boost::system::error_code ec;
        boost::filesystem::remove_all(_path, ec);
    }
    const std::string& path() const { return _path; }

  private:
    std::string _path;
};

// Runs body(k) for k in [0, threads): on this thread when the row's callers are the
// initialising thread, else each on a thread of its own.
void onCallers(const RowSpec& row, const std::function<void(int)>& body) {
    if (row.initialising) {
        body(0);
        return;
    }
    std::vector<std::thread> threads;
    for (int k = 0; k < row.threads; ++k) threads.emplace_back(body, k);
    for (std::thread& t : threads) t.join();
}

// Waits CALL_PAUSE without giving up the processor or touching memory that another thread
// writes, so the caller's caches stay as its own work left them.
void pause() {
    const Clock::time_point until = Clock::now() + CALL_PAUSE;
    while (Clock::now() < until) {
    }
}

void runCalls(benchmark::State& st, LogTarget& target, const RowSpec& row) {
    const int batches = quickSizes ? QUICK_BATCHES : FULL_BATCHES;
    std::vector<double> perCall;
    uint64_t allocs = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : st) {
        TempDir dir;
        target.open(dir.path());
        std::atomic<int64_t> logged{0};
        std::vector<std::vector<double>> samples(row.threads);
        std::vector<uint64_t> threadAllocs(row.threads);
        onCallers(row, [&](int k) {
            std::vector<double>& out = samples[k];
            out.reserve(batches);
            uint64_t i = static_cast<uint64_t>(k) * batches * CALL_BATCH;
            const uint64_t a0 = allocations();
            for (int b = 0; b < batches; ++b) {
                // Outside the timed part: the pause, longer while the back end is behind.
                pause();
                while (logged.load(std::memory_order_relaxed) -
                           static_cast<int64_t>(target.written()) >=
                       static_cast<int64_t>(MAX_BACKLOG)) {
                    pause();
                }
                const Clock::time_point t0 = Clock::now();
                if (row.orders) {
                    for (int c = 0; c < CALL_BATCH; ++c) target.logOrder(i + c);
                } else {
                    for (int c = 0; c < CALL_BATCH; ++c) target.logText(i + c);
                }
                const Clock::time_point t1 = Clock::now();
                i += CALL_BATCH;
                logged.fetch_add(CALL_BATCH, std::memory_order_relaxed);
                out.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count() /
                              CALL_BATCH);
            }
            threadAllocs[k] = allocations() - a0;
        });
        target.drain();
        target.close();
        for (int k = 0; k < row.threads; ++k) {
            perCall.insert(perCall.end(), samples[k].begin(), samples[k].end());
            allocs += threadAllocs[k];
        }
        st.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double calls = static_cast<double>(perCall.size()) * CALL_BATCH;
    st.counters["p50"] = percentile(perCall, 0.5);
    st.counters["p999"] = percentile(perCall, 0.999);
    st.counters["allocs"] = static_cast<double>(allocs) / calls;
}

void runPut(benchmark::State& st, LogTarget& target, const RowSpec& row) {
    const uint64_t entries = quickSizes ? QUICK_ENTRIES : FULL_ENTRIES;
    const uint64_t perThread = entries / static_cast<uint64_t>(row.threads);
    double rate = 0;
    double lost = 0;
    for (auto _ : st) {
        TempDir dir;
        target.open(dir.path());
        const Clock::time_point t0 = Clock::now();
        onCallers(row, [&](int k) {
            const uint64_t first = static_cast<uint64_t>(k) * perThread;
            if (row.orders) {
                for (uint64_t i = first; i < first + perThread; ++i) target.logOrder(i);
            } else {
                for (uint64_t i = first; i < first + perThread; ++i) target.logText(i);
            }
        });
        target.drain();
        const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
        const uint64_t logged = perThread * static_cast<uint64_t>(row.threads);
        const uint64_t found = target.found(row.orders);
        target.close();
        if (found > logged) {
            st.SkipWithError("the files hold more entries than were logged");
            return;
        }
        rate = static_cast<double>(logged) / secs;
        lost = static_cast<double>(logged - found);
        st.SetIterationTime(secs);
    }
    st.counters["rate"] = rate;
    st.counters["lost"] = lost;
}

// --- Results ------------------------------------------------------------------------------------

// The repetitions of one row and implementation.
struct Figures {
    std::vector<double> p50, p999, allocs, rate;
    double lost = 0;  // the most of any repetition
};

std::map<std::string, Figures> results;

std::string key(const std::string& row, const std::string& impl) { return row + "/" + impl; }

const Figures* find(const std::string& row, const std::string& impl) {
    const auto it = results.find(key(row, impl));
    return it == results.end() ? nullptr : &it->second;
}

std::string fmt(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string nanos(double ns) { return fmt(ns < 10 ? "%.2f" : ns < 1000 ? "%.1f" : "%.0f", ns); }

std::string count(double v) {
    return v >= 1e6 ? fmt("%.2fM", v / 1e6) : v >= 1e3 ? fmt("%.0fk", v / 1e3) : fmt("%.0f", v);
}

struct Goal {
    const char* what;
    const char* row;
    const char* figure;  // "p50", "p999" or "rate"
    const char* peer;    // every implementation whose name starts so counts
    double target;
};

const Goal GOALS[] = {
    {"call p50, 1 thread, initialising", "call-init", "p50", "spdlog-async", 5},
    {"call p99.9, 1 thread, initialising", "call-init", "p999", "spdlog-async", 5},
    {"call p50, 1 thread, other", "call-other", "p50", "spdlog-async", 5},
    {"call p99.9, 1 thread, other", "call-other", "p999", "spdlog-async", 5},
    {"call p50, 4 threads, other", "call-4other", "p50", "spdlog-async", 5},
    {"call p99.9, 4 threads, other", "call-4other", "p999", "spdlog-async", 5},
    {"throughput, 1 thread, initialising", "put-init", "rate", "spdlog-async-block", 1.5},
    {"throughput, 4 threads, other", "put-4other", "rate", "spdlog-async-block", 1.5},
};

double figure(const Figures& f, const std::string& which) {
    if (which == "p50") return median(f.p50);
    if (which == "p999") return median(f.p999);
    return median(f.rate);
}

// ours against the peer as "how many times better": peer time / our time, our rate / peer rate.
double ratio(const Figures& ours, const Figures& peer, const std::string& which) {
    const double a = figure(ours, which);
    const double b = figure(peer, which);
    return which == "rate" ? a / b : b / a;
}

// The smallest ratio over the goal's peer variants; < 0 when not measured.
double goalRatio(const Goal& g) {
    const Figures* ours = find(g.row, OURS);
    if (ours == nullptr) return -1;
    double best = -1;
    for (const std::string& impl : impls) {
        if (impl.compare(0, std::strlen(g.peer), g.peer) != 0) continue;
        const Figures* peer = find(g.row, impl);
        if (peer == nullptr) continue;
        const double r = ratio(*ours, *peer, g.figure);
        if (best < 0 || r < best) best = r;
    }
    return best;
}

// The most entries lost by the library in any throughput repetition; < 0 when none ran.
double oursLost() {
    double most = -1;
    for (const RowSpec& row : ROWS) {
        const Figures* ours = row.put ? find(row.id, OURS) : nullptr;
        if (ours != nullptr) most = std::max(most, ours->lost);
    }
    return most;
}

}  // namespace

// --- Registration
// ---------------------------------------------------------------------------------

void registerLogRows(const std::string& impl,
                     const std::function<std::unique_ptr<LogTarget>()>& make, bool quick) {
    initialisingThread = pthread_self();
    quickSizes = quick;
    impls.push_back(impl);
    std::shared_ptr<LogTarget> target(make());
    for (const RowSpec& row : ROWS) {
        const std::string name = "LOG/" + std::string(row.id) + "/" + impl;
        benchmark::RegisterBenchmark(name.c_str(),
                                     [target, row](benchmark::State& st) {
                                         if (!pthread_equal(pthread_self(), initialisingThread)) {
                                             st.SkipWithError("not on the initialising thread");
                                             return;
                                         }
                                         if (row.put) {
                                             runPut(st, *target, row);
                                         } else {
                                             runCalls(st, *target, row);
                                         }
                                     })
            ->Iterations(1)
            ->UseManualTime();
    }
}

uint64_t countLines(const std::string& file, const std::string& marker) {
    std::ifstream in(file, std::ios::binary);
    uint64_t n = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find(marker) != std::string::npos) ++n;
    }
    return n;
}

std::string onlyFile(const std::string& dir, const std::string& ext) {
    std::string found;
    for (auto& e : boost::filesystem::directory_iterator(dir)) {
        if (e.path().extension() != ext) continue;
        if (!found.empty()) return std::string();
        found = e.path().string();
    }
    return found;
}

bool isLogRun(const std::string& name) { return name.compare(0, 4, "LOG/") == 0; }

void recordLogRun(const std::string& name, const benchmark::UserCounters& counters) {
    Figures& f = results[name.substr(4)];
    const auto get = [&counters](const char* c) { return counters.at(c).value; };
    if (counters.count("rate") != 0) {
        f.rate.push_back(get("rate"));
        f.lost = std::max(f.lost, get("lost"));
    } else {
        f.p50.push_back(get("p50"));
        f.p999.push_back(get("p999"));
        f.allocs.push_back(get("allocs"));
    }
}

void printLogTable() {
    if (results.empty()) return;
    const uint64_t calls = static_cast<uint64_t>(quickSizes ? QUICK_BATCHES : FULL_BATCHES) *
                           static_cast<uint64_t>(CALL_BATCH);
    std::printf(
        "\nLogging: the library writes its text and binary log files (as the client configures "
        "them, the\nsystem log off), spdlog one text file; both in a temporary directory, the same "
        "text and arguments.\n\n");
    std::printf(
        "Time of one log call on the calling thread, ns (%llu calls per calling thread per "
        "repetition)\n",
        static_cast<unsigned long long>(calls));
    std::printf("%-24s %-21s %8s %8s %7s %9s %9s %7s %6s %6s\n", "calling threads", "peer",
                "ours p50", "peer p50", "ratio", "ours p999", "peer p999", "ratio", "ours A",
                "peer A");
    for (const RowSpec& row : ROWS) {
        if (row.put) continue;
        const Figures* ours = find(row.id, OURS);
        if (ours == nullptr) continue;
        bool first = true;
        bool paired = false;
        for (const std::string& impl : impls) {
            const Figures* peer = impl == OURS ? nullptr : find(row.id, impl);
            if (peer == nullptr) continue;
            paired = true;
            std::printf("%-24s %-21s %8s %8s %6.2fx %9s %9s %6.2fx %6.2f %6.2f\n",
                        first ? row.label : "", impl.c_str(), nanos(median(ours->p50)).c_str(),
                        nanos(median(peer->p50)).c_str(), ratio(*ours, *peer, "p50"),
                        nanos(median(ours->p999)).c_str(), nanos(median(peer->p999)).c_str(),
                        ratio(*ours, *peer, "p999"), median(ours->allocs), median(peer->allocs));
            first = false;
        }
        if (!paired) {
            std::printf("%-24s %-21s %8s %8s %7s %9s %9s %7s %6.2f %6s\n", row.label, "-",
                        nanos(median(ours->p50)).c_str(), "-", "-",
                        nanos(median(ours->p999)).c_str(), "-", "-", median(ours->allocs), "-");
        }
    }
    std::printf(
        "\nThroughput to the files, entries per second (%s entries logged as fast as the callers "
        "can,\nthen flush and wait); lost: entries missing from the files, the most of any "
        "repetition\n",
        count(static_cast<double>(quickSizes ? QUICK_ENTRIES : FULL_ENTRIES)).c_str());
    std::printf("%-24s %-21s %8s %8s %7s %9s %9s\n", "calling threads", "peer", "ours e/s",
                "peer e/s", "ratio", "ours lost", "peer lost");
    for (const RowSpec& row : ROWS) {
        if (!row.put) continue;
        const Figures* ours = find(row.id, OURS);
        if (ours == nullptr) continue;
        bool first = true;
        bool paired = false;
        for (const std::string& impl : impls) {
            const Figures* peer = impl == OURS ? nullptr : find(row.id, impl);
            if (peer == nullptr) continue;
            paired = true;
            std::printf("%-24s %-21s %8s %8s %6.2fx %9.0f %9.0f\n", first ? row.label : "",
                        impl.c_str(), count(median(ours->rate)).c_str(),
                        count(median(peer->rate)).c_str(), ratio(*ours, *peer, "rate"), ours->lost,
                        peer->lost);
            first = false;
        }
        if (!paired) {
            std::printf("%-24s %-21s %8s %8s %7s %9.0f %9s\n", row.label, "-",
                        count(median(ours->rate)).c_str(), "-", "-", ours->lost, "-");
        }
    }
    std::printf(
        "\ninitialising: the thread that started logging, which buffers its entries and hands "
        "them over in\nbatches; other: threads that put every entry through the locked queue. "
        "Calls are timed in batches\nof %d, each caller pausing %lld us between batches (longer "
        "while %llu entries wait for the\nback end). ratio: how many times better ours is (peer "
        "time / ours, ours e/s / peer).\nA: heap allocations per call on the calling thread. "
        "Every figure is the median of the repetitions.\n\n",
        CALL_BATCH, static_cast<long long>(CALL_PAUSE.count()),
        static_cast<unsigned long long>(MAX_BACKLOG));
    std::printf("Logging goals (ratio against spdlog's faster form):\n");
    for (const Goal& g : GOALS) {
        const double r = goalRatio(g);
        if (r < 0) {
            std::printf("  %-36s >= %4.1fx   not measured\n", g.what, g.target);
        } else {
            std::printf("  %-36s >= %4.1fx   %6.2fx  %s\n", g.what, g.target, r,
                        r >= g.target ? "met" : "MISSED");
        }
    }
    const double lost = oursLost();
    if (lost < 0) {
        std::printf("  %-36s %7s   not measured\n", "entries lost by the library", "0");
    } else {
        std::printf("  %-36s %7s   %7.0f  %s\n", "entries lost by the library", "0", lost,
                    lost == 0 ? "met" : "MISSED");
    }
}

void writeLogJson(std::ostream& out) {
    const auto number = [](double v) { return fmt("%.6g", v); };
    out << ",\n  \"logging\": {\n    \"rows\": [";
    bool firstRow = true;
    for (const RowSpec& row : ROWS) {
        for (const std::string& impl : impls) {
            const Figures* f = find(row.id, impl);
            if (f == nullptr) continue;
            out << (firstRow ? "\n" : ",\n") << "      {\"row\": \"" << row.id
                << "\", \"callers\": \"" << row.label << "\", \"implementation\": \"" << impl
                << "\"";
            if (row.put) {
                out << ", \"entries_per_second\": " << number(median(f->rate))
                    << ", \"lost\": " << number(f->lost);
            } else {
                out << ", \"p50_ns\": " << number(median(f->p50))
                    << ", \"p999_ns\": " << number(median(f->p999))
                    << ", \"allocs_per_call\": " << number(median(f->allocs));
            }
            out << "}";
            firstRow = false;
        }
    }
    out << "\n    ],\n    \"goals\": [";
    bool firstGoal = true;
    for (const Goal& g : GOALS) {
        const double r = goalRatio(g);
        out << (firstGoal ? "\n" : ",\n") << "      {\"goal\": \"" << g.what
            << "\", \"target\": " << number(g.target)
            << ", \"ratio\": " << (r < 0 ? "null" : number(r)) << ", \"met\": "
            << (r < 0           ? "null"
                : r >= g.target ? "true"
                                : "false")
            << "}";
        firstGoal = false;
    }
    const double lost = oursLost();
    out << ",\n      {\"goal\": \"entries lost by the library\", \"target\": 0, \"lost\": "
        << (lost < 0 ? "null" : number(lost)) << ", \"met\": "
        << (lost < 0    ? "null"
            : lost == 0 ? "true"
                        : "false")
        << "}";
    out << "\n    ]\n  }";
}

}  // namespace Bench
