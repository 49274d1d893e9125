#pragma once

// The test server's own framing, written apart from the client's so that each side checks the
// other's bytes. A frame, little-endian, packed:
//
//   offset  size          field   meaning
//   0       2             length  uint16: the bytes after this field, 10 + body size
//   2       2             id      uint16: the message type id
//   4       8             nsecs   int64: the sender's time, nanoseconds since the epoch
//   12      length - 10   body    the message's fields in the API model's encoding
//
// A peer accepts lengths from 10 to 32768, so a body holds at most 32758 bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "api/OXMessage.h"

namespace test_support {

constexpr size_t FRAME_HEADER_SIZE = 12;
constexpr uint16_t FRAME_LENGTH_OVERHEAD = 10;
constexpr uint16_t MIN_FRAME_LENGTH = 10;
constexpr uint16_t MAX_FRAME_LENGTH = 32768;
constexpr size_t MAX_BODY_SIZE = MAX_FRAME_LENGTH - FRAME_LENGTH_OVERHEAD;
// A type id that no API message has.
constexpr uint16_t UNKNOWN_MESSAGE_ID = 0x7777;

struct FrameHeader {
    uint16_t length = 0;
    uint16_t id = 0;
    int64_t nsecs = 0;
};

// The 12 header bytes of h.
std::string headerBytes(const FrameHeader& h);
// The header in the 12 bytes at p.
FrameHeader parseHeader(const char* p);

// The body of msg in the API model's encoding. A body over MAX_BODY_SIZE raises
// Tarvik::EncodeError: no frame could carry it.
std::string encodeBody(const ZURAV::OXMessage& msg);
// The frame of msg: length 10 + body, msg's type id, nsecs.
std::string frameOf(const ZURAV::OXMessage& msg, int64_t nsecs);

// Frames that a peer must refuse, each the bytes of one frame and nothing after it.
enum class Malformed {
    LENGTH_9,        // a lone header with length 9
    LENGTH_32769,    // a lone header with length 32769
    UNKNOWN_ID,      // id UNKNOWN_MESSAGE_ID, body one zero byte
    EMPTY_BODY,      // an ImHereMessage header with length 10
    TRUNCATED_BODY,  // an ImHereMessage frame without the last byte of its body
    TRAILING_BYTES,  // an ImHereMessage frame with one zero byte after its fields, counted in
                     // length
};
std::string malformedFrame(Malformed kind, int64_t nsecs);
const char* toString(Malformed kind);

}  // namespace test_support
