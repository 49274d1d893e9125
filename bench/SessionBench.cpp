// The session rows' common parts (SessionBench.h): sizes, processors, deadlines, loopback
// sockets, and the rows' results, table, goals and JSON.

#include "SessionBench.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>

#include "Registry.h"

namespace Bench {
namespace {

// Full and quick sizes of one run.
constexpr SessionSizes FULL_SIZES = {
    20000, 2000, 4000, 400, 256 << 20, 20000, 500, 50, std::chrono::milliseconds(30000)};
constexpr SessionSizes QUICK_SIZES = {
    1000, 200, 200, 50, 16 << 20, 1000, 40, 10, std::chrono::milliseconds(10000)};

SessionSizes sizes = FULL_SIZES;

// The order in which rows and implementations were registered: the table's order.
std::vector<std::string> rowOrder, implOrder;
std::vector<std::function<void()>> endings;

void remember(std::vector<std::string>& names, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

CpuPlan makePlan() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return {false, -1, -1};
    std::vector<int> allowed;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set)) allowed.push_back(cpu);
    // With three or more, the first is left to the harness and whatever else the machine runs.
    if (allowed.size() >= 3) return {true, allowed[1], allowed[2]};
    if (allowed.size() == 2) return {true, allowed[0], allowed[1]};
    return {false, -1, -1};
}

void setAffinity(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(0, sizeof set, &set);
}

// --- Results ------------------------------------------------------------------------------------

// The repetitions of one row and implementation.
struct Figures {
    std::vector<double> p50, p99, rate, byteRate, allocs;
    double bytes = 0;
};

std::map<std::string, Figures> results;

const Figures* find(const std::string& row, const std::string& impl) {
    const auto it = results.find(row + "/" + impl);
    return it == results.end() ? nullptr : &it->second;
}

std::string fmt(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string micros(double ns) { return fmt(ns < 10000 ? "%.2f" : "%.1f", ns / 1000); }

std::string count(double v) {
    return v >= 1e6 ? fmt("%.2fM", v / 1e6) : v >= 1e3 ? fmt("%.0fk", v / 1e3) : fmt("%.0f", v);
}

struct Goal {
    const char* what;
    const char* row;
    const char* figure;  // "p50", "p99" or "rate"
    const char* peer;
    bool atMost;  // the value must stay at or below target; else reach it
    double target;
};

// Times compare as ours / peer (at most the target), rates as ours / peer (at least); against
// QuickFIX, times compare as peer / ours (how many times faster).
const Goal GOALS[] = {
    {"order round trip p50 vs raw ping-pong", "order", "p50", RAW, true, 1.5},
    {"order round trip p99 vs raw ping-pong", "order", "p99", RAW, true, 1.5},
    {"order round trip p50 vs QuickFIX", "order", "p50", QUICKFIX, false, 3},
    {"order round trip p99 vs QuickFIX", "order", "p99", QUICKFIX, false, 3},
    {"MD2 frame rate vs raw stream", "md2", "rate", RAW, false, 0.6},
    {"MD10 frame rate vs raw stream", "md10", "rate", RAW, false, 0.6},
    {"MD2 frame rate vs QuickFIX", "md2", "rate", QUICKFIX, false, 5},
    {"MD10 frame rate vs QuickFIX", "md10", "rate", QUICKFIX, false, 5},
};

double figure(const Figures& f, const std::string& which) {
    if (which == "p50") return median(f.p50);
    if (which == "p99") return median(f.p99);
    return median(f.rate);
}

// The goal's ratio as the goal states it; < 0 when not measured.
double goalValue(const Goal& g) {
    const Figures* ours = find(g.row, OURS);
    const Figures* peer = find(g.row, g.peer);
    if (ours == nullptr || peer == nullptr) return -1;
    const double a = figure(*ours, g.figure);
    const double b = figure(*peer, g.figure);
    if (a <= 0 || b <= 0) return -1;
    const bool time = std::string(g.figure) != "rate";
    if (time && g.atMost) return a / b;
    return time ? b / a : a / b;
}

bool met(const Goal& g, double v) { return g.atMost ? v <= g.target : v >= g.target; }

std::string rowLabel(const std::string& row) {
    return row == "md2" ? "MD2" : row == "md10" ? "MD10" : row;
}

void printTimes(const std::string& row) {
    const Figures* ours = find(row, OURS);
    if (ours == nullptr) return;
    bool paired = false;
    for (const std::string& impl : implOrder) {
        const Figures* peer = impl == OURS ? nullptr : find(row, impl);
        if (peer == nullptr) continue;
        paired = true;
        const double o50 = median(ours->p50), p50 = median(peer->p50);
        const double o99 = median(ours->p99), p99 = median(peer->p99);
        std::printf("%-14s %9s %9s %8.2fx %9s %9s %8.2fx %7.1f %7.1f %6.0f %6.0f\n", impl.c_str(),
                    micros(o50).c_str(), micros(p50).c_str(), p50 / o50, micros(o99).c_str(),
                    micros(p99).c_str(), p99 / o99, median(ours->allocs), median(peer->allocs),
                    ours->bytes, peer->bytes);
    }
    if (!paired) {
        std::printf("%-14s %9s %9s %9s %9s %9s %9s %7.1f %7s %6.0f %6s\n", "-",
                    micros(median(ours->p50)).c_str(), "-", "-", micros(median(ours->p99)).c_str(),
                    "-", "-", median(ours->allocs), "-", ours->bytes, "-");
    }
}

// What each implementation adds to the raw ping-pong's median round trip, which the kernel's
// wake-ups of both sides dominate on a machine whose floor is high.
void printAboveFloor() {
    const Figures* ours = find("order", OURS);
    const Figures* raw = find("order", RAW);
    if (ours == nullptr || raw == nullptr) return;
    const double floor = median(raw->p50);
    const double added = median(ours->p50) - floor;
    std::printf("added to the raw ping-pong's p50: ours %s us", micros(added).c_str());
    const Figures* fix = find("order", QUICKFIX);
    if (fix != nullptr) {
        const double fixAdded = median(fix->p50) - floor;
        std::printf(", quickfix %s us", micros(fixAdded).c_str());
        if (added > 0) std::printf(" (%.1fx ours)", fixAdded / added);
    }
    std::printf("\n");
}

void printGoal(const Goal& g) {
    const double v = goalValue(g);
    const char* sense = g.atMost ? "<=" : ">=";
    if (v < 0) {
        std::printf("  %-40s %s %4.1fx   not measured\n", g.what, sense, g.target);
    } else {
        std::printf("  %-40s %s %4.1fx   %6.2fx  %s\n", g.what, sense, g.target, v,
                    met(g, v) ? "met" : "MISSED");
    }
}

}  // namespace

// --- Sizes, processors, deadlines ---------------------------------------------------------------

const SessionSizes& sessionSizes() { return sizes; }

const CpuPlan& cpuPlan() {
    static const CpuPlan plan = makePlan();
    return plan;
}

Pinned::Pinned(int cpu) {
    if (!cpuPlan().pinned) return;
    _saved.resize(sizeof(cpu_set_t));
    cpu_set_t* saved = reinterpret_cast<cpu_set_t*>(_saved.data());
    if (sched_getaffinity(0, sizeof(cpu_set_t), saved) != 0) return;
    setAffinity(cpu);
    _set = true;
}

Pinned::~Pinned() {
    if (_set) sched_setaffinity(0, sizeof(cpu_set_t), reinterpret_cast<cpu_set_t*>(_saved.data()));
}

void pinThisThread(int cpu) {
    if (cpuPlan().pinned) setAffinity(cpu);
}

Watchdog::Watchdog(std::chrono::milliseconds limit, std::function<void()> expire) {
    const SessionClock::time_point until = SessionClock::now() + limit;
    _thread = std::thread([this, until, expire] {
        std::unique_lock<std::mutex> lock(_mutex);
        if (_finished.wait_until(lock, until, [this] { return _done; })) return;
        _expired = true;
        lock.unlock();
        expire();
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _done = true;
    }
    _finished.notify_all();
    _thread.join();
}

// --- Loopback sockets ---------------------------------------------------------------------------

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               SessionClock::now().time_since_epoch())
        .count();
}

int listenLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 64) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(addr.sin_port);
    return fd;
}

int connectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int acceptWithin(int listener, std::chrono::milliseconds limit) {
    pollfd p = {listener, POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, static_cast<int>(limit.count()));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return -1;
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool writeAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n > 0) {
            bytes += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p = {fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

uint64_t writeRepeated(int fd, const std::string& chunk, uint64_t count,
                       const std::atomic<bool>& stop) {
    uint64_t written = 0;
    while (written < count && !stop.load(std::memory_order_relaxed)) {
        const char* p = chunk.data();
        size_t left = chunk.size();
        while (left > 0) {
            const ssize_t n = ::send(fd, p, left, MSG_NOSIGNAL);
            if (n > 0) {
                p += n;
                left -= static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // Waits for room in slices, so that a stop is seen while the reader is stuck.
                if (stop.load(std::memory_order_relaxed)) return written;
                pollfd pf = {fd, POLLOUT, 0};
                ::poll(&pf, 1, 100);
                continue;
            }
            return written;
        }
        ++written;
    }
    return written;
}

uint64_t SessionFrames::chunks(int k) const {
    return (sizes.streamBytes + chunk[k].size() - 1) / chunk[k].size();
}

// --- Reporting ----------------------------------------------------------------------------------

void reportTimes(benchmark::State& st, std::vector<double>& ns, double allocs, double bytes) {
    if (ns.empty()) {
        st.SkipWithError("no exchange was timed");
        return;
    }
    double total = 0;
    for (double v : ns) total += v;
    st.SetIterationTime(total / 1e9);
    st.counters["p50"] = percentile(ns, 0.5);
    st.counters["p99"] = percentile(ns, 0.99);
    st.counters["allocs"] = allocs;
    st.counters["bytes"] = bytes;
}

void reportStream(benchmark::State& st, double frames, double secs, double allocs, double bytes) {
    if (secs <= 0 || frames <= 0) {
        st.SkipWithError("no frame was timed");
        return;
    }
    st.SetIterationTime(secs);
    st.counters["rate"] = frames / secs;
    st.counters["byteRate"] = frames * bytes / secs;
    st.counters["allocs"] = allocs;
    st.counters["bytes"] = bytes;
}

bool isSessionRun(const std::string& name) { return name.compare(0, 8, "SESSION/") == 0; }

void recordSessionRun(const std::string& name, const benchmark::UserCounters& counters) {
    Figures& f = results[name.substr(8)];
    const auto get = [&counters](const char* c) { return counters.at(c).value; };
    if (counters.count("rate") != 0) {
        f.rate.push_back(get("rate"));
        f.byteRate.push_back(get("byteRate"));
    } else {
        f.p50.push_back(get("p50"));
        f.p99.push_back(get("p99"));
    }
    f.allocs.push_back(get("allocs"));
    f.bytes = get("bytes");
}

void printSessionTable() {
    if (results.empty()) return;
    const SessionSizes& z = sizes;
    const CpuPlan& plan = cpuPlan();
    std::printf(
        "\nClient session over loopback TCP, in this process: the library's client against its "
        "test server\n(the demonstration server's code), raw TCP moving the same bytes, a "
        "QuickFIX initiator/acceptor pair.\n");
    if (plan.pinned) {
        std::printf("Client side on CPU %d, server side on CPU %d.\n", plan.client, plan.server);
    } else {
        std::printf("Not pinned: the process may use fewer than two CPUs.\n");
    }

    std::printf(
        "\nOrder round trip, us: order out until the first report is in the handler (%d after %d "
        "warm-up;\nQuickFIX %d after %d). ratio: peer / ours. A: heap allocations per round trip "
        "on the client's\nloop thread; B: bytes on the wire per round trip (the order and both "
        "reports)\n",
        z.roundTrips, z.warmUp, z.fixRoundTrips, z.fixWarmUp);
    std::printf("%-14s %9s %9s %9s %9s %9s %9s %7s %7s %6s %6s\n", "peer", "ours p50", "peer p50",
                "ratio", "ours p99", "peer p99", "ratio", "ours A", "peer A", "ours B", "peer B");
    printTimes("order");
    printAboveFloor();

    std::printf(
        "\nMarket data, frames per second from the writer's start to the handler's last frame "
        "(%.0f MiB of frames;\nQuickFIX %s frames). ratio: ours / peer. A: heap allocations per "
        "frame on the client's thread;\nB: bytes per frame\n",
        static_cast<double>(z.streamBytes) / (1 << 20),
        count(static_cast<double>(z.fixFrames)).c_str());
    std::printf("%-6s %-10s %9s %9s %8s %9s %9s %7s %7s %6s %6s\n", "shape", "peer", "ours f/s",
                "peer f/s", "ratio", "ours MB/s", "peer MB/s", "ours A", "peer A", "ours B",
                "peer B");
    for (const std::string& row : rowOrder) {
        if (row != "md2" && row != "md10") continue;
        const Figures* ours = find(row, OURS);
        if (ours == nullptr) continue;
        bool first = true;
        for (const std::string& impl : implOrder) {
            const Figures* peer = impl == OURS ? nullptr : find(row, impl);
            if (peer == nullptr) continue;
            const double o = median(ours->rate), p = median(peer->rate);
            std::printf("%-6s %-10s %9s %9s %7.2fx %9.0f %9.0f %7.2f %7.2f %6.0f %6.0f\n",
                        first ? rowLabel(row).c_str() : "", impl.c_str(), count(o).c_str(),
                        count(p).c_str(), o / p, median(ours->byteRate) / 1e6,
                        median(peer->byteRate) / 1e6, median(ours->allocs), median(peer->allocs),
                        ours->bytes, peer->bytes);
            first = false;
        }
        if (first) {
            std::printf("%-6s %-10s %9s %9s %8s %9.0f %9s %7.2f %7s %6.0f %6s\n",
                        rowLabel(row).c_str(), "-", count(median(ours->rate)).c_str(), "-", "-",
                        median(ours->byteRate) / 1e6, "-", median(ours->allocs), "-", ours->bytes,
                        "-");
        }
    }

    std::printf(
        "\nConnect and log in, us: connect() until logged in, heartbeats on (%d after %d), "
        "against a raw\nTCP connect(). ratio: peer / ours. A: heap allocations per connection "
        "on the connecting thread;\nB: bytes on the wire per connection (the login and its "
        "answer)\n",
        z.connects, z.connectWarmUp);
    std::printf("%-14s %9s %9s %9s %9s %9s %9s %7s %7s %6s %6s\n", "peer", "ours p50", "peer p50",
                "ratio", "ours p99", "peer p99", "ratio", "ours A", "peer A", "ours B", "peer B");
    printTimes("connect");

    std::printf("\nEvery figure is the median of the repetitions.\n\n");
    std::printf("Session goals (times: ours / raw, peer / ours; rates: ours / peer):\n");
    for (const Goal& g : GOALS) printGoal(g);
}

void writeSessionJson(std::ostream& out) {
    const auto number = [](double v) { return fmt("%.6g", v); };
    const CpuPlan& plan = cpuPlan();
    out << ",\n  \"session\": {\n    \"pinned\": " << (plan.pinned ? "true" : "false");
    if (plan.pinned)
        out << ", \"client_cpu\": " << plan.client << ", \"server_cpu\": " << plan.server;
    out << ",\n    \"rows\": [";
    bool firstRow = true;
    for (const std::string& row : rowOrder) {
        for (const std::string& impl : implOrder) {
            const Figures* f = find(row, impl);
            if (f == nullptr) continue;
            out << (firstRow ? "\n" : ",\n") << "      {\"row\": \"" << row
                << "\", \"implementation\": \"" << impl << "\"";
            if (!f->rate.empty()) {
                out << ", \"frames_per_second\": " << number(median(f->rate))
                    << ", \"bytes_per_second\": " << number(median(f->byteRate));
            } else {
                out << ", \"p50_ns\": " << number(median(f->p50))
                    << ", \"p99_ns\": " << number(median(f->p99));
            }
            out << ", \"allocs\": " << number(median(f->allocs))
                << ", \"bytes\": " << number(f->bytes) << "}";
            firstRow = false;
        }
    }
    out << "\n    ],\n    \"goals\": [";
    bool firstGoal = true;
    for (const Goal& g : GOALS) {
        const double v = goalValue(g);
        out << (firstGoal ? "\n" : ",\n") << "      {\"goal\": \"" << g.what << "\", \""
            << (g.atMost ? "at_most" : "at_least") << "\": " << number(g.target)
            << ", \"ratio\": " << (v < 0 ? "null" : number(v)) << ", \"met\": "
            << (v < 0       ? "null"
                : met(g, v) ? "true"
                            : "false")
            << "}";
        firstGoal = false;
    }
    out << "\n    ]\n  }";
}

// --- Registration -------------------------------------------------------------------------------

void addSessionRow(const std::string& row, const std::string& impl,
                   std::function<void(benchmark::State&)> fn) {
    remember(rowOrder, row);
    remember(implOrder, impl);
    // A row that failed once is not run again: its later repetitions would each wait out the
    // deadline that the first one missed.
    auto failed = std::make_shared<bool>(false);
    benchmark::RegisterBenchmark(("SESSION/" + row + "/" + impl).c_str(),
                                 [fn, failed](benchmark::State& st) {
                                     if (*failed) {
                                         for (auto _ : st) {
                                             st.SkipWithError("an earlier run of the row failed");
                                         }
                                         return;
                                     }
                                     fn(st);
                                     *failed = st.error_occurred();
                                 })
        ->Iterations(1)
        ->UseManualTime();
}

void atSessionsEnd(std::function<void()> fn) { endings.push_back(std::move(fn)); }

void endSessions() {
    for (const auto& fn : endings) fn();
    endings.clear();
}

void registerSessions(bool quick) {
    sizes = quick ? QUICK_SIZES : FULL_SIZES;
    registerZuravSessions();
    registerRawSessions();
#if ZURAV_BENCH_QUICKFIX
    registerFixSessions();
#endif
}

}  // namespace Bench
