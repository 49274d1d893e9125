#pragma once

// Encode and decode through FastCodec for golden and round-trip tests.

#include <functional>
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

}  // namespace test_support
