#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ClientImpInspector.h"
#include "ConsoleLog.h"
#include "SessionFixtures.h"
#include "api/ClientConnectMessage.h"
#include "api/ClientDisconnectMessage.h"
#include "api/InsertLogMessage.h"
#include "api/MktDataMessage.h"
#include "api/MsgFactory.h"
#include "api/ProtoInit.h"
#include "api/RiskResponseMessage.h"
#include "api/RuThereMessage.h"
#include "api/SubscribeMessage.h"
#include "api/TestMessage.h"
#include "api/VersionMessage.h"
#include "catalogue/OXProtocol.h"
#include "client/ClientImp.h"
#include "common/TimeUtil.h"
#include "support/client/TestServer.h"
#include "support/client/WireFrame.h"

namespace {

using namespace ZURAV;
using test_support::Behaviour;
using test_support::FrameHeader;
using test_support::Malformed;
using test_support::TestServer;
typedef ClientImpInspector In;

ShpOXMessage insertLog(size_t size) {
    InsertLogMessage* msg = new InsertLogMessage();
    const ShpOXMessage sm(msg);
    msg->description.assign(size, 'x');
    msg->level = LogLevel::LOGWARN;
    return sm;
}

// A session whose connection is one end of a socket pair; the test plays the server on the
// other end.
class ClientImpFraming : public testing::Test {
  protected:
    void SetUp() override {
        ProtoInit::initialize();
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        // Non-blocking, as a connected session's socket is.
        ASSERT_EQ(fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK), 0);
        In::adopt(client, fds[0], fds[0]);
        server = fds[1];
    }
    void TearDown() override {
        if (server != -1) close(server);
    }

    ClientImp client{nullptr, "user", "password", "localhost", 1, nullptr, 0};
    int server = -1;
};

TEST_F(ClientImpFraming, AFrameIsLengthIdTimeAndTheBody) {
    client.setConnected(true);
    const ShpOXMessage msg = insertLog(300);
    const Timestamp_t before = Orbanex::TimeUtil::now();
    ASSERT_EQ(client.send(msg), APIResult::OK);

    const std::string bytes = readAvailable(server);
    const std::string body = test_support::encodeBody(*msg);
    ASSERT_EQ(bytes.size(), 12 + body.size());
    const FrameHeader h = test_support::parseHeader(bytes.data());
    EXPECT_EQ(h.length, body.size() + 10);
    EXPECT_EQ(h.id, InsertLogMessage::ID);
    EXPECT_GE(h.nsecs, before);
    EXPECT_LE(h.nsecs, Orbanex::TimeUtil::now());
    EXPECT_EQ(bytes.substr(12), body);
    EXPECT_EQ(In::outbuffer(client).position(), 0u);
}

TEST_F(ClientImpFraming, BeforeLoginOnlyTheLoginMessagesAndPingsGoOut) {
    struct Case {
        MsgType_t id;
        APIResult::Type result;
    };
    const Case cases[] = {
        {VersionMessage::ID, APIResult::OK},
        {ClientConnectMessage::ID, APIResult::OK},
        {RuThereMessage::ID, APIResult::OK},
        {SubscribeMessage::ID, APIResult::NOT_CONNECTED},
        {InsertLogMessage::ID, APIResult::NOT_CONNECTED},
        {ClientDisconnectMessage::ID, APIResult::NOT_CONNECTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(client.send(MsgFactory::createMessage(c.id)), c.result);
        const std::string bytes = readAvailable(server);
        if (c.result == APIResult::OK) {
            ASSERT_GE(bytes.size(), 12u);
            EXPECT_EQ(test_support::parseHeader(bytes.data()).id, c.id);
        } else {
            EXPECT_EQ(bytes, "");
            EXPECT_EQ(In::outbuffer(client).position(), 0u);
        }
    }
}

TEST_F(ClientImpFraming, WithAStopPendingOnlyTheDisconnectMessageGoesOut) {
    client.setConnected(true);
    In::requestStop(client);
    EXPECT_EQ(client.send(insertLog(1)), APIResult::IS_STOPPING);
    EXPECT_EQ(readAvailable(server), "");
    EXPECT_EQ(client.send(MsgFactory::createMessage(ClientDisconnectMessage::ID)), APIResult::OK);
    const std::string bytes = readAvailable(server);
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(test_support::parseHeader(bytes.data()).id, ClientDisconnectMessage::ID);
}

// The encoder is bounded by the largest body a server accepts: a larger message is refused
// alone, instead of overrunning the buffer or going out behind a wrapped length.
TEST_F(ClientImpFraming, AMessageLargerThanAFrameIsRefusedAndTheSessionGoesOn) {
    client.setConnected(true);
    const size_t overhead = test_support::encodeBody(*insertLog(32000)).size() - 32000;
    const size_t largest = test_support::MAX_BODY_SIZE - overhead;
    ASSERT_EQ(test_support::encodeBody(*insertLog(largest)).size(), test_support::MAX_BODY_SIZE);

    EXPECT_EQ(client.send(insertLog(largest + 1)), APIResult::INVALID_PARAMETER);
    EXPECT_EQ(client.send(insertLog(1000000)), APIResult::INVALID_PARAMETER);
    EXPECT_EQ(readAvailable(server), "");
    EXPECT_EQ(In::outbuffer(client).position(), 0u);
    EXPECT_FALSE(client.isStopRequested());
    EXPECT_EQ(In::exitStatus(client), APIResult::OK);

    ASSERT_EQ(client.send(insertLog(largest)), APIResult::OK);
    const std::string bytes = readAvailable(server);
    EXPECT_EQ(test_support::parseHeader(bytes.data()).length, 32768);
}

TEST_F(ClientImpFraming, ABufferNearlyFullRefusesDropsItsContentAndStops) {
    client.setConnected(true);
    // The server reads nothing: the socket fills, then the client's output buffer.
    APIResult::Type result = APIResult::OK;
    int sends = 0;
    while (result == APIResult::OK && sends < 1000) {
        result = client.send(insertLog(4000));
        ++sends;
    }
    EXPECT_EQ(result, APIResult::BUFFER_FULL);
    EXPECT_GT(sends, 1048576 / 4000);  // frames accumulated until the margin was reached
    EXPECT_EQ(In::outbuffer(client).position(), 0u);
    EXPECT_TRUE(client.isStopRequested());
    EXPECT_EQ(In::exitStatus(client), APIResult::BUFFER_FULL);
    // Bytes left over woke the loop, so that it writes them when the socket can take them.
    EXPECT_TRUE(readable(In::rpipe(client)));
    EXPECT_EQ(client.send(insertLog(1)), APIResult::IS_STOPPING);

    // A later failure of the same connection reports the first one.
    close(server);
    server = -1;
    EXPECT_EQ(client.send(MsgFactory::createMessage(ClientDisconnectMessage::ID)),
              APIResult::BUFFER_FULL);
    EXPECT_EQ(In::exitStatus(client), APIResult::BUFFER_FULL);
}

TEST_F(ClientImpFraming, AFailedWriteDropsTheOutputAndStops) {
    client.setConnected(true);
    close(server);
    server = -1;
    // No SIGPIPE: the test process would die of it.
    EXPECT_EQ(client.send(insertLog(10)), APIResult::SOCKERR_WRITING);
    EXPECT_EQ(In::outbuffer(client).position(), 0u);
    EXPECT_TRUE(client.isStopRequested());
    EXPECT_EQ(In::exitStatus(client), APIResult::SOCKERR_WRITING);
}

TEST_F(ClientImpFraming, WakingTheLoopNeverBlocks) {
    // Far more wake-ups than the pipe holds, none of them read.
    for (int i = 0; i < 200000; ++i) client.notifySelector();
    EXPECT_TRUE(readable(In::rpipe(client)));
}

// ---- cutting the input into frames ----

// The state of a thread of this process as /proc gives it ('R' running, 'S' waiting, ...).
char threadState(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t name = line.rfind(')');  // the state follows the parenthesised name
    return name == std::string::npos || name + 2 >= line.size() ? '?' : line[name + 2];
}

class ClientImpFramingThreads : public ClientImpFraming {};

// A request from another thread that got past the connected test while the connection was
// still up, and waits for the send lock while it is lost, frames nothing: its bytes would
// otherwise reach the next connection ahead of that connection's login.
TEST_F(ClientImpFramingThreads, ARequestWaitingWhileTheConnectionIsLostFramesNothing) {
    client.setConnected(true);
    std::atomic<pid_t> tid{0};
    APIResult::Type result = APIResult::OK;
    std::thread request;
    {
        boost::lock_guard<boost::mutex> held(In::sendLock(client));
        request = std::thread([&] {
            tid = static_cast<pid_t>(syscall(SYS_gettid));
            result = client.send(insertLog(100));
        });
        // Until the request waits for the lock: the one wait on its way there.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while ((tid == 0 || threadState(tid) != 'S') &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        client.setConnected(false);
    }
    request.join();
    EXPECT_EQ(result, APIResult::NOT_CONNECTED);
    EXPECT_EQ(readAvailable(server), "");
    EXPECT_EQ(In::outbuffer(client).position(), 0u);
}

TEST(ClientImpDecoding, FramesAreCutWhereverTheReadsSplitThem) {
    ProtoInit::initialize();
    const std::string first = test_support::frameOf(*insertLog(100), 1);
    // The largest frame a peer sends: a body of 32758 bytes.
    const size_t overhead = test_support::encodeBody(*insertLog(32000)).size() - 32000;
    const std::string largest =
        test_support::frameOf(*insertLog(test_support::MAX_BODY_SIZE - overhead), 2);
    ASSERT_EQ(test_support::parseHeader(largest.data()).length, 32768);
    const std::string last = test_support::frameOf(*MsgFactory::createMessage(TestMessage::ID), 3);

    for (size_t split :
         {size_t(1), size_t(11), size_t(12), size_t(13), size_t(60), first.size() - 1}) {
        SCOPED_TRACE(split);
        RecordingClient client;
        SocketPairConnection connection(client);
        connection.write(first.substr(0, split));
        client.dispatch(false);
        EXPECT_TRUE(client.ids.empty());
        EXPECT_EQ(In::inbuffer(client).position(), split);  // kept from the frame's first byte

        connection.write(first.substr(split) + largest + last);  // several frames, one write
        while (readable(In::rsock(client))) client.dispatch(false);
        EXPECT_EQ(client.ids, (std::vector<MsgType_t>{InsertLogMessage::ID, InsertLogMessage::ID,
                                                      TestMessage::ID}));
        EXPECT_EQ(In::inbuffer(client).position(), 0u);
        EXPECT_EQ(In::exitStatus(client), APIResult::OK);
    }
}

// A session that keeps the text of every market-data message it is handed and, when asked, the
// handle too.
class MarketDataClient : public RecordingClient {
  public:
    explicit MarketDataClient(bool keep) : _keep(keep) {}
    void handle(const ShpOXMessage& sm, const MktDataMessage& msg) override {
        std::ostringstream text;
        text << msg;
        texts.push_back(text.str());
        if (_keep) kept.push_back(sm);
    }
    std::vector<std::string> texts;
    std::vector<ShpOXMessage> kept;

  private:
    const bool _keep;
};

// The frames of a type, one after another, each hand on exactly what that frame carries: a
// shorter list or text after a longer one leaves nothing of the earlier frame behind, and a
// message that the session still holds stays as it was when the next frame of its type arrives.
TEST(ClientImpDecoding, EveryFrameHandsOnItsOwnMessageWhateverCameBefore) {
    ProtoInit::initialize();
    std::vector<MktDataMessage> sent(3);
    const size_t entries[] = {3, 1, 0};
    for (size_t k = 0; k < sent.size(); ++k) {
        MarketView& v = sent[k].mvd;
        v.fmID.marketID = static_cast<MarketID_t>(10 + k);
        v.timeApiServer = static_cast<Timestamp_t>(1000 + k);
        for (size_t e = 0; e < entries[k]; ++e) {
            MDEntry entry;
            entry.price = OXFloat(static_cast<int64_t>(1000 * k + e));
            entry.side = e % 2 == 0 ? Side::BID : Side::OFR;
            entry.components = k == 0 ? "LP1+LP2+LP3+LP4+LP5+LP6" : "LP9";
            v.mdEntryList.push_back(entry);
        }
        if (k == 0) sent[k].fmIDsInBatch.resize(2);
        sent[k].batchID = static_cast<BatchID_t>(k);
    }
    std::vector<std::string> expected;
    std::string bytes;
    for (const MktDataMessage& m : sent) {
        std::ostringstream text;
        text << m;
        expected.push_back(text.str());
        bytes += test_support::frameOf(m, 1);
    }
    for (bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "the session keeps each message" : "the session keeps none");
        MarketDataClient client(keep);
        SocketPairConnection connection(client);
        for (int pass = 0; pass < 2; ++pass) {  // one write, then again after a pass
            connection.write(bytes);
            while (readable(In::rsock(client))) client.dispatch(false);
        }
        std::vector<std::string> twice = expected;
        twice.insert(twice.end(), expected.begin(), expected.end());
        EXPECT_EQ(client.texts, twice);
        std::vector<std::string> keptNow;
        for (const ShpOXMessage& m : client.kept) {
            std::ostringstream text;
            text << *m;
            keptNow.push_back(text.str());
        }
        EXPECT_EQ(keptNow, keep ? twice : std::vector<std::string>());
        EXPECT_EQ(In::exitStatus(client), APIResult::OK);
    }
}

// Against a server that stopped reading, a request that a frame could carry but the free space
// cannot is the full buffer it meets, not an invalid request refused again and again; one that
// no frame can carry stays invalid, and the session goes on after it.
TEST(ClientFramingThreads, ALargeRequestThatOnlyDoesNotFitNowIsBufferFull) {
    Orbanex::initialize();
    ProtoInit::initialize();
    TestServer server;
    ClientImp client(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
    ASSERT_EQ(client.connect(true), APIResult::OK);
    server.update([](Behaviour& b) { b.read = false; });

    const size_t large = 30000;  // a frame of some 30 KB
    const size_t frameSize = 12 + test_support::encodeBody(*insertLog(large)).size();
    // The connection fills, then the output buffer, until its free space is above the margin
    // but below the large frame.
    for (int i = 0; In::outbuffer(client).position() == 0; ++i) {
        ASSERT_LT(i, 100000);
        ASSERT_EQ(client.send(insertLog(4000)), APIResult::OK);
    }
    while (In::outbuffer(client).remaining() >= frameSize) {
        ASSERT_EQ(client.send(insertLog(1000)), APIResult::OK);
    }
    ASSERT_GE(In::outbuffer(client).remaining(), ClientImp::BUFFER_MARGIN);

    const ConsoleLog log;
    EXPECT_EQ(client.send(insertLog(1000000)), APIResult::INVALID_PARAMETER);
    EXPECT_FALSE(client.isStopRequested());
    EXPECT_NE(In::outbuffer(client).position(), 0u);

    EXPECT_EQ(client.send(insertLog(large)), APIResult::BUFFER_FULL);
    EXPECT_EQ(log.count(":ERROR:Buffer full; stopping."), 1u) << log.text();
    EXPECT_EQ(In::outbuffer(client).position(), 0u);
    EXPECT_TRUE(client.isStopRequested());
    EXPECT_EQ(In::exitStatus(client), APIResult::BUFFER_FULL);
    EXPECT_EQ(client.send(insertLog(large)), APIResult::IS_STOPPING);
    Orbanex::finalize();
}

// Each malformed frame follows a configuration and a last sequence id in the same write, and
// precedes the login's acceptance: the frames before it count, nothing after it does.
TEST(ClientFramingThreads, AMalformedFrameIsAProtocolErrorAfterTheFramesBeforeIt) {
    Orbanex::initialize();
    ProtoInit::initialize();
    struct Case {
        Malformed kind;
        const char* error;
    };
    const Case cases[] = {
        {Malformed::LENGTH_9, ":ERROR:Invalid message length."},
        {Malformed::LENGTH_32769, ":ERROR:Invalid message length."},
        {Malformed::UNKNOWN_ID, ":ERROR:Could not decode message!"},
        {Malformed::EMPTY_BODY, ":ERROR:Could not decode message!"},
        {Malformed::TRUNCATED_BODY, ":ERROR:Could not decode message!"},
        {Malformed::TRAILING_BYTES, ":ERROR:Could not decode message!"},
    };
    TestServer server;
    size_t connection = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(test_support::toString(k.kind));
        Behaviour b = Behaviour::malformedAnswer(k.kind);
        b.loginInOneWrite = true;
        b.configs.resize(1);
        b.configs[0].feedsList.resize(1);
        b.configs[0].feedsList[0].feedID = 5;
        b.lastSequenceIDs.resize(1);
        b.lastSequenceIDs[0].feedID = 5;
        b.lastSequenceIDs[0].sequenceID = 40 + static_cast<int>(connection);
        server.queue(b);
        ClientImp client(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
        const ConsoleLog log;

        EXPECT_EQ(client.connect(true), APIResult::PROTOCOL_ERROR);
        EXPECT_EQ(log.count(k.error), 1u) << log.text();
        EXPECT_EQ(client.getSequenceID(5), 40 + static_cast<int>(connection));
        EXPECT_NE(client.getFeedByID(5), nullptr);
        EXPECT_EQ(In::orderIDs(client), nullptr);  // the acceptance behind it was dropped
        EXPECT_FALSE(client.isConnected());
        // Nothing received is kept, and the buffer is ready for a new connection.
        EXPECT_EQ(In::inbuffer(client).position(), 0u);
        EXPECT_EQ(In::inbuffer(client).limit(), In::inbuffer(client).capacity());
        EXPECT_TRUE(server.waitFor([connection](const TestServer::Record& r) {
            return r.size() > connection && r[connection].closed;
        }));
        ++connection;
    }
    Orbanex::finalize();
}

}  // namespace
