#pragma once

// Encode and decode through FastCodec for golden and round-trip tests.

#include <gtest/gtest.h>

#include <functional>
#include <type_traits>
#include <vector>

#include "framework/FastCodec.h"
#include "support/Bytes.h"

namespace test_support {

// Encodes with fn into a generous buffer and returns exactly the bytes written.
inline Bytes encode(const std::function<void(Tarvik::FastCodec&)>& fn) {
    std::vector<char> buf(1 << 17);
    Tarvik::FastCodec c(buf.data(), buf.data() + buf.size());
    fn(c);
    return Bytes(buf.begin(), buf.begin() + static_cast<long>(c.size()));
}

// Decodes with fn from a heap copy of exactly these bytes, so that ASan sees any read past
// their end; returns the number of bytes consumed.
inline size_t decode(const Bytes& bytes, const std::function<void(Tarvik::FastCodec&)>& fn) {
    std::vector<char> in(bytes.begin(), bytes.end());
    Tarvik::FastCodec c(in.data(), in.data() + in.size());
    fn(c);
    return c.size();
}

// Decodes with fn as decode does and expects every byte consumed, no more and no less; returns
// what fn returns (which must then be default-constructible).
template <typename Fn>
auto decodeAll(const Bytes& bytes, Fn fn) {
    if constexpr (std::is_void_v<std::invoke_result_t<Fn&, Tarvik::FastCodec&>>) {
        EXPECT_EQ(decode(bytes, fn), bytes.size()) << "bytes consumed";
    } else {
        std::invoke_result_t<Fn&, Tarvik::FastCodec&> value{};
        EXPECT_EQ(decode(bytes, [&](Tarvik::FastCodec& c) { value = fn(c); }), bytes.size())
            << "bytes consumed";
        return value;
    }
}

}  // namespace test_support
