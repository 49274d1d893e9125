// Fuzz target of the API message decoder.
//
// Input: the type id in the first two bytes (big-endian), then the body of one frame. Whatever
// the bytes, decoding must stay inside them. A body that decodes is encoded again; decoding that
// encoding must give an equal message, and encoding it once more the same bytes. The text dump of
// every decoded message is written too, as the client does for messages nobody handles.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "api/APIAll.h"
#include "apitest/FieldVisit.h"

using namespace ZURAV;

namespace {

void require(bool condition, const char* what, MsgType_t id) {
    if (condition) return;
    std::fprintf(stderr, "api_decode_fuzzer: %s (type id 0x%04X)\n", what, id);
    std::abort();
}

// A decoded message of n body bytes encodes to at most 10 bytes per body byte: a compact
// decimal of one byte can stand for a value whose plain encoding takes ten.
std::string encode(const OXMessage& msg, size_t bodySize) {
    std::vector<char> buf(16 + 10 * bodySize);
    const size_t n = OXMessage::encodeMessage(msg, buf.data(), buf.size());
    return std::string(buf.data(), n);
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

    std::ostringstream text;
    text << *first;
    require(text.str().size() > 2, "an empty text dump", id);

    const std::string once = encode(*first, bodySize);
    const ShpOXMessage second = OXMessage::decodeMessage(id, once.data(), once.size());
    require(second != nullptr, "its own encoding does not decode", id);
    require(equal<ZURAV_API_MESSAGE_TYPES>(*first, *second), "decoded again, not equal", id);
    require(encode(*second, once.size()) == once, "encoded again, other bytes", id);
    return 0;
}
