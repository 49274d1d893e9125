#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/ClientConnectMessage.h"
#include "api/ConfigMessage.h"
#include "api/ConnectResponseMessage.h"
#include "api/ImHereMessage.h"
#include "api/LastSequenceIDMessage.h"
#include "api/MsgFactory.h"
#include "api/OrderReceivedMessage.h"
#include "api/RuThereMessage.h"
#include "api/SubmitOrderMessage.h"
#include "api/VersionMessage.h"
#include "framework/CodecError.h"
#include "support/Bytes.h"
#include "support/client/RefusingPort.h"
#include "support/client/SocketPairs.h"
#include "support/client/TestServer.h"
#include "support/client/WireFrame.h"

namespace {

using namespace ZURAV;
using test_support::Behaviour;
using test_support::Malformed;
using test_support::ReceivedFrame;
using test_support::Reply;
using test_support::TestServer;

// The server's clock in these tests, so that every byte it sends is known.
constexpr int64_t NOW = 0x0102030405060708;
const TestServer::Clock FIXED_CLOCK = [] { return NOW; };

// ---- the client side's own framing, independent of the server's ----

std::string header(uint16_t length, uint16_t id, int64_t nsecs) {
    std::string h;
    for (int i = 0; i < 2; ++i) h += static_cast<char>(length >> (8 * i));
    for (int i = 0; i < 2; ++i) h += static_cast<char>(id >> (8 * i));
    for (int i = 0; i < 8; ++i) h += static_cast<char>(static_cast<uint64_t>(nsecs) >> (8 * i));
    return h;
}

std::string body(const OXMessage& msg) {
    std::vector<char> buf(1 << 16);
    return std::string(buf.data(), OXMessage::encodeMessage(msg, buf.data(), buf.size()));
}

std::string frame(const OXMessage& msg, int64_t nsecs = NOW) {
    const std::string b = body(msg);
    return header(static_cast<uint16_t>(b.size() + 10), msg.getMsgType(), nsecs) + b;
}

std::string hex(const std::string& s) {
    return test_support::hex(test_support::Bytes(s.begin(), s.end()));
}

std::string unhex(const char* text) {
    const test_support::Bytes b = test_support::unhex(text);
    return std::string(b.begin(), b.end());
}

// A blocking client over loopback TCP or over the client's ends of SocketPairs. Reads give up
// after 10 s.
class RawClient {
  public:
    explicit RawClient(int port) : _owned(true) {
        _read = _write = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (_read < 0) throw std::runtime_error("socket");
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        if (::connect(_read, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(_read);
            throw std::runtime_error("connect");
        }
        setDeadline();
    }
    RawClient(int readFd, int writeFd) : _read(readFd), _write(writeFd), _owned(false) {
        setDeadline();
    }
    ~RawClient() {
        if (_owned) ::close(_read);
    }

    void send(const std::string& bytes) const {
        ASSERT_EQ(::send(_write, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    void send(const OXMessage& msg, int64_t nsecs = 42) const { send(frame(msg, nsecs)); }
    // Version, then ClientConnect with user "trader".
    void logIn() const {
        VersionMessage version;
        version.program = "ZURAV";
        send(version);
        ClientConnectMessage connect;
        connect.user = "trader";
        connect.password = "secret";
        send(connect);
    }
    void ping(int32_t seqNo, int64_t timeApiClient) const {
        RuThereMessage ping;
        ping.dpdSeqNo = seqNo;
        ping.timeApiClient = timeApiClient;
        send(ping);
    }

    // Exactly n bytes.
    std::string read(size_t n) const {
        std::string out(n, '\0');
        for (size_t got = 0; got < n;) {
            const ssize_t r = ::recv(_read, &out[got], n - got, 0);
            if (r <= 0) throw std::runtime_error("read: no more bytes before the deadline");
            got += static_cast<size_t>(r);
        }
        return out;
    }
    // Whether bytes (or the end of the stream) wait to be read now.
    bool pending() const {
        pollfd p{_read, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }
    bool atEnd() const {
        char c;
        return ::recv(_read, &c, 1, 0) == 0;
    }
    void shutWrite() const { ::shutdown(_write, SHUT_WR); }
    int writeFd() const { return _write; }

  private:
    void setDeadline() const {
        const timeval deadline{10, 0};
        ::setsockopt(_read, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
    }

    int _read = -1;
    int _write = -1;
    bool _owned;
};

ConfigMessage oneFeedConfig() {
    APIMarket market;
    market.marketID = 10;
    market.name = "EUR/USD";
    market.feedID = 3;
    APIFeed feed;
    feed.name = "FEED3";
    feed.exchangeName = "EXCH";
    feed.feedID = 3;
    feed.flags = 6;
    feed.marketList.push_back(market);
    ConfigMessage config;
    config.feedsList.push_back(feed);
    return config;
}

LastSequenceIDMessage lastSequenceID(FeedID_t feed, SequenceID_t seq) {
    LastSequenceIDMessage last;
    last.feedID = feed;
    last.origFeedID = feed;
    last.sequenceID = seq;
    return last;
}

ConnectResponseMessage answer(ConnectionResponse::Type code, ClientSessionID_t session) {
    ConnectResponseMessage m;
    m.connectionResponse = code;
    m.sessionID = session;
    if (code != ConnectionResponse::SUCCESS) m.text = "Login refused.";
    return m;
}

ImHereMessage imHere(int32_t seqNo, int64_t timeApiClient) {
    ImHereMessage m;
    m.dpdSeqNo = seqNo;
    m.timeApiClient = timeApiClient;
    m.timeApiServer = NOW;
    return m;
}

// ---- framing helpers, no server ----

TEST(TestServerFrames, FrameIsLittleEndianHeaderThenBody) {
    ClientConnectMessage m;
    m.user = "u";
    m.password = "p";
    EXPECT_EQ(hex(test_support::frameOf(m, NOW)), hex(frame(m)));
    EXPECT_EQ(hex(header(10, 0xFA10, NOW)), "0a 00 10 fa 08 07 06 05 04 03 02 01");

    const struct {
        uint16_t length, id;
        int64_t nsecs;
    } rows[] = {{10, 0, 0}, {32768, 0xFA10, -1}, {0xFFFF, 0xFFFF, INT64_MIN}, {9, 0xA014, NOW}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.length);
        const std::string h = header(row.length, row.id, row.nsecs);
        EXPECT_EQ(test_support::headerBytes({row.length, row.id, row.nsecs}), h);
        const test_support::FrameHeader parsed = test_support::parseHeader(h.data());
        EXPECT_EQ(parsed.length, row.length);
        EXPECT_EQ(parsed.id, row.id);
        EXPECT_EQ(parsed.nsecs, row.nsecs);
    }
}

TEST(TestServerFrames, BodyLargerThanAFrameCarriesIsRefused) {
    // The body grows by one byte per user byte once the length prefix has its final size.
    ClientConnectMessage m;
    m.user.assign(20000, 'u');
    const size_t overhead = body(m).size() - m.user.size();
    m.user.assign(test_support::MAX_BODY_SIZE - overhead, 'u');
    EXPECT_EQ(test_support::encodeBody(m).size(), test_support::MAX_BODY_SIZE);
    m.user += 'u';
    EXPECT_THROW(test_support::encodeBody(m), Tarvik::EncodeError);
}

TEST(TestServerFrames, HelpersGiveARefusingPortAndPipesHostText) {
    test_support::RefusingPort refusing;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(refusing.port()));
    EXPECT_NE(refusing.port(), 0);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
    ::close(fd);

    test_support::SocketPairs pairs;
    const int r = pairs.clientRead();
    const int w = pairs.clientWrite();
    EXPECT_NE(r, w);
    EXPECT_EQ(pairs.handOverClientEnds(), "pipes:" + std::to_string(r) + "," + std::to_string(w));
    // Handed over: closing them is now the receiver's business.
    ::close(r);
    ::close(w);
}

// ---- the server ----

TEST(TestServerThreads, AcceptedLoginSendsConfigsLastSequenceIdsThenSuccess) {
    TestServer server(FIXED_CLOCK);
    Behaviour accept;
    accept.configs.push_back(oneFeedConfig());
    accept.lastSequenceIDs = {lastSequenceID(3, 17), lastSequenceID(4, 0)};
    server.queue(accept);

    RawClient client(server.port());
    client.logIn();
    const std::string expected = frame(oneFeedConfig()) + frame(lastSequenceID(3, 17)) +
                                 frame(lastSequenceID(4, 0)) +
                                 frame(answer(ConnectionResponse::SUCCESS, 1));
    EXPECT_EQ(hex(client.read(expected.size())), hex(expected));
    ASSERT_TRUE(server.waitForFrames(2));
    EXPECT_FALSE(client.pending());

    const test_support::ConnectionRecord r = server.record().at(0);
    EXPECT_EQ(r.sessionID, 1);
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.frames.size(), 2u);
    VersionMessage version;
    version.program = "ZURAV";
    ClientConnectMessage connect;
    connect.user = "trader";
    connect.password = "secret";
    const ReceivedFrame& v = r.frames[0];
    EXPECT_EQ(v.header.length, body(version).size() + 10);
    EXPECT_EQ(v.header.id, VersionMessage::ID);
    EXPECT_EQ(v.header.nsecs, 42);
    EXPECT_EQ(v.body, body(version));
    ASSERT_NE(v.as<VersionMessage>(), nullptr);
    EXPECT_EQ(*v.as<VersionMessage>(), version);
    ASSERT_NE(r.frames[1].as<ClientConnectMessage>(), nullptr);
    EXPECT_EQ(*r.frames[1].as<ClientConnectMessage>(), connect);
    EXPECT_EQ(r.frames[1].as<VersionMessage>(), nullptr);
    EXPECT_EQ(r.bytesSent, expected.size());
}

TEST(TestServerThreads, ConnectionsTakeQueuedBehavioursInTurnThenTheDefault) {
    TestServer server(FIXED_CLOCK);
    const ConnectionResponse::Type refusals[] = {
        ConnectionResponse::FAILED_INVALID_USER,
        ConnectionResponse::FAILED_INVALID_PASSWORD,
        ConnectionResponse::FAILED_USER_ALREADY_CONNECTED,
        ConnectionResponse::FAILED_OTHER,
        ConnectionResponse::FAILED_INCOMPATIBLE_PROTOCOL,
        ConnectionResponse::FAILED_USER_LOCKED,
        ConnectionResponse::FAILED_SYSTEM_LOCKED,
    };
    for (ConnectionResponse::Type code : refusals) server.queue(Behaviour::refuse(code));
    for (ConnectionResponse::Type code : refusals) {
        SCOPED_TRACE(static_cast<int>(code));
        RawClient client(server.port());
        client.logIn();
        const std::string expected = frame(answer(code, 0));
        EXPECT_EQ(hex(client.read(expected.size())), hex(expected));
    }
    // The queue is empty: the default accepts, each login with a session id of its own.
    for (ClientSessionID_t session : {1, 2}) {
        SCOPED_TRACE(session);
        RawClient client(server.port());
        client.logIn();
        const std::string expected = frame(answer(ConnectionResponse::SUCCESS, session));
        EXPECT_EQ(hex(client.read(expected.size())), hex(expected));
    }
    ASSERT_TRUE(server.waitForConnections(9));
    const TestServer::Record record = server.record();
    EXPECT_EQ(record[6].sessionID, 0);
    EXPECT_EQ(record[7].sessionID, 1);
    EXPECT_EQ(record[8].sessionID, 2);
}

TEST(TestServerThreads, SilentConnectionAnswersNothingUntilUpdated) {
    TestServer server(FIXED_CLOCK);
    server.queue(Behaviour::silent());
    RawClient client(server.port());
    client.logIn();
    client.ping(1, 100);
    // Answers are written before the frame that asked for them enters the record.
    ASSERT_TRUE(server.waitForFrames(3));
    EXPECT_FALSE(client.pending());
    EXPECT_EQ(server.record()[0].sessionID, 0);

    server.update([](Behaviour& b) { b.answerPings = true; });
    client.ping(2, 200);
    const std::string expected = frame(imHere(2, 200));
    EXPECT_EQ(hex(client.read(expected.size())), hex(expected));
}

TEST(TestServerThreads, CloseAtOnceEndsTheStreamAndRecordsWhatFollows) {
    TestServer server(FIXED_CLOCK);
    server.queue(Behaviour::closeAtOnce());
    RawClient client(server.port());
    EXPECT_TRUE(client.atEnd());
    client.logIn();
    ASSERT_TRUE(server.waitForFrames(2));
    EXPECT_FALSE(server.record()[0].closed);
    EXPECT_THROW(server.send(imHere(1, 1)), std::runtime_error);

    client.shutWrite();
    ASSERT_TRUE(server.waitFor([](const TestServer::Record& r) { return r[0].closed; }));
}

TEST(TestServerThreads, MalformedAnswersCarryTheExactBadFrame) {
    const std::string imHereBody = body(imHere(1, NOW));
    const struct {
        Malformed kind;
        std::string bytes;
    } rows[] = {
        {Malformed::LENGTH_9, unhex("09 00 14 a0 08 07 06 05 04 03 02 01")},
        {Malformed::LENGTH_32769, unhex("01 80 14 a0 08 07 06 05 04 03 02 01")},
        {Malformed::UNKNOWN_ID, unhex("0b 00 77 77 08 07 06 05 04 03 02 01 00")},
        {Malformed::EMPTY_BODY, unhex("0a 00 14 a0 08 07 06 05 04 03 02 01")},
        {Malformed::TRUNCATED_BODY,
         header(static_cast<uint16_t>(imHereBody.size() + 9), ImHereMessage::ID, NOW) +
             imHereBody.substr(0, imHereBody.size() - 1)},
        {Malformed::TRAILING_BYTES,
         header(static_cast<uint16_t>(imHereBody.size() + 11), ImHereMessage::ID, NOW) +
             imHereBody + std::string(1, '\0')},
    };
    EXPECT_FALSE(MsgFactory::createMessage(test_support::UNKNOWN_MESSAGE_ID));
    TestServer server(FIXED_CLOCK);
    for (const auto& row : rows) {
        Behaviour b = Behaviour::malformedAnswer(row.kind);
        b.lastSequenceIDs.push_back(lastSequenceID(3, 5));
        b.loginInOneWrite = true;
        server.queue(b);
    }
    ClientSessionID_t session = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(test_support::toString(row.kind));
        EXPECT_EQ(hex(test_support::malformedFrame(row.kind, NOW)), hex(row.bytes));
        RawClient client(server.port());
        client.logIn();
        const std::string expected = frame(lastSequenceID(3, 5)) + row.bytes +
                                     frame(answer(ConnectionResponse::SUCCESS, ++session));
        EXPECT_EQ(hex(client.read(expected.size())), hex(expected));
    }
}

TEST(TestServerThreads, PingsAreEchoedWithTheServerTimeUnlessDropped) {
    const struct {
        const char* name;
        bool answerPings;
        int dropPingAnswer;
        std::vector<int32_t> answered;
    } rows[] = {
        {"all answered", true, 0, {7, 8, 9}},
        {"second answer dropped", true, 2, {7, 9}},
        {"not answered", false, 0, {}},
    };
    TestServer server(FIXED_CLOCK);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Behaviour b;
        b.answerPings = row.answerPings;
        b.dropPingAnswer = row.dropPingAnswer;
        server.queue(b);
        RawClient client(server.port());
        for (int32_t seq : {7, 8, 9}) client.ping(seq, 1000 * seq);
        ASSERT_TRUE(server.waitForMessages(RuThereMessage::ID, 3));
        std::string expected;
        for (int32_t seq : row.answered) expected += frame(imHere(seq, 1000 * seq));
        EXPECT_EQ(hex(client.read(expected.size())), hex(expected));
        EXPECT_FALSE(client.pending());
    }
}

TEST(TestServerThreads, SplitFrameWaitsForTheClientsNextFrame) {
    TestServer server(FIXED_CLOCK);
    RawClient client(server.port());
    ASSERT_TRUE(server.waitForConnections(1));
    const ConnectResponseMessage m = answer(ConnectionResponse::SUCCESS, 77);
    server.sendSplit(m, 5);
    const std::string first = client.read(5);
    EXPECT_FALSE(client.pending());
    client.ping(1, 10);
    // The rest of the frame, then the answer to the ping that let it go.
    const std::string rest = client.read(frame(m).size() - 5);
    EXPECT_EQ(hex(first + rest), hex(frame(m)));
    const std::string pong = frame(imHere(1, 10));
    EXPECT_EQ(hex(client.read(pong.size())), hex(pong));
    EXPECT_THROW(server.sendSplit(m, frame(m).size()), std::invalid_argument);
}

TEST(TestServerThreads, SeveralFramesInOneWriteArriveAsSentOneByOne) {
    TestServer server(FIXED_CLOCK);
    RawClient client(server.port());
    ASSERT_TRUE(server.waitForConnections(1));
    const OrderReceivedMessage a;
    const ConnectResponseMessage b = answer(ConnectionResponse::SUCCESS, 9);
    server.sendRaw(server.frame(a) + server.frame(b));
    server.send(a);
    const std::string expected = frame(a) + frame(b) + frame(a);
    EXPECT_EQ(hex(client.read(expected.size())), hex(expected));
    EXPECT_EQ(server.record()[0].bytesSent, expected.size());
}

TEST(TestServerThreads, RecordKeepsClientFramesInOrderWhateverTheWrites) {
    TestServer server(FIXED_CLOCK);
    RawClient client(server.port());
    VersionMessage version;
    version.program = "split";
    const std::string v = frame(version, 5);
    RuThereMessage ping;
    ping.dpdSeqNo = 3;
    // A ping and the first bytes of the version frame in one write: the ping is recorded and
    // the partial frame waits for the rest.
    client.send(frame(ping, 6) + v.substr(0, 7));
    ASSERT_TRUE(server.waitForFrames(1));
    client.send(v.substr(7) + header(11, test_support::UNKNOWN_MESSAGE_ID, 7) +
                std::string(1, 'x') + header(10, ImHereMessage::ID, 8) +
                header(9, RuThereMessage::ID, 9) + frame(ping));
    ASSERT_TRUE(server.waitFor([](const TestServer::Record& r) { return !r[0].errors.empty(); }));

    const test_support::ConnectionRecord r = server.record()[0];
    ASSERT_EQ(r.frames.size(), 4u);
    ASSERT_TRUE(r.frames[0].as<RuThereMessage>() && r.frames[1].as<VersionMessage>());
    EXPECT_EQ(*r.frames[0].as<RuThereMessage>(), ping);
    EXPECT_EQ(r.frames[0].header.nsecs, 6);
    EXPECT_EQ(*r.frames[1].as<VersionMessage>(), version);
    EXPECT_EQ(r.frames[1].header.nsecs, 5);
    // Frames that do not decode are kept with their header and body.
    EXPECT_FALSE(r.frames[2].decoded());
    EXPECT_EQ(r.frames[2].header.id, test_support::UNKNOWN_MESSAGE_ID);
    EXPECT_EQ(r.frames[2].body, "x");
    EXPECT_FALSE(r.frames[3].decoded());
    EXPECT_EQ(r.frames[3].header.length, 10);
    EXPECT_EQ(r.frames[3].body, "");
    // Nothing after a bad length is framed.
    EXPECT_EQ(r.errors, std::vector<std::string>{"frame length 9 outside 10..32768; input no "
                                                 "longer framed"});
    EXPECT_EQ(r.count(RuThereMessage::ID), 1u);
    EXPECT_EQ(r.find(RuThereMessage::ID, 1), nullptr);
}

TEST(TestServerThreads, WaitsGiveUpAtTheirDeadline) {
    TestServer server(FIXED_CLOCK);
    const TestServer::Timeout brief(20);
    EXPECT_FALSE(server.waitForConnections(1, brief));
    EXPECT_FALSE(server.waitForFrames(1, brief));
    RawClient client(server.port());
    EXPECT_TRUE(server.waitForConnections(1));
    EXPECT_FALSE(server.waitForMessages(RuThereMessage::ID, 1, brief));
    client.ping(1, 1);
    EXPECT_TRUE(server.waitForMessages(RuThereMessage::ID));
    EXPECT_FALSE(server.waitForMessages(RuThereMessage::ID, 2, brief));
}

TEST(TestServerThreads, StoppedReadingLeavesTheClientsOutputUnread) {
    TestServer server(FIXED_CLOCK);
    Behaviour deaf;
    deaf.read = false;
    server.queue(deaf);
    RawClient client(server.port());
    ASSERT_TRUE(server.waitForConnections(1));
    ClientConnectMessage big;
    big.user.assign(30000, 'u');
    const std::string f = frame(big);
    // Fill every buffer between the two sides; the last frame may go only in part. A server
    // that reads would take far more than the kernel buffers hold.
    size_t whole = 0;
    std::string rest;
    while (rest.empty() && whole * f.size() < (size_t{256} << 20)) {
        const ssize_t n = ::send(client.writeFd(), f.data(), f.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(f.size())) {
            ++whole;
            continue;
        }
        ASSERT_TRUE(n > 0 || errno == EAGAIN || errno == EWOULDBLOCK);
        rest = f.substr(n > 0 ? static_cast<size_t>(n) : 0);
    }
    ASSERT_FALSE(rest.empty()) << "the client's output never filled";
    ASSERT_GT(whole, 0u);
    EXPECT_TRUE(server.record()[0].frames.empty());

    server.update([](Behaviour& b) { b.read = true; });
    client.send(rest);
    ASSERT_TRUE(server.waitForFrames(whole + 1));
    const test_support::ConnectionRecord r = server.record()[0];
    EXPECT_EQ(r.frames.size(), whole + 1);
    for (const ReceivedFrame& f : r.frames) ASSERT_TRUE(f.as<ClientConnectMessage>());
    EXPECT_EQ(*r.frames.back().as<ClientConnectMessage>(), big);
}

TEST(TestServerThreads, RespondersAnswerRequestsOfTheirType) {
    TestServer server(FIXED_CLOCK);
    server.respond<SubmitOrderMessage>([](const SubmitOrderMessage& order, Reply& reply) {
        OrderReceivedMessage received;
        received.contents.orderID = order.contents.orderID;
        received.contents.clOrdID = order.contents.clOrdID;
        received.contents.sequenceID = reply.sessionID() * 100;
        reply.send(received);
    });
    server.respond(VersionMessage::ID, [](const ReceivedFrame&, Reply&) {
        throw std::runtime_error("no version expected");
    });
    RawClient client(server.port());
    client.logIn();
    const std::string success = frame(answer(ConnectionResponse::SUCCESS, 1));
    ASSERT_EQ(hex(client.read(success.size())), hex(success));

    SubmitOrderMessage order;
    order.contents.orderID = (int64_t{1} << 40) | 1;
    order.contents.clOrdID = "A1";
    client.send(order);
    OrderReceivedMessage expected;
    expected.contents.orderID = order.contents.orderID;
    expected.contents.clOrdID = "A1";
    expected.contents.sequenceID = 100;
    EXPECT_EQ(hex(client.read(frame(expected).size())), hex(frame(expected)));

    server.update([](Behaviour& b) { b.answerRequests = false; });
    client.send(order);
    ASSERT_TRUE(server.waitForMessages(SubmitOrderMessage::ID, 2));
    EXPECT_FALSE(client.pending());
    EXPECT_EQ(server.record()[0].errors,
              std::vector<std::string>{"responder for 0x0000: no version expected"});
}

TEST(TestServerThreads, ResponderCannotCommandTheServer) {
    TestServer server(FIXED_CLOCK);
    server.respond(SubmitOrderMessage::ID,
                   [&server](const ReceivedFrame&, Reply&) { server.closeListener(); });
    RawClient client(server.port());
    client.send(SubmitOrderMessage());
    ASSERT_TRUE(server.waitForFrames(1));
    const std::vector<std::string> errors = server.record()[0].errors;
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("from the server thread"), std::string::npos);
}

TEST(TestServerThreads, ClosingEndsTheStreamAndTheListener) {
    TestServer server(FIXED_CLOCK);
    EXPECT_THROW(server.send(imHere(1, 1)), std::runtime_error);
    {
        RawClient client(server.port());
        ASSERT_TRUE(server.waitForConnections(1));
        server.send(imHere(1, 1));
        server.closeConnection();
        const std::string expected = frame(imHere(1, 1));
        EXPECT_EQ(hex(client.read(expected.size())), hex(expected));
        EXPECT_TRUE(client.atEnd());
        EXPECT_THROW(server.sendRaw("x"), std::runtime_error);
        // The half-closed connection is still read until the client closes it.
        client.ping(5, 5);
        ASSERT_TRUE(server.waitForFrames(1));
    }
    ASSERT_TRUE(server.waitFor([](const TestServer::Record& r) { return r[0].closed; }));

    server.closeListener();
    EXPECT_THROW(RawClient client(server.port()), std::runtime_error);
}

TEST(TestServerThreads, AdoptedSocketPairsServeTheNextBehaviour) {
    TestServer server(FIXED_CLOCK);
    test_support::SocketPairs pairs;
    Behaviour b;
    b.lastSequenceIDs.push_back(lastSequenceID(8, 80));
    server.queue(b);
    const std::pair<int, int> ends = pairs.takeServerEnds();
    server.adopt(ends.first, ends.second);
    RawClient client(pairs.clientRead(), pairs.clientWrite());
    client.logIn();
    client.ping(1, 2);
    const std::string expected = frame(lastSequenceID(8, 80)) +
                                 frame(answer(ConnectionResponse::SUCCESS, 1)) +
                                 frame(imHere(1, 2));
    EXPECT_EQ(hex(client.read(expected.size())), hex(expected));

    server.closeConnection();
    EXPECT_TRUE(client.atEnd());
    client.shutWrite();
    ASSERT_TRUE(server.waitFor([](const TestServer::Record& r) { return r[0].closed; }));
    EXPECT_EQ(server.record()[0].frames.size(), 3u);
}

}  // namespace
