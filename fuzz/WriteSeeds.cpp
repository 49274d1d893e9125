// Writes the seed corpus of api_decode_fuzzer into the directory named on the command line: one
// file per input, the type id in two bytes (big-endian) followed by a message body. The bodies
// are every message as the factory creates it and the worked examples of the message families.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/APIAll.h"
#include "support/Bytes.h"

using namespace ZURAV;

namespace {

struct Example {
    MsgType_t id;
    const char* name;
    const char* body;  // hex bytes
};

const Example EXAMPLES[] = {
    {RuThereMessage::ID, "ping", "02 00"},
    {ConnectResponseMessage::ID, "admin-byte-2", "00 00 0e 02"},
    {HeartbeatMessage::ID, "heartbeat", "02 02 06 12 0a"},
    {BatchRegisterMessage::ID, "batch-register", "02 02 02 04 02"},
    {EventReportMessage::ID, "event-report", "18 06 08 06 04 6f 70 65 6e"},
    {ReplayDoneMessage::ID, "replay-status-3", "02 03 00"},
    {LastSequenceIDMessage::ID, "last-sequence-ids", "02 02 04 06 08 06 06 28"},
    {ConfigMessage::ID, "config", "01 01 46 00 04 80 04 01 02 01 41 02 07 07 01 05"},
    {SubscriptionEventMessage::ID, "sticky-byte-5", "01 02 00 00 01 00 05 00 00"},
    {MktDataMessage::ID, "market-data",
     "0e 06 00 00 00 00 00 00 01 01 80 f8 82 ad 16 80 80 e8 98 a9 bf 8d 07 07 00 01 01 01 06 00 "
     "00 00 00"},
    {RequestSnapshotMessage::ID, "snapshot-request", "06 01 0e 00"},
    {TradeCaptureMessage::ID, "trade-capture",
     "0a 07 0a 82 80 80 80 80 40 01 41 00 00 02 54 31 00 00 00 00 00 02 02 04 02 80 80 e8 98 a9 "
     "bf 8d 07 80 f8 82 ad 16 01 00 00 00 00"},
    {RiskResponseMessage::ID, "risk-response", "02 72 31 01 01 67 02 04 01 00 00 00"},
    {TradeLimitDataMessage::ID, "trade-limits",
     "01 64 00 00 01 01 75 02 01 61 01 62 01 02 00 04 31 2e 32 35 00 00 01 08 01 47 00"},
    {LockUserMessage::ID, "lock-user", "02 72 31 01 01 75"},
    {LockResponseMessage::ID, "lock-response", "00 02 00"},
    {SubmitOrderMessage::ID, "submit-order",
     "00 00 00 02 01 41 00 00 00 02 04 01 80 80 e8 98 a9 bf 8d 07 80 e4 97 d0 12 02 01 07 07 00"},
    {ComplexOrderMessage::ID, "complex-order", "00 01 6e 02 01 63 00 00 00 04 01 01 61 01 62"},
    {CancelAllOrderMessage::ID, "cancel-all", "00 02 58 31 01 00 00 00 06"},
};

void write(const std::filesystem::path& dir, MsgType_t id, const std::string& name,
           const std::string& body) {
    // Only what decodes is a useful seed; anything else is a fault of this table.
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
        if (!msg) continue;
        std::vector<char> buf(4096);
        const size_t n = OXMessage::encodeMessage(*msg, buf.data(), buf.size());
        write(dir, msg->getMsgType(), "empty", std::string(buf.data(), n));
    }
    for (const Example& e : EXAMPLES) {
        const test_support::Bytes body = test_support::unhex(e.body);
        write(dir, e.id, e.name, std::string(body.begin(), body.end()));
    }
    return 0;
}
