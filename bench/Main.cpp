// zurav_bench: the library's message codec and number text side by side with protobuf, QuickFIX
// and the C and C++ libraries, its logging beside spdlog, and its client session over loopback
// beside raw TCP and a QuickFIX session, in one process. Prints the codec table, the library's
// time per message beside each peer's and the ratio peer / library, then its goals; then the
// logging table (LogBench.h) and its goals; then the session tables (SessionBench.h) and their
// goals; --json FILE writes the same as JSON.
//
// Every implementation's benchmarks run interleaved with the others' (Google Benchmark's random
// interleaving), several repetitions each; each figure is the median of the repetitions.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "LogBench.h"
#include "Registry.h"
#include "SessionBench.h"

namespace Bench {

namespace {

struct Options {
    bool quick = false;
    std::string json;
    std::vector<std::string> benchmarkArgs;
};

// Repetitions and minimum time per repetition (seconds).
constexpr int FULL_REPETITIONS = 9;
constexpr double FULL_MIN_TIME = 0.1;
constexpr int QUICK_REPETITIONS = 3;
constexpr double QUICK_MIN_TIME = 0.005;

// The shapes, operations and peers given to add(), each in the order of its first
// registration: the table's order. "decode" and "roundtrip" read into a message object that is
// reused, as the peers' fastest forms do; "decode-new" and "roundtrip-new" make a new message per
// frame with decodeMessage, as the client session does, and have no peer row.
std::vector<std::string> shapes, operations, peers;

void remember(std::vector<std::string>& names, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

std::string nameOf(const std::string& shape, const std::string& op, const std::string& impl) {
    return shape + "/" + op + "/" + impl;
}

// Medians of one benchmark's repetitions.
struct Figures {
    std::vector<double> nsPerMsg;
    std::vector<double> allocsPerMsg;
    double bytes = 0;

    double ns() const { return median(nsPerMsg); }
    double allocs() const { return median(allocsPerMsg); }
};

std::map<std::string, Figures> results;

// Collects the repetitions; prints a dot per finished run so that a long run shows progress.
class Collector : public benchmark::BenchmarkReporter {
  public:
    bool ReportContext(const Context& context) override {
        _cpus = context.cpu_info.num_cpus;
        _mhz = context.cpu_info.cycles_per_second / 1e6;
        _scaling = context.cpu_info.scaling == benchmark::CPUInfo::ENABLED;
        return true;
    }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) {
                if (run.error_occurred)
                    std::cerr << "\n" << run.benchmark_name() << ": " << run.error_message << "\n";
                continue;
            }
            std::cerr << '.' << std::flush;
            if (isLogRun(run.run_name.function_name)) {
                recordLogRun(run.run_name.function_name, run.counters);
                continue;
            }
            if (isSessionRun(run.run_name.function_name)) {
                recordSessionRun(run.run_name.function_name, run.counters);
                continue;
            }
            const double msgs = run.counters.at("msgs").value;
            const double perIteration =
                run.real_accumulated_time / static_cast<double>(run.iterations);
            Figures& f = results[run.run_name.function_name];
            f.nsPerMsg.push_back(perIteration * 1e9 / msgs);
            f.allocsPerMsg.push_back(run.counters.at("allocs").value);
            f.bytes = run.counters.at("bytes").value;
        }
    }
    void Finalize() override { std::cerr << "\n"; }

    int cpus() const { return _cpus; }
    double mhz() const { return _mhz; }
    bool scaling() const { return _scaling; }

  private:
    int _cpus = 0;
    double _mhz = 0;
    bool _scaling = false;
};

struct Row {
    std::string shape, op, peer;
    const Figures* ours;
    const Figures* theirs;  // null when no peer measured this shape and operation
    double ratio() const { return theirs->ns() / ours->ns(); }
};

std::vector<Row> tableRows() {
    std::vector<Row> rows;
    for (const std::string& shape : shapes) {
        for (const std::string& op : operations) {
            const auto ours = results.find(nameOf(shape, op, OURS));
            if (ours == results.end()) continue;
            bool paired = false;
            for (const std::string& peer : peers) {
                const auto theirs = results.find(nameOf(shape, op, peer));
                if (theirs == results.end()) continue;
                rows.push_back({shape, op, peer, &ours->second, &theirs->second});
                paired = true;
            }
            if (!paired) rows.push_back({shape, op, "-", &ours->second, nullptr});
        }
    }
    return rows;
}

struct Goal {
    const char* what;
    std::string shape, op, peer;  // peer: every implementation whose name starts so counts
    double target;
};

const std::vector<Goal> GOALS = {
    {"ORDER round trip vs protobuf", "ORDER", "roundtrip", "protobuf", 3},
    {"ORDER round trip vs QuickFIX", "ORDER", "roundtrip", "quickfix", 20},
    {"MD10 decode vs protobuf", "MD10", "decode", "protobuf", 3},
    {"STREAM throughput vs protobuf", "STREAM", "decode", "protobuf", 2.5},
    {"OXFloat to text vs snprintf", "DECIMAL", "to-text", "snprintf", 5},
    {"OXFloat from text vs strtod", "DECIMAL", "from-text", "strtod", 5},
};

// The smallest ratio over the goal's peer variants (against the peer's fastest form); < 0 when
// not measured.
double goalRatio(const Goal& g, const std::vector<Row>& rows) {
    double best = -1;
    for (const Row& r : rows) {
        if (r.shape != g.shape || r.op != g.op || r.theirs == nullptr) continue;
        if (r.peer.compare(0, g.peer.size(), g.peer) != 0) continue;
        if (best < 0 || r.ratio() < best) best = r.ratio();
    }
    return best;
}

std::string fmt(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string nanos(double ns) { return fmt(ns < 10 ? "%.2f" : ns < 1000 ? "%.1f" : "%.0f", ns); }

void printTable(const std::vector<Row>& rows, const Collector& c, const Options& o) {
    std::printf("zurav benchmarks%s: %d CPUs at %.0f MHz%s; %s interleaved repetitions\n\n",
                o.quick ? " (quick)" : "", c.cpus(), c.mhz(),
                c.scaling() ? " (CPU frequency scaling on: figures vary)" : "",
                o.quick ? std::to_string(QUICK_REPETITIONS).c_str()
                        : std::to_string(FULL_REPETITIONS).c_str());
    std::printf("%-18s %-14s %9s %9s %9s %7s %7s %7s %7s\n", "operation", "peer", "ours ns",
                "peer ns", "peer/ours", "ours B", "peer B", "ours A", "peer A");
    std::string last;
    for (const Row& r : rows) {
        const std::string op = r.shape + " " + r.op;
        if (!last.empty() && r.shape != last) std::printf("\n");
        last = r.shape;
        if (r.theirs == nullptr) {
            std::printf("%-18s %-14s %9s %9s %9s %7.0f %7s %7.2f %7s\n", op.c_str(), "-",
                        nanos(r.ours->ns()).c_str(), "-", "-", r.ours->bytes, "-", r.ours->allocs(),
                        "-");
            continue;
        }
        std::printf("%-18s %-14s %9s %9s %8.2fx %7.0f %7.0f %7.2f %7.2f\n", op.c_str(),
                    r.peer.c_str(), nanos(r.ours->ns()).c_str(), nanos(r.theirs->ns()).c_str(),
                    r.ratio(), r.ours->bytes, r.theirs->bytes, r.ours->allocs(),
                    r.theirs->allocs());
    }
    std::printf(
        "\nns: time per message (DECIMAL, INTEGER: per conversion); B: bytes on the wire per "
        "message, the\nlibrary's with its 12-byte frame header (DECIMAL, INTEGER: text length); "
        "A: heap allocations per\nmessage. Every figure is the median of the repetitions.\n\n");
    std::printf("Goals (ratio against the peer's fastest form):\n");
    for (const Goal& g : GOALS) {
        const double ratio = goalRatio(g, rows);
        if (ratio < 0) {
            std::printf("  %-32s >= %4.1fx   not measured\n", g.what, g.target);
        } else {
            std::printf("  %-32s >= %4.1fx   %6.2fx  %s\n", g.what, g.target, ratio,
                        ratio >= g.target ? "met" : "MISSED");
        }
    }
}

std::string jsonNumber(double v) { return fmt("%.6g", v); }

void writeJson(const std::string& path, const std::vector<Row>& rows, const Collector& c,
               const Options& o) {
    std::ofstream out(path);
    out << "{\n  \"quick\": " << (o.quick ? "true" : "false")
        << ",\n  \"repetitions\": " << (o.quick ? QUICK_REPETITIONS : FULL_REPETITIONS)
        << ",\n  \"cpus\": " << c.cpus() << ",\n  \"mhz\": " << jsonNumber(c.mhz())
        << ",\n  \"rows\": [";
    for (size_t k = 0; k < rows.size(); ++k) {
        const Row& r = rows[k];
        out << (k == 0 ? "\n" : ",\n") << "    {\"shape\": \"" << r.shape << "\", \"operation\": \""
            << r.op << "\", \"peer\": ";
        if (r.theirs == nullptr) {
            out << "null";
        } else {
            out << "\"" << r.peer << "\"";
        }
        out << ", \"ours_ns\": " << jsonNumber(r.ours->ns())
            << ", \"ours_bytes\": " << jsonNumber(r.ours->bytes)
            << ", \"ours_allocs\": " << jsonNumber(r.ours->allocs());
        if (r.theirs != nullptr) {
            out << ", \"peer_ns\": " << jsonNumber(r.theirs->ns())
                << ", \"peer_bytes\": " << jsonNumber(r.theirs->bytes)
                << ", \"peer_allocs\": " << jsonNumber(r.theirs->allocs())
                << ", \"ratio\": " << jsonNumber(r.ratio());
        }
        out << "}";
    }
    out << "\n  ],\n  \"goals\": [";
    for (size_t k = 0; k < GOALS.size(); ++k) {
        const Goal& g = GOALS[k];
        const double ratio = goalRatio(g, rows);
        out << (k == 0 ? "\n" : ",\n") << "    {\"goal\": \"" << g.what
            << "\", \"target\": " << jsonNumber(g.target)
            << ", \"ratio\": " << (ratio < 0 ? "null" : jsonNumber(ratio)) << ", \"met\": "
            << (ratio < 0           ? "null"
                : ratio >= g.target ? "true"
                                    : "false")
            << "}";
    }
    out << "\n  ]";
    writeLogJson(out);
    writeSessionJson(out);
    out << "\n}\n";
    if (!out) {
        std::cerr << "zurav_bench: cannot write " << path << "\n";
        std::exit(1);
    }
}

void usage() {
    std::cout << "usage: zurav_bench [--quick] [--json FILE] [Google Benchmark flags]\n"
                 "  --quick      few and short repetitions (a check that everything runs)\n"
                 "  --json FILE  also write the table and the goals as JSON to FILE\n"
                 "Flags such as --benchmark_filter=ORDER pass to Google Benchmark.\n";
}

Options parse(int argc, char** argv) {
    Options o;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        if (a == "--quick") {
            o.quick = true;
        } else if (a == "--json" && k + 1 < argc) {
            o.json = argv[++k];
        } else if (a.compare(0, 7, "--json=") == 0) {
            o.json = a.substr(7);
        } else if (a == "--help" || a == "-h") {
            usage();
            std::exit(0);
        } else {
            o.benchmarkArgs.push_back(a);
        }
    }
    return o;
}

}  // namespace

void add(const std::string& shape, const std::string& operation, const std::string& impl,
         std::function<void(benchmark::State&)> fn) {
    remember(shapes, shape);
    remember(operations, operation);
    if (impl != OURS) remember(peers, impl);
    benchmark::RegisterBenchmark(nameOf(shape, operation, impl).c_str(), std::move(fn));
}

void setCounters(benchmark::State& st, uint64_t allocs0, double bytesPerMsg, double msgsPerIter) {
    const double messages = static_cast<double>(st.iterations()) * msgsPerIter;
    st.counters["msgs"] = msgsPerIter;
    st.counters["bytes"] = bytesPerMsg;
    st.counters["allocs"] = static_cast<double>(allocations() - allocs0) / messages;
}

void verifyFailed(const std::string& what) {
    std::cerr << "zurav_bench: encoder output check failed: " << what << "\n";
    std::exit(1);
}

}  // namespace Bench

int main(int argc, char** argv) {
    using namespace Bench;
    const Options o = parse(argc, argv);

    std::vector<std::string> args = {
        argv[0],
        "--benchmark_enable_random_interleaving=true",
        "--benchmark_repetitions=" + std::to_string(o.quick ? QUICK_REPETITIONS : FULL_REPETITIONS),
        "--benchmark_min_time=" + fmt("%g", o.quick ? QUICK_MIN_TIME : FULL_MIN_TIME),
    };
    args.insert(args.end(), o.benchmarkArgs.begin(), o.benchmarkArgs.end());
    std::vector<char*> cargs;
    for (std::string& a : args) cargs.push_back(&a[0]);
    int cargc = static_cast<int>(cargs.size());
    benchmark::Initialize(&cargc, cargs.data());
    if (benchmark::ReportUnrecognizedArguments(cargc, cargs.data())) return 2;

    std::cerr << "checking every encoder's output\n";
    registerZurav();
    registerNumbers();
#if ZURAV_BENCH_PROTOBUF
    registerProtobuf();
#else
    std::cerr << "protobuf: not in this build (libprotobuf-dev and protobuf-compiler were not "
                 "found); its rows are skipped\n";
#endif
#if ZURAV_BENCH_QUICKFIX
    registerQuickFix();
#else
    std::cerr << "QuickFIX: not in this build (libquickfix-dev was not found); its rows are "
                 "skipped\n";
#endif
    registerLogging(o.quick);
#if ZURAV_BENCH_SPDLOG
    registerSpdlog(o.quick);
#else
    std::cerr << "spdlog: not in this build (libspdlog-dev was not found); its rows are skipped\n";
#endif
    registerSessions(o.quick);

    Collector collector;
    std::cerr << "running the benchmarks, interleaved\n";
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    endSessions();

    const std::vector<Row> rows = tableRows();
    printTable(rows, collector, o);
    printLogTable();
    printSessionTable();
    if (!o.json.empty()) {
        writeJson(o.json, rows, collector, o);
        std::cout << "\nJSON written to " << o.json << "\n";
    }
    return 0;
}
