#pragma once

// Where a decoder puts the values it reads. Every reader hands each field to a sink, in the
// order of the visit*() functions of Shapes.h:
//   i(v)        an integer, enumeration or bool, as its numeric value
//   t(ns)       a time stamp in nanoseconds; t(secs, nanos) for formats that split it
//   amount(raw) an amount in billionths; amount(double) for formats that carry decimal text
//   s(p, n)     a string
// Fold sums everything into a checksum that the optimiser cannot drop, as cheaply as a value can
// be consumed; Collect keeps the values, so that a decoded message can be compared with the
// reference. C++14, because the QuickFIX readers use it.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Registry.h"

namespace Bench {

class Fold {
  public:
    void i(int64_t v) { _sum += static_cast<uint64_t>(v); }
    void t(int64_t ns) { _sum += static_cast<uint64_t>(ns); }
    void t(int64_t secs, int64_t nanos) {
        _sum += static_cast<uint64_t>(secs * 1000000000 + nanos);
    }
    void amount(int64_t raw) { _sum += static_cast<uint64_t>(raw); }
    void amount(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        _sum += bits;
    }
    void s(const char* p, size_t n) { _sum += n + (n != 0 ? static_cast<unsigned char>(*p) : 0); }
    void s(const std::string& x) { s(x.data(), x.size()); }

    uint64_t sum() const { return _sum; }

  private:
    uint64_t _sum = 0;
};

class Collect {
  public:
    void i(int64_t v) { _values.push_back("i" + std::to_string(v)); }
    void t(int64_t ns) { _values.push_back("t" + std::to_string(ns)); }
    void t(int64_t secs, int64_t nanos) { t(secs * 1000000000 + nanos); }
    void amount(int64_t raw) { _values.push_back("a" + std::to_string(raw)); }
    void amount(double d) { amount(static_cast<int64_t>(std::llround(d * 1e9))); }
    void s(const char* p, size_t n) { _values.push_back("s" + std::string(p, n)); }
    void s(const std::string& x) { s(x.data(), x.size()); }

    const std::vector<std::string>& values() const { return _values; }

  private:
    std::vector<std::string> _values;
};

// The reading that visit (a function taking a Collect&, such as visitOrder<Collect>) makes.
template <class F>
Collect collect(F visit) {
    Collect c;
    visit(c);
    return c;
}

// Empty when both readings agree, else a description of the first difference.
inline std::string compareReadings(const Collect& expected, const Collect& actual) {
    const std::vector<std::string>& e = expected.values();
    const std::vector<std::string>& a = actual.values();
    for (size_t k = 0; k < e.size() || k < a.size(); ++k) {
        const std::string want = k < e.size() ? e[k] : "(nothing)";
        const std::string got = k < a.size() ? a[k] : "(nothing)";
        if (want != got) {
            return "value " + std::to_string(k) + ": expected " + want + ", read " + got;
        }
    }
    return std::string();
}

// Stops the program (verifyFailed) when actual is not the expected reading; what names the
// reading in the message.
inline void checkReading(const std::string& what, const Collect& expected, const Collect& actual) {
    const std::string diff = compareReadings(expected, actual);
    if (!diff.empty()) verifyFailed(what + ": " + diff);
}

}  // namespace Bench
