#pragma once

// How the benchmark sources register their rows and report per-operation figures. C++14.
//
// A benchmark is named "<shape>/<operation>/<implementation>"; the implementation "zurav" is
// the library, every other one a peer, and the table pairs each peer's benchmark with the
// library's benchmark of the same shape and operation. Each benchmark sets three counters:
//   msgs    messages per iteration (times are reported per message)
//   bytes   bytes on the wire per message
//   allocs  heap allocations per message, counted by the replaced global operator new

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Bench {

constexpr char OURS[] = "zurav";

// Heap allocations made so far by the calling thread through operator new.
uint64_t allocations();

// The median of v (0 for none), and the value below which the fraction p of v lies (v not
// empty; reorders v).
double median(std::vector<double> v);
double percentile(std::vector<double>& v, double p);

// Registers shape/operation/implementation. The table lists shapes, operations and peers in the
// order in which they are first registered.
void add(const std::string& shape, const std::string& operation, const std::string& impl,
         std::function<void(benchmark::State&)> fn);

// Sets the counters at the end of a benchmark whose loop started with allocs0 = allocations().
void setCounters(benchmark::State& st, uint64_t allocs0, double bytesPerMsg,
                 double msgsPerIter = 1);

// Messages in the STREAM shape: as many as the library's frames fill Stream::BYTES with. The
// peers' streams hold the same messages. Valid once registerZurav() has run.
size_t streamMessages();

// Stops the program: an encoder's output did not decode to the values it was given.
[[noreturn]] void verifyFailed(const std::string& what);

// Each source verifies its encoders once and registers its benchmarks.
void registerZurav();
void registerNumbers();
// Peers, built when their packages are installed (ZURAV_BENCH_PROTOBUF, ZURAV_BENCH_QUICKFIX).
void registerProtobuf();
void registerQuickFix();

// The logging rows (LogBench.h): the library's logging layer and, when built (ZURAV_BENCH_SPDLOG),
// spdlog. quick: fewer calls and entries per run. registerLogging() must run on the thread that
// runs the benchmarks, which becomes the library's initialising thread.
void registerLogging(bool quick);
void registerSpdlog(bool quick);

}  // namespace Bench
