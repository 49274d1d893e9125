#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "api/OXMessage.h"
#include "framework/FastCodec.h"

namespace apitest {

// "0A 0E 01" -> the three bytes.
inline std::string bytes(const char* hex) {
    std::string out;
    for (const char* p = hex; *p != '\0';) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        char pair[3] = {p[0], p[1], '\0'};
        out += static_cast<char>(std::strtol(pair, nullptr, 16));
        p += 2;
    }
    return out;
}

// The bytes as "0A 0E 01", for readable failures.
inline std::string hex(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        char buf[4];
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", c);
        out += buf;
    }
    return out;
}

template <class T>
std::string encodeRecord(const T& x) {
    std::vector<char> buf(1 << 16);
    Tarvik::FastCodec codec(buf.data(), buf.data() + buf.size());
    x.write(&codec);
    return std::string(buf.data(), codec.size());
}

inline std::string encode(const ZURAV::OXMessage& msg) {
    std::vector<char> buf(1 << 16);
    const size_t n = ZURAV::OXMessage::encodeMessage(msg, buf.data(), buf.size());
    return std::string(buf.data(), n);
}

// Reads x from exactly the given bytes (in a buffer of their size, so that a read beyond them
// is caught by the address sanitizer); returns the bytes consumed.
template <class T>
size_t decodeRecord(const std::string& body, T& x) {
    std::vector<char> buf(body.begin(), body.end());
    Tarvik::FastCodec codec(buf.data(), buf.data() + buf.size());
    x.read(&codec);
    return codec.size();
}

// decodeMessage over a heap copy of exactly the given bytes.
inline ZURAV::ShpOXMessage decode(ZURAV::MsgType_t id, const std::string& body) {
    std::vector<char> buf(body.begin(), body.end());
    return ZURAV::OXMessage::decodeMessage(id, buf.data(), buf.size());
}

}  // namespace apitest
