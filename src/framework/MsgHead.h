#pragma once

#include <sys/types.h>

#include <cstdint>

#include "framework/FastCodec.h"
#include "framework/MsgType.h"

namespace Tarvik {

// The 12-byte frame header in front of every encoded message, on the connection and in binary
// message log files alike. Packed, little-endian, no padding:
//
//   offset  size  field   type      meaning
//   0       2     length  uint16    bytes after this field: 10 + body size
//   2       2     id      uint16    message type id
//   4       8     nsecs   int64     time stamp, nanoseconds since the Unix epoch (UTC)
//
// The body follows at once and is length - 10 bytes; a frame is length + 2 bytes.
#pragma pack(push, 1)
struct MsgHead {
    static constexpr uint16_t SIZE = 12;
    // length counts the id and nsecs fields too.
    static constexpr uint16_t LENGTH_OVERHEAD = 10;
    // The longest body a 16-bit length can describe.
    static constexpr uint16_t MAX_BODY = 0xFFFF - LENGTH_OVERHEAD;

    uint16_t length = 0;
    MsgType_t id = 0;
    int64_t nsecs = 0;

    void write(FastCodec& c) const {
        c.write_uint16_fixed(length);
        c.write_uint16_fixed(id);
        c.write_int64_fixed(nsecs);
    }
    void read(FastCodec& c) {
        length = c.read_uint16_fixed();
        id = c.read_uint16_fixed();
        nsecs = c.read_int64_fixed();
    }

    // Whole seconds of nsecs, truncated toward zero, kept to 32 bits.
    int32_t secs() const { return static_cast<int32_t>(nsecs / 1000000000); }
    // Microseconds within the second, truncated toward zero.
    suseconds_t usecs() const { return static_cast<suseconds_t>(nsecs % 1000000000 / 1000); }
};
#pragma pack(pop)

static_assert(sizeof(MsgHead) == 12, "MsgHead is 12 packed bytes");

}  // namespace Tarvik
