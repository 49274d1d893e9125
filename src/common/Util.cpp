#include "common/Util.h"

#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

namespace Orbanex {

int Util::ndigits(uint32_t n) {
    int count = 0;
    for (; n != 0; n /= 10) ++count;
    return count;
}

uint32_t Util::atoin(const char* s, int ndigits) {
    char* end = nullptr;
    int64_t v = std::strtoll(s, &end, 10);
    int diff = ndigits - static_cast<int>(end - s);
    // Scaling up runs in unsigned arithmetic: the result is cut to 32 bits anyway, and a long
    // text must not make the multiplication undefined. 10^64 is 0 modulo 2^64, hence the stop.
    for (; diff > 0 && v != 0; --diff) v = static_cast<int64_t>(static_cast<uint64_t>(v) * 10u);
    for (; diff < 0 && v != 0; ++diff) v /= 10;
    return static_cast<uint32_t>(v);
}

int64_t Util::parseDecimal(const char* s) {
    while (*s == ' ') ++s;
    const bool negative = *s == '-';
    if (negative) ++s;
    char* end = nullptr;
    const int64_t integ = std::strtoll(s, &end, 10);
    uint32_t frac = 0;
    if (end[0] == '.' && isDigit(end[1])) frac = atoin(end + 1, 9);
    const uint64_t val = static_cast<uint64_t>(integ) * 1000000000u + frac;
    return static_cast<int64_t>(negative ? 0u - val : val);
}

int Util::atoi(const char* s, const char* e) {
    unsigned int value = 0;
    unsigned int weight = 1;
    for (const char* p = e; p >= s && isDigit(*p); --p) {
        value += static_cast<unsigned int>(*p - '0') * weight;
        weight *= 10;
    }
    return static_cast<int>(value);
}

const char* Util::basename(const char* s) {
    for (const char* p = s + std::strlen(s); p > s + 1;) {
        if (*--p == '/') return p + 1;
    }
    return s;
}

void Util::print_backtrace(std::ostream& os) {
    void* frames[10];
    const int n = backtrace(frames, 10);
    char** symbols = backtrace_symbols(frames, n);
    os << "Backtrace: " << std::endl;
    for (int i = 0; symbols != nullptr && i < n; ++i) os << symbols[i] << std::endl;
    std::free(symbols);
}

const char* Util::readFile(const char* filename, size_t& sz) {
    const int fd = ::open(filename, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // A directory opens for reading too, but the end its seek reports is no size to allocate.
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size < 0) return nullptr;
    char* data = new char[static_cast<size_t>(size) + 1];
    size_t got = 0;
    while (got < static_cast<size_t>(size)) {
        const ssize_t n =
            ::pread(fd, data + got, static_cast<size_t>(size) - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    data[got] = '\0';
    sz = got;
    return data;
}

std::string Util::cleanString(const std::string& s, char replacement) {
    std::string out(s);
    for (char& c : out) {
        if (!isDigit(c) && !(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z')) c = replacement;
    }
    return out;
}

bool Util::startswith(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool Util::isDeveloper() { return std::getenv("THIRD_PARTY_JAVA") != nullptr; }

size_t Util::modp_dtoa(double value, char* str, int prec) {
    if (std::isnan(value)) {
        std::memcpy(str, "nan", 4);
        return 3;
    }
    if (prec < 0) prec = 0;
    if (prec > 9) prec = 9;
    const bool negative = value < 0;
    const double magnitude = negative ? -value : value;
    // The whole part must fit an unsigned 64-bit integer (2^64 = 18446744073709551616).
    if (!(magnitude < 18446744073709551616.0)) {
        const int n = std::snprintf(str, 32, "%.*e", prec, value);
        return n < 0 ? 0 : static_cast<size_t>(n);
    }
    const uint64_t whole = static_cast<uint64_t>(magnitude);
    char* p = str;
    if (negative) *p++ = '-';
    p += ulltoa(whole, p, 10);
    if (prec > 0) {
        const uint64_t limit = static_cast<uint64_t>(powers_of_10[prec]);
        uint64_t frac =
            static_cast<uint64_t>((magnitude - static_cast<double>(whole)) * powers_of_10[prec]);
        // The product may round up to 10^prec; the fraction is truncated, never carried.
        if (frac >= limit) frac = limit - 1;
        *p++ = '.';
        p += ulltoa_fixed(frac, p, prec, 10, '0');
    }
    *p = '\0';
    return static_cast<size_t>(p - str);
}

std::ostream& Util::writeText(std::ostream& os, const char* text) {
    if (text == nullptr) {
        os.setstate(std::ios_base::badbit);
        return os;
    }
    return os << text;
}

}  // namespace Orbanex
