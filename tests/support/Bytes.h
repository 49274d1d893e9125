#pragma once

// Byte-string helpers for golden tests: "0f 00 13" <-> bytes.

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace test_support {

using Bytes = std::vector<unsigned char>;

// Lower-case hex, bytes separated by one space.
inline std::string hex(const Bytes& bytes) {
    std::string out;
    char part[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(part, sizeof part, i == 0 ? "%02x" : " %02x", bytes[i]);
        out += part;
    }
    return out;
}

inline std::string hex(const std::vector<char>& bytes) {
    return hex(Bytes(bytes.begin(), bytes.end()));
}

// Parses whitespace-separated hex bytes.
inline Bytes unhex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    for (std::string b; in >> b;)
        out.push_back(static_cast<unsigned char>(std::stoul(b, nullptr, 16)));
    return out;
}

}  // namespace test_support
