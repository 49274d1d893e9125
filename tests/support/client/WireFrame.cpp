#include "support/client/WireFrame.h"

#include <vector>

#include "api/ImHereMessage.h"

namespace test_support {

std::string headerBytes(const FrameHeader& h) {
    std::string out(FRAME_HEADER_SIZE, '\0');
    out[0] = static_cast<char>(h.length & 0xff);
    out[1] = static_cast<char>(h.length >> 8);
    out[2] = static_cast<char>(h.id & 0xff);
    out[3] = static_cast<char>(h.id >> 8);
    const uint64_t nsecs = static_cast<uint64_t>(h.nsecs);
    for (int i = 0; i < 8; ++i) out[4 + i] = static_cast<char>(nsecs >> (8 * i) & 0xff);
    return out;
}

FrameHeader parseHeader(const char* p) {
    const auto byte = [p](int i) {
        return static_cast<uint64_t>(static_cast<unsigned char>(p[i]));
    };
    FrameHeader h;
    h.length = static_cast<uint16_t>(byte(0) | byte(1) << 8);
    h.id = static_cast<uint16_t>(byte(2) | byte(3) << 8);
    uint64_t nsecs = 0;
    for (int i = 0; i < 8; ++i) nsecs |= byte(4 + i) << (8 * i);
    h.nsecs = static_cast<int64_t>(nsecs);
    return h;
}

std::string encodeBody(const ZURAV::OXMessage& msg) {
    // One scratch area per thread: the encoder never writes past MAX_BODY_SIZE.
    thread_local std::vector<char> scratch(MAX_BODY_SIZE);
    const size_t n = ZURAV::OXMessage::encodeMessage(msg, scratch.data(), scratch.size());
    return std::string(scratch.data(), n);
}

std::string frameOf(const ZURAV::OXMessage& msg, int64_t nsecs) {
    const std::string body = encodeBody(msg);
    FrameHeader h;
    h.length = static_cast<uint16_t>(body.size() + FRAME_LENGTH_OVERHEAD);
    h.id = msg.getMsgType();
    h.nsecs = nsecs;
    return headerBytes(h) + body;
}

std::string malformedFrame(Malformed kind, int64_t nsecs) {
    ZURAV::ImHereMessage basis;
    basis.dpdSeqNo = 1;
    basis.timeApiClient = nsecs;
    basis.timeApiServer = nsecs;
    std::string body = encodeBody(basis);
    FrameHeader h{0, ZURAV::ImHereMessage::ID, nsecs};
    switch (kind) {
        case Malformed::LENGTH_9:
            h.length = MIN_FRAME_LENGTH - 1;
            return headerBytes(h);
        case Malformed::LENGTH_32769:
            h.length = MAX_FRAME_LENGTH + 1;
            return headerBytes(h);
        case Malformed::UNKNOWN_ID:
            h.id = UNKNOWN_MESSAGE_ID;
            body.assign(1, '\0');
            break;
        case Malformed::EMPTY_BODY:
            body.clear();
            break;
        case Malformed::TRUNCATED_BODY:
            body.pop_back();
            break;
        case Malformed::TRAILING_BYTES:
            body.push_back('\0');
            break;
    }
    h.length = static_cast<uint16_t>(body.size() + FRAME_LENGTH_OVERHEAD);
    return headerBytes(h) + body;
}

const char* toString(Malformed kind) {
    switch (kind) {
        case Malformed::LENGTH_9:
            return "LENGTH_9";
        case Malformed::LENGTH_32769:
            return "LENGTH_32769";
        case Malformed::UNKNOWN_ID:
            return "UNKNOWN_ID";
        case Malformed::EMPTY_BODY:
            return "EMPTY_BODY";
        case Malformed::TRUNCATED_BODY:
            return "TRUNCATED_BODY";
        case Malformed::TRAILING_BYTES:
            return "TRAILING_BYTES";
    }
    return "?";
}

}  // namespace test_support
