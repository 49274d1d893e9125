#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "api/OXMessage.h"
#include "api/ProtoInit.h"
#include "framework/FastCodec.h"
#include "support/ApiSamples.h"
#include "support/Bytes.h"
#include "support/CodecBytes.h"

namespace apitest {

// OXFloat::NA as the text dumps print its raw value.
inline const std::string NA_TEXT = "-9223372036854775805";

// The fixture of every suite that uses the enumeration conversions.
class ApiTest : public ::testing::Test {
  protected:
    void SetUp() override { ZURAV::ProtoInit::initialize(); }
};

// "0a 0e 01" -> the three bytes.
inline std::string bytes(const char* hex) {
    const test_support::Bytes b = test_support::unhex(hex);
    return std::string(b.begin(), b.end());
}

// The bytes as "0a 0e 01", for readable failures.
inline std::string hex(const std::string& s) {
    return test_support::hex(test_support::Bytes(s.begin(), s.end()));
}

template <class T>
std::string encodeRecord(const T& x) {
    const test_support::Bytes b = test_support::encode([&](Tarvik::FastCodec& c) { x.write(&c); });
    return std::string(b.begin(), b.end());
}

inline std::string encode(const ZURAV::OXMessage& msg) {
    std::vector<char> buf(1 << 16);
    const size_t n = ZURAV::OXMessage::encodeMessage(msg, buf.data(), buf.size());
    return std::string(buf.data(), n);
}

// Reads x from exactly the given bytes (a read beyond them is caught by the address sanitizer);
// returns the bytes consumed.
template <class T>
size_t decodeRecord(const std::string& body, T& x) {
    return test_support::decode(test_support::Bytes(body.begin(), body.end()),
                                [&](Tarvik::FastCodec& c) { x.read(&c); });
}

// decodeMessage over a heap copy of exactly the given bytes.
inline ZURAV::ShpOXMessage decode(ZURAV::MsgType_t id, const std::string& body) {
    std::vector<char> buf(body.begin(), body.end());
    return ZURAV::OXMessage::decodeMessage(id, buf.data(), buf.size());
}

// Reads a T from exactly the given bytes; a failure when bytes are left over.
template <class T>
T decoded(const std::string& body) {
    T x;
    EXPECT_EQ(decodeRecord(body, x), body.size());
    return x;
}

// The text of the E that f throws; "no exception" when it returns.
template <class E, class F>
std::string thrown(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "no exception";
}

// The text that operator<< writes.
template <class T>
std::string text(const T& x) {
    std::ostringstream os;
    os << x;
    return os.str();
}

inline std::string spaces(int n) { return std::string(static_cast<size_t>(n), ' '); }

// A line break followed by the indentation of the next field.
inline std::string br(int indent) { return "\n" + spaces(indent); }

}  // namespace apitest
