// Fuzz target of the API message decoder.
//
// Input: the type id in the first two bytes (big-endian), then the body of one frame. Whatever
// the bytes, decoding must stay inside them. A body that decodes is encoded again with
// encodeMessage; decoding that encoding must give an equal message with the same text dump, and
// encoding it once more the same bytes.
//
// The encoding of a decoded body may be longer than the body: a one-byte compact decimal can stand
// for a value whose own encoding takes ten bytes. So encodeMessage must refuse exactly the bodies
// whose encoding, written field by field without a limit, passes what a frame carries, and encode
// every other one to those same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "api/APIAll.h"
#include "apitest/FieldVisit.h"
#include "framework/CodecError.h"
#include "framework/FastCodec.h"
#include "framework/MsgHead.h"

using namespace ZURAV;

namespace {

// The largest body a frame carries.
constexpr size_t MAX_BODY = Tarvik::MsgHead::MAX_BODY;

void require(bool condition, const char* what, MsgType_t id) {
    if (condition) return;
    std::fprintf(stderr, "api_decode_fuzzer: %s (type id 0x%04X)\n", what, id);
    std::abort();
}

// Room for the encoding of a message decoded from n body bytes: at most 10 bytes per body byte
// (see above), and a few for a message without fields.
size_t room(size_t bodySize) { return 16 + 10 * bodySize; }

// The body written field by field, with no limit but the room.
std::string written(const OXMessage& msg, size_t bodySize) {
    std::vector<char> buf(room(bodySize));
    Tarvik::FastCodec codec(buf.data(), buf.data() + buf.size());
    msg.write(&codec);
    return std::string(buf.data(), codec.size());
}

// encodeMessage's body; `refused` tells whether it raised the encoder's error instead.
std::string encoded(const OXMessage& msg, size_t bodySize, bool& refused) {
    std::vector<char> buf(room(bodySize));
    refused = false;
    try {
        return std::string(buf.data(), OXMessage::encodeMessage(msg, buf.data(), buf.size()));
    } catch (const Tarvik::EncodeError&) {
        refused = true;
        return std::string();
    }
}

std::string text(const OXMessage& msg) {
    std::ostringstream os;
    os << msg;
    return os.str();
}

template <class M>
void compareAs(const OXMessage& a, const OXMessage& b, int& matches, bool& same) {
    if (a.getMsgType() != M::ID) return;
    ++matches;
    same = static_cast<const M&>(a) == static_cast<const M&>(b);
}

// Compares two messages of the same type id as their own class.
template <class... M>
bool equal(const OXMessage& a, const OXMessage& b) {
    int matches = 0;
    bool same = false;
    (compareAs<M>(a, b, matches, same), ...);
    require(matches == 1, "not one class for the type id", a.getMsgType());
    return same;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ProtoInit::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const MsgType_t id = static_cast<MsgType_t>(data[0] << 8 | data[1]);
    const char* body = reinterpret_cast<const char*>(data + 2);
    const size_t bodySize = size - 2;

    const ShpOXMessage first = OXMessage::decodeMessage(id, body, bodySize);
    if (!first) return 0;
    require(first->getMsgType() == id, "decoded into another class", id);
    const std::string firstText = text(*first);
    require(firstText.size() > 2, "an empty text dump", id);

    const std::string full = written(*first, bodySize);
    bool refused = false;
    const std::string once = encoded(*first, bodySize, refused);
    if (full.size() > MAX_BODY) {
        require(refused, "a body larger than a frame carries was encoded", id);
        return 0;
    }
    require(!refused, "a body that a frame carries was refused", id);
    require(once == full, "encodeMessage wrote other bytes than the fields", id);

    const ShpOXMessage second = OXMessage::decodeMessage(id, once.data(), once.size());
    require(second != nullptr, "its own encoding does not decode", id);
    require(equal<ZURAV_API_MESSAGE_TYPES>(*first, *second), "decoded again, not equal", id);
    require(text(*second) == firstText, "decoded again, another text", id);
    bool refusedAgain = false;
    require(encoded(*second, once.size(), refusedAgain) == once && !refusedAgain,
            "encoded again, other bytes", id);
    return 0;
}
