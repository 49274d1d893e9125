// Number text: OXFloat to and from decimal text against the C library and <charconv> on
// doubles, and the common layer's integer writer against std::to_chars and snprintf. Each
// iteration converts the next of 256 values (prices of two magnitudes, amounts, small and
// negative values), the same values for every implementation.

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Registry.h"
#include "Shapes.h"
#include "api/OXFloat.h"
#include "common/Util.h"

namespace Bench {
namespace {

constexpr size_t COUNT = 256;
constexpr size_t MASK = COUNT - 1;
constexpr size_t TEXT_ROOM = 32;

// Raw fixed-point values (billionths).
std::vector<int64_t> decimals() {
    std::vector<int64_t> v;
    for (size_t k = 0; k < COUNT; ++k) {
        const int64_t n = static_cast<int64_t>(k);
        switch (k % 8) {
            case 0:
            case 4:
                v.push_back(1087650000 + n * 130000);  // 1.08765 and up, five decimals
                break;
            case 1:
            case 5:
                v.push_back(145321000000 + n * 7000000);  // 145.321 and up, three decimals
                break;
            case 2:
            case 6:
                v.push_back((n + 1) * 250000 * E9);  // whole amounts
                break;
            case 3:
                v.push_back(120000 * (n + 1));  // 0.00012 and up
                break;
            default:
                v.push_back(-(1234567800000 + n * E9));  // -1234.5678 and down
                break;
        }
    }
    return v;
}

// The text of OXFloat::toString and of "%.9f": the integer part and exactly nine decimals.
std::string nineDecimals(int64_t raw) {
    const uint64_t m = raw < 0 ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
    return (raw < 0 ? "-" : "") + std::to_string(m / E9) + "." +
           std::to_string(m % E9 + E9).substr(1);
}

// The shortest decimal text of a raw value: no trailing zeros, no point for whole amounts.
std::string shortText(int64_t raw) {
    std::string s = nineDecimals(raw);
    s.erase(s.find_last_not_of('0') + 1);  // stops at the point at the latest
    if (s.back() == '.') s.pop_back();
    return s;
}

std::vector<int64_t> integers() {
    std::vector<int64_t> v;
    for (size_t k = 0; k < COUNT; ++k) {
        const int64_t n = static_cast<int64_t>(k);
        switch (k % 4) {
            case 0:
                v.push_back(1718100000123456789 + n * 7919);  // time stamps
                break;
            case 1:
                v.push_back((int64_t{12345} << 40) | n);  // order ids
                break;
            case 2:
                v.push_back(n);
                break;
            default:
                v.push_back(-(n * 1000 + 17));
                break;
        }
    }
    return v;
}

double averageLength(const std::vector<std::string>& texts) {
    size_t total = 0;
    for (const std::string& t : texts) total += t.size();
    return static_cast<double>(total) / static_cast<double>(texts.size());
}

// Registers one conversion over the COUNT inputs; convert(k, buf) converts input k.
template <class F>
void addConversion(const std::string& shape, const std::string& op, const std::string& impl,
                   double bytes, F convert) {
    add(shape, op, impl, [convert, bytes](benchmark::State& st) {
        char buf[TEXT_ROOM];
        size_t k = 0;
        const uint64_t allocs0 = allocations();
        for (auto _ : st) {
            benchmark::DoNotOptimize(convert(k, buf));
            benchmark::ClobberMemory();
            k = (k + 1) & MASK;
        }
        setCounters(st, allocs0, bytes);
    });
}

}  // namespace

void registerNumbers() {
    const std::vector<int64_t> raws = decimals();
    std::vector<double> doubles;
    std::vector<std::string> texts;
    std::vector<std::string> printed;
    for (int64_t raw : raws) {
        doubles.push_back(static_cast<double>(raw) / 1e9);
        texts.push_back(shortText(raw));
        printed.push_back(nineDecimals(raw));
    }
    const std::vector<int64_t> ints = integers();
    std::vector<std::string> intTexts;
    for (int64_t v : ints) intTexts.push_back(std::to_string(v));

    for (size_t k = 0; k < COUNT; ++k) {
        char buf[TEXT_ROOM];
        const std::string at = " (value " + std::to_string(k) + ")";
        const size_t n = ZURAV::OXFloat(raws[k]).toString(buf);
        if (std::string(buf, n) != printed[k]) verifyFailed("OXFloat::toString" + at);
        std::snprintf(buf, sizeof buf, "%.9f", doubles[k]);
        if (buf != printed[k]) verifyFailed("snprintf %.9f" + at);
        if (ZURAV::OXFloat(texts[k].c_str()).toInt() != raws[k]) verifyFailed("OXFloat(text)" + at);
        double d = 0;
        std::from_chars(texts[k].data(), texts[k].data() + texts[k].size(), d);
        if (d != std::strtod(texts[k].c_str(), nullptr) || d != doubles[k]) {
            verifyFailed("strtod / from_chars" + at);
        }
        const int len = Orbanex::Util::lltoa(ints[k], buf, 10);
        if (std::string(buf, static_cast<size_t>(len)) != intTexts[k]) {
            verifyFailed("Util::lltoa" + at);
        }
    }

    const double printedBytes = averageLength(printed);
    addConversion("DECIMAL", "to-text", OURS, printedBytes,
                  [raws](size_t k, char* buf) { return ZURAV::OXFloat(raws[k]).toString(buf); });
    addConversion("DECIMAL", "to-text", "snprintf", printedBytes, [doubles](size_t k, char* buf) {
        return std::snprintf(buf, TEXT_ROOM, "%.9f", doubles[k]);
    });
    addConversion("DECIMAL", "to-text", "to_chars", printedBytes, [doubles](size_t k, char* buf) {
        return std::to_chars(buf, buf + TEXT_ROOM, doubles[k], std::chars_format::fixed, 9).ptr;
    });

    const double textBytes = averageLength(texts);
    addConversion("DECIMAL", "from-text", OURS, textBytes,
                  [texts](size_t k, char*) { return ZURAV::OXFloat(texts[k].c_str()).toInt(); });
    addConversion("DECIMAL", "from-text", "strtod", textBytes,
                  [texts](size_t k, char*) { return std::strtod(texts[k].c_str(), nullptr); });
    addConversion("DECIMAL", "from-text", "from_chars", textBytes, [texts](size_t k, char*) {
        double d;
        std::from_chars(texts[k].data(), texts[k].data() + texts[k].size(), d);
        return d;
    });

    const double intBytes = averageLength(intTexts);
    addConversion("INTEGER", "to-text", OURS, intBytes,
                  [ints](size_t k, char* buf) { return Orbanex::Util::lltoa(ints[k], buf, 10); });
    addConversion("INTEGER", "to-text", "to_chars", intBytes, [ints](size_t k, char* buf) {
        return std::to_chars(buf, buf + TEXT_ROOM, ints[k]).ptr;
    });
    addConversion("INTEGER", "to-text", "snprintf", intBytes, [ints](size_t k, char* buf) {
        return std::snprintf(buf, TEXT_ROOM, "%lld", static_cast<long long>(ints[k]));
    });
}

}  // namespace Bench
