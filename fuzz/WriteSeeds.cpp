// Writes the seed corpus of api_decode_fuzzer into the directory named on the command line: one
// file per input, the type id in two bytes (big-endian) followed by a message body. The bodies
// are every message as the factory creates it, every worked example of the tests
// (tests/support/ApiSamples.h), two bodies at the frame limit (the largest a frame carries and one
// byte more) and a body within the limit whose own encoding is not.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/APIAll.h"
#include "framework/FastCodec.h"
#include "framework/MsgHead.h"
#include "support/ApiSamples.h"
#include "support/Bytes.h"

using namespace ZURAV;

namespace {

// The largest body a frame carries.
constexpr size_t MAX_BODY = Tarvik::MsgHead::MAX_BODY;

void write(const std::filesystem::path& dir, MsgType_t id, const std::string& name,
           const std::string& body) {
    // Only what decodes is a useful seed; anything else is a fault of the examples.
    if (!OXMessage::decodeMessage(id, body.data(), body.size())) {
        std::fprintf(stderr, "api_fuzz_seeds: the seed %s does not decode\n", name.c_str());
        std::exit(1);
    }
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%04x-", id);
    std::ofstream out(dir / (prefix + name), std::ios::binary);
    out.put(static_cast<char>(id >> 8));
    out.put(static_cast<char>(id & 0xFF));
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    if (!out) {
        std::fprintf(stderr, "api_fuzz_seeds: cannot write into %s\n", dir.c_str());
        std::exit(1);
    }
}

// The body of msg written field by field, whatever its size: encodeMessage refuses a body that no
// frame can carry, and one of the seeds is such a body.
std::string body(const OXMessage& msg) {
    std::vector<char> buf(2 * MAX_BODY);
    Tarvik::FastCodec codec(buf.data(), buf.data() + buf.size());
    msg.write(&codec);
    return std::string(buf.data(), codec.size());
}

// A log line whose description fills the body to `size` bytes: a three-byte string length, the
// text, the level.
InsertLogMessage logOfBodySize(size_t size) {
    InsertLogMessage msg;
    msg.description.assign(size - 4, 'x');
    msg.level = LogLevel::LOGINFO;
    return msg;
}

std::string fromHex(const char* hex) {
    const test_support::Bytes b = test_support::unhex(hex);
    return std::string(b.begin(), b.end());
}

// A market data snapshot of 2000 entries whose three amounts are each 02, the one-byte compact
// form of -1: 18014 bytes that a frame carries, whose own encoding (ten bytes for each -1) is
// too long for one.
std::string growingBody() {
    const size_t entries = 2000;
    // market 3 of feed 1, six time stamps 0, a snapshot, the two-byte entry count
    std::string b = fromHex("06 02 00 00 00 00 00 00 01");
    b += static_cast<char>(0x80 | entries >> 8);
    b += static_cast<char>(entries & 0xFF);
    // -1, -1, -1, NEW, LEVEL, BID, source 1, three orders, no components
    for (size_t i = 0; i < entries; ++i) b += fromHex("02 02 02 00 01 01 01 06 00");
    return b + fromHex("00 00 00");  // no batch ids, batchID 0, streamID 0
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: api_fuzz_seeds DIRECTORY\n");
        return 2;
    }
    ProtoInit::initialize();
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    for (unsigned id = 0; id <= 0xFFFF; ++id) {
        const ShpOXMessage msg = MsgFactory::createMessage(static_cast<MsgType_t>(id));
        if (msg) write(dir, msg->getMsgType(), "empty", body(*msg));
    }
    for (const apitest::Example& e : apitest::workedExamples())
        write(dir, e.message->getMsgType(), e.name, body(*e.message));
    for (const apitest::ReceivedBody& r : apitest::RECEIVED_BODIES)
        write(dir, r.id, r.name, fromHex(r.hex));
    for (size_t size : {MAX_BODY, MAX_BODY + 1}) {
        const std::string b = body(logOfBodySize(size));
        if (b.size() != size) {
            std::fprintf(stderr, "api_fuzz_seeds: a log body of %zu bytes, not %zu\n", b.size(),
                         size);
            return 1;
        }
        write(dir, InsertLogMessage::ID, "body-of-" + std::to_string(size) + "-bytes", b);
    }
    const std::string growing = growingBody();
    const ShpOXMessage grown =
        OXMessage::decodeMessage(MktDataMessage::ID, growing.data(), growing.size());
    if (!grown || growing.size() > MAX_BODY || body(*grown).size() <= MAX_BODY) {
        std::fprintf(stderr, "api_fuzz_seeds: the growing body does not grow past the limit\n");
        return 1;
    }
    write(dir, MktDataMessage::ID, "body-growing-past-the-frame-limit", growing);
    return 0;
}
