#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "ClientImpInspector.h"
#include "ConsoleLog.h"
#include "HandlerFixtures.h"
#include "SessionFixtures.h"
#include "api/ImHereMessage.h"
#include "api/InsertLogMessage.h"
#include "api/LockResponseMessage.h"
#include "api/MsgFactory.h"
#include "api/ProtoInit.h"
#include "api/RiskResponseMessage.h"
#include "api/RuThereMessage.h"
#include "api/TestMessage.h"
#include "catalogue/OXProtocol.h"
#include "client/AbstractOXHandler.h"
#include "common/TimeUtil.h"
#include "support/client/TestServer.h"
#include "support/client/WireFrame.h"

namespace {

using namespace ZURAV;
using Orbanex::TimeUtil;
using test_support::Behaviour;
using test_support::TestServer;
typedef ClientImpInspector In;

constexpr SequenceID_t LARGEST = std::numeric_limits<SequenceID_t>::max();

ShpOXMessage make(MsgType_t id) { return MsgFactory::createMessage(id); }

std::string frame(MsgType_t id) { return test_support::frameOf(*make(id), 1); }

ShpOXMessage imHere(SequenceID_t n, Timestamp_t sent) {
    const ShpOXMessage sm = make(ImHereMessage::ID);
    sm->getRef<ImHereMessage>().dpdSeqNo = n;
    sm->getRef<ImHereMessage>().timeApiClient = sent;
    sm->getRef<ImHereMessage>().timeApiServer = sent + 1;
    return sm;
}

// The ping numbers in the frames the session wrote.
std::vector<SequenceID_t> pingsIn(const std::string& bytes) {
    std::vector<SequenceID_t> numbers;
    for (const ShpOXMessage& m : framesIn(bytes)) {
        if (m && m->getMsgType() == RuThereMessage::ID) {
            numbers.push_back(m->getRef<RuThereMessage>().dpdSeqNo);
        }
    }
    return numbers;
}

class ClientImpLoop : public testing::Test {
  protected:
    void SetUp() override { ProtoInit::initialize(); }
    void TearDown() override { In::setHandler(client, nullptr); }

    RecordingClient client;
    SocketPairConnection connection{client};
    AbstractOXHandler handler;
};
class ClientLoopThreads : public ClientImpLoop {};

TEST_F(ClientImpLoop, PingAnswersAreCheckedAgainstTheExpectedNumber) {
    struct Step {
        SequenceID_t lastReceived;  // set before the answer when not 0
        bool afterReconnection;     // the flag run() clears after a reconnection
        SequenceID_t received;
        const char* warning;  // the numbers of the WARN line, or null
    };
    const Step steps[] = {
        {0, false, 1, nullptr},
        {0, false, 2, nullptr},
        {0, false, 4, "Expected(3) - Received(4)"},
        {0, false, 5, nullptr},
        {0, true, 9, nullptr},  // pings lost with the old connection: resynchronised silently
        {0, false, 10, nullptr},
        {0, false, 12, "Expected(11) - Received(12)"},  // the next gap is reported again
        {LARGEST - 2, false, LARGEST - 1, nullptr},
        {0, false, 0, nullptr},  // the sender's wrap
        {0, false, 1, nullptr},
        {0, false, LARGEST, "Expected(2) - Received(2147483647)"},
        {0, false, 0, nullptr},  // a number the server made up does not overflow the count
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.received);
        if (s.lastReceived != 0) In::setLastReceivedSeqNo(client, s.lastReceived);
        if (s.afterReconnection) In::setLogHeartbeatSeqMismatch(client, false);
        const ConsoleLog log;
        const ShpOXMessage sm = imHere(s.received, 1);
        client.dispatchMessage(sm, sm.get(), ImHereMessage::ID);
        if (s.warning == nullptr) {
            EXPECT_EQ(log.text(), "");
        } else {
            EXPECT_EQ(log.count(std::string(":WARN:Sequence number mismatch.  ") + s.warning), 1u)
                << log.text();
        }
        EXPECT_TRUE(In::logHeartbeatSeqMismatch(client));
    }
    EXPECT_TRUE(client.ids.empty());  // no callback, no report
}

TEST_F(ClientImpLoop, TheAveragePingTimeIsTheMeanRoundTripOfTheLast64Answers) {
    EXPECT_EQ(client.getAveragePingTime(), 0);
    // 36 old answers with round trips of about a day, then 64 of about one second: the old ones
    // must have been dropped.
    const Timestamp_t start = TimeUtil::now();
    Timestamp_t sum = 0;
    for (int i = 0; i < 100; ++i) {
        const Timestamp_t trip = i < 36 ? TimeUtil::ONE_DAY : TimeUtil::ONE_SEC + i;
        if (i >= 36) sum += trip;
        const ShpOXMessage sm = imHere(i + 1, start - trip);
        client.dispatchMessage(sm, sm.get(), ImHereMessage::ID);
    }
    const Timestamp_t end = TimeUtil::now();
    ASSERT_EQ(In::pingTimes(client).size(), 64u);
    EXPECT_EQ(In::pingTimes(client).front().sent, start - TimeUtil::ONE_SEC - 36);
    EXPECT_EQ(In::pingTimes(client).front().atServer, start - TimeUtil::ONE_SEC - 35);
    const Timestamp_t average = client.getAveragePingTime();
    EXPECT_GE(average, sum / 64);
    EXPECT_LE(average, sum / 64 + (end - start));
}

TEST_F(ClientImpLoop, PingNumbersWrapToZeroBeforeTheLargestValue) {
    In::setLastSentSeqNo(client, LARGEST - 2);
    const Timestamp_t before = TimeUtil::now();
    for (int i = 0; i < 3; ++i) {
        client.notifySelector();  // something ready: the call's first pass pings
        client.dispatch(false);
    }
    const std::string bytes = readAvailable(connection.server);
    EXPECT_EQ(pingsIn(bytes), (std::vector<SequenceID_t>{LARGEST - 1, 0, 1}));
    EXPECT_GE(framesIn(bytes).front()->getRef<RuThereMessage>().timeApiClient, before);
    EXPECT_EQ(In::lastSentSeqNo(client), 1);
}

TEST_F(ClientImpLoop, WithNothingReadyACallThatDoesNotLoopReturnsAtOnceSendingNothing) {
    client.dispatch(false);
    EXPECT_EQ(readAvailable(connection.server), "");
    EXPECT_EQ(In::exitStatus(client), APIResult::OK);
    EXPECT_EQ(In::dispatchThread(client), std::thread::id());
}

TEST_F(ClientImpLoop, StopNeedsAHandlerAndEndsTheLoopAfterThePassThatSawIt) {
    EXPECT_EQ(client.stop(), APIResult::NOT_RUNNING);
    EXPECT_FALSE(client.isStopRequested());

    In::setHandler(client, &handler);
    for (int i = 0; i < 1000; ++i) client.notifySelector();
    EXPECT_EQ(client.stop(), APIResult::OK);
    EXPECT_TRUE(client.isStopRequested());
    client.dispatch(true);  // returns after one pass, without waiting
    EXPECT_EQ(In::exitStatus(client), APIResult::OK);
    EXPECT_EQ(readAvailable(connection.server), "");  // no ping while stopping
    EXPECT_FALSE(readable(In::rpipe(client)));        // every wake-up consumed in that pass
    EXPECT_TRUE(client.isStopRequested());            // until the next run or connection
}

TEST_F(ClientImpLoop, LocalMessagesFollowTheFramesOfTheirPassOnTheLoopsThread) {
    In::setHandler(client, &handler);  // a loop without one leaves them queued
    std::thread::id inside;
    client.onDefault = [&](const OXMessage& m) {
        inside = In::dispatchThread(client);
        // Queued by a handler: dispatched in the same round.
        if (m.getMsgType() == TestMessage::ID) client.callHandler(make(LockResponseMessage::ID));
    };
    connection.write(frame(TestMessage::ID));
    client.callHandler(make(RiskResponseMessage::ID));
    client.dispatch(false);

    EXPECT_EQ(client.ids, (std::vector<MsgType_t>{TestMessage::ID, RiskResponseMessage::ID,
                                                  LockResponseMessage::ID}));
    EXPECT_EQ(inside, std::this_thread::get_id());
    EXPECT_EQ(In::dispatchThread(client), std::thread::id());
}

TEST_F(ClientImpLoop, AnEndOfStreamDisconnectsAndClosesTheConnection) {
    client.setConnected(true);
    client.setUseHeartbeat(false);  // a ping would find the connection gone first
    connection.closeServerEnd();
    const ConsoleLog log;
    client.dispatch(true);
    EXPECT_EQ(In::exitStatus(client), APIResult::SOCKERR_CLOSED);
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(In::rsock(client), -1);
    EXPECT_EQ(In::wsock(client), -1);
    EXPECT_EQ(log.count(":INFO:Socket closed (EOF)."), 1u) << log.text();
}

TEST_F(ClientImpLoop, ASilentConnectionTimesOutWithPingsGoingOutMeanwhile) {
    In::setPeriods(client, 5 * TimeUtil::ONE_MSEC, 50 * TimeUtil::ONE_MSEC);
    const ConsoleLog log;
    const Timestamp_t start = TimeUtil::now();
    client.dispatch(true);
    EXPECT_GT(TimeUtil::now() - start, 50 * TimeUtil::ONE_MSEC);
    EXPECT_EQ(In::exitStatus(client), APIResult::TIMEOUT);
    EXPECT_NE(In::rsock(client), -1);  // left open, for the caller to decide
    EXPECT_EQ(log.count(":CRIT:Timeout on heartbeats, stopping dispatch."), 1u) << log.text();
    const std::vector<SequenceID_t> pings = pingsIn(readAvailable(connection.server));
    ASSERT_GE(pings.size(), 2u);
    for (size_t i = 0; i < pings.size(); ++i) EXPECT_EQ(pings[i], static_cast<SequenceID_t>(i + 1));
}

TEST_F(ClientImpLoop, AFailedWakeUpPipeIsRecordedAsAnErrorAndEndsTheConnection) {
    client.setConnected(true);
    In::breakWakeUpPipe(client);
    client.dispatch(false);
    EXPECT_EQ(In::exitStatus(client), APIResult::SOCKERR_READING);
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(In::rsock(client), -1);
}

TEST_F(ClientImpLoop, AnExceptionFromAHandlerLeavesTheLoopAndLosesNoFrame) {
    client.onDefault = [](const OXMessage&) { throw std::runtime_error("handler failed"); };
    connection.write(frame(TestMessage::ID) + frame(RiskResponseMessage::ID));
    {
        const ConsoleLog log;
        EXPECT_THROW(client.dispatch(false), std::runtime_error);
        EXPECT_EQ(log.count(":ERROR:Exception in dispatch"), 1u) << log.text();
    }
    EXPECT_EQ(In::exitStatus(client), APIResult::EXCEPTION_THROWN);
    EXPECT_EQ(In::dispatchThread(client), std::thread::id());
    EXPECT_EQ(client.ids, std::vector<MsgType_t>{TestMessage::ID});
    // The frame after the one that threw waits, in a buffer ready for more input.
    EXPECT_EQ(In::inbuffer(client).position(), frame(RiskResponseMessage::ID).size());
    EXPECT_EQ(In::inbuffer(client).limit(), In::inbuffer(client).capacity());

    client.onDefault = nullptr;
    connection.write(frame(LockResponseMessage::ID));
    client.dispatch(false);
    EXPECT_EQ(client.ids, (std::vector<MsgType_t>{TestMessage::ID, RiskResponseMessage::ID,
                                                  LockResponseMessage::ID}));
}

TEST_F(ClientImpLoop, OutputTheConnectionDidNotTakeIsWrittenWhenItCan) {
    client.setConnected(true);
    // The test reads nothing: the socket fills, then frames wait in the output buffer.
    std::string expected;
    for (int i = 0; In::outbuffer(client).position() == 0; ++i) {
        ASSERT_LT(i, 10000);
        const ShpOXMessage sm = make(InsertLogMessage::ID);
        sm->getRef<InsertLogMessage>().description = std::string(4000, 'a' + i % 26);
        ASSERT_EQ(client.send(sm), APIResult::OK);
        expected += test_support::encodeBody(*sm);
    }
    std::string received;
    for (int i = 0; In::outbuffer(client).position() != 0; ++i) {
        ASSERT_LT(i, 100000);
        received += readAvailable(connection.server);
        client.dispatch(false);  // the pass that finds the connection writable writes
    }
    received += readAvailable(connection.server);
    std::string bodies;
    for (const ShpOXMessage& m : framesIn(received)) {
        if (m->getMsgType() == InsertLogMessage::ID) bodies += test_support::encodeBody(*m);
    }
    EXPECT_EQ(bodies.size(), expected.size());
    EXPECT_TRUE(bodies == expected);  // every frame once, in order
}

// ---- with a second thread ----

TEST_F(ClientLoopThreads, AStopFromAnotherThreadWakesAWaitingLoop) {
    // A long period: without the wake-up the loop would wait, ping, and at last time out.
    In::setPeriods(client, 10 * TimeUtil::ONE_SEC, 20 * TimeUtil::ONE_SEC);
    In::setHandler(client, &handler);
    client.notifySelector();  // the first pass pings at once, so the test sees the loop run
    std::thread loop([this] { client.dispatch(true); });
    EXPECT_TRUE(readable(connection.server, 10000));
    EXPECT_EQ(client.stop(), APIResult::OK);
    loop.join();
    EXPECT_EQ(In::exitStatus(client), APIResult::OK);
    EXPECT_EQ(pingsIn(readAvailable(connection.server)), std::vector<SequenceID_t>{1});
}

TEST_F(ClientLoopThreads, ALocalMessageFromAnotherThreadIsDispatchedOnTheLoopsThread) {
    In::setPeriods(client, 10 * TimeUtil::ONE_SEC, 20 * TimeUtil::ONE_SEC);
    In::setHandler(client, &handler);
    client.onDefault = [this](const OXMessage&) { client.stop(); };
    std::thread::id loopThread;
    std::thread loop([&] {
        loopThread = std::this_thread::get_id();
        client.dispatch(true);
    });
    client.callHandler(make(RiskResponseMessage::ID));
    loop.join();
    EXPECT_EQ(client.ids, std::vector<MsgType_t>{RiskResponseMessage::ID});
    ASSERT_EQ(client.threads.size(), 1u);
    EXPECT_EQ(client.threads[0], loopThread);
    EXPECT_NE(loopThread, std::this_thread::get_id());
}

// An application's order book, locked by its trading thread and by its handler: a mutex whose
// lock can be tried with a deadline.
class Book {
  public:
    void lock() { tryLockFor(std::chrono::hours(1)); }
    bool tryLockFor(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(_mutex);
        if (!_freed.wait_for(lock, timeout, [this] { return !_held; })) return false;
        _held = true;
        return true;
    }
    void unlock() {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _held = false;
        }
        _freed.notify_all();
    }

  private:
    std::mutex _mutex;
    std::condition_variable _freed;
    bool _held = false;
};

// A handler that takes the book for every rejection. One that cannot take it within the
// deadline counts as blocked and goes on without it, so that a deadlock fails the test instead
// of hanging it.
class BookHandler : public AbstractOXHandler {
  public:
    explicit BookHandler(Book& book) : _book(book) {}
    void onOrderRejected(const OrderRejected&, OXClient&) override { takeBook(); }
    void onOrderCancelRejected(const OrderCancelRejected&, OXClient&) override { takeBook(); }

    // Waits until n callbacks have begun, or until n have ended.
    bool waitForBegun(size_t n) { return waitFor(_begun, n); }
    bool waitForEnded(size_t n) { return waitFor(_ended, n); }
    size_t blocked() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _blocked;
    }

  private:
    void takeBook() {
        count(_begun);
        if (_book.tryLockFor(std::chrono::milliseconds(5000))) {
            _book.unlock();
        } else {
            std::lock_guard<std::mutex> lock(_mutex);
            ++_blocked;
        }
        count(_ended);
    }
    void count(size_t& n) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            ++n;
        }
        _changed.notify_all();
    }
    bool waitFor(const size_t& counter, size_t n) {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, std::chrono::seconds(10), [&] { return counter >= n; });
    }

    Book& _book;
    std::mutex _mutex;
    std::condition_variable _changed;
    size_t _begun = 0;
    size_t _ended = 0;
    size_t _blocked = 0;
};

// The loop delivers a rejection the session made itself to a handler that waits for the book,
// while the trading thread holds the book and has another cancel refused: a cancel racing a
// fill. The request must not wait for the callback, or neither thread goes on.
TEST(ClientLoopLocksThreads, ARequestNeverWaitsForTheCallbackOfALocalRejection) {
    ProtoInit::initialize();
    OXClient client("trader", "secret", "localhost", 1);
    ClientImp& session = In::of(client);
    SocketPairConnection connection(session);
    In::acceptLogin(session, 3);  // no order is live
    In::setPeriods(session, 10 * TimeUtil::ONE_SEC, 20 * TimeUtil::ONE_SEC);
    Book book;
    BookHandler handler(book);
    In::setHandler(session, &handler);
    std::thread loop([&session] { session.dispatch(true); });

    book.lock();
    EXPECT_EQ(client.cancelOrder("C1", OrderID_t(99)), APIResult::INVALID_ORDERID);
    const bool inCallback = handler.waitForBegun(1);  // the loop waits there for the book
    EXPECT_EQ(client.cancelOrder("C2", "unknown"), APIResult::INVALID_ORDERID);
    book.unlock();
    EXPECT_TRUE(inCallback);
    EXPECT_TRUE(handler.waitForEnded(2));
    EXPECT_EQ(session.stop(), APIResult::OK);
    loop.join();
    EXPECT_EQ(handler.blocked(), 0u);
    In::setHandler(session, nullptr);
}

// ---- against the test server ----

// A session whose ping answers can act on the loop once handled.
class PingClient : public RecordingClient {
  public:
    using RecordingClient::RecordingClient;
    void handle(const ShpOXMessage& sm, const ImHereMessage& msg) override {
        ClientImp::handle(sm, msg);
        if (onPingAnswer) onPingAnswer(msg);
    }
    std::function<void(const ImHereMessage&)> onPingAnswer;
};

class ClientLoopServerThreads : public testing::Test {
  protected:
    void SetUp() override {
        Orbanex::initialize();
        ProtoInit::initialize();
    }
    void TearDown() override { Orbanex::finalize(); }

    TestServer server;
    AbstractOXHandler handler;
};

TEST_F(ClientLoopServerThreads, APingGapIsReportedButNotTheOneAReconnectionLeaves) {
    Behaviour gap = Behaviour::accept();
    gap.dropPingAnswer = 3;
    server.queue(gap);
    Behaviour lost = Behaviour::accept();
    lost.dropPingAnswer = 1;  // the login's ping on the new connection
    server.queue(lost);
    PingClient c("127.0.0.1", server.port());
    const ConsoleLog log;

    In::setPeriods(c, 5 * TimeUtil::ONE_MSEC, 10 * TimeUtil::ONE_SEC);
    ASSERT_EQ(c.connect(true), APIResult::OK);
    In::setHandler(c, &handler);
    c.onPingAnswer = [&c](const ImHereMessage& m) {
        // The session's own stop, as a failure makes: the next connection attempt clears it.
        if (m.dpdSeqNo >= 5) In::requestStop(c);
    };
    c.dispatch(true);  // answers 1, 2, 4 and 5: the gap at 3 is reported
    EXPECT_EQ(log.count("Sequence number mismatch."), 1u) << log.text();
    EXPECT_EQ(log.count(":WARN:Sequence number mismatch.  Expected(3) - Received(4)"), 1u);

    // What run() does on a lost connection: close, log in again, forget the gap to come. A long
    // period keeps the login to its one ping.
    c.setConnected(false);
    c.closeSockets();
    In::setPeriods(c, 10 * TimeUtil::ONE_SEC, 20 * TimeUtil::ONE_SEC);
    ASSERT_EQ(c.connect(false), APIResult::OK);
    In::setLogHeartbeatSeqMismatch(c, false);
    In::setPeriods(c, 5 * TimeUtil::ONE_MSEC, 10 * TimeUtil::ONE_SEC);
    c.onPingAnswer = [&c](const ImHereMessage&) { c.stop(); };
    c.dispatch(true);
    EXPECT_EQ(log.count("Sequence number mismatch."), 1u) << log.text();
    EXPECT_TRUE(In::logHeartbeatSeqMismatch(c));  // the next gap is reported again
    In::setHandler(c, nullptr);
}

// A server that has died without closing (it neither reads nor answers), after a burst that
// left output waiting: from then on every request wakes the loop. One order every tenth of the
// loop's period must not keep the server alive past the time-out.
TEST_F(ClientLoopServerThreads, ASilentServerTimesOutWhileTheApplicationKeepsSending) {
    Behaviour accept = Behaviour::accept();
    accept.configs.push_back(testConfiguration());
    server.setDefault(accept);
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
    ASSERT_EQ(c.connect(true), APIResult::OK);
    server.update([](Behaviour& b) {
        b.read = false;
        b.answerPings = false;
    });
    // Half the output buffer waiting, far more than the connection can take once the server's
    // side is full, so that nothing the loop writes meanwhile empties it.
    for (int i = 0; In::outbuffer(c).position() < ClientImp::BUFFER_SIZE / 2; ++i) {
        ASSERT_LT(i, 100000);
        const ShpOXMessage sm = make(InsertLogMessage::ID);
        sm->getRef<InsertLogMessage>().description = std::string(4000, 'x');
        ASSERT_EQ(c.send(sm), APIResult::OK);
    }
    In::setPeriods(c, 100 * TimeUtil::ONE_MSEC, 300 * TimeUtil::ONE_MSEC);
    const ConsoleLog log;

    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    std::thread loop([&] {
        c.dispatch(true);
        {
            std::lock_guard<std::mutex> lock(mutex);
            ended = true;
        }
        changed.notify_all();
    });
    // An order every 10 ms until the loop ends, or for at most the deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool endedWhileSending = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (int i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
            if (changed.wait_for(lock, std::chrono::milliseconds(10), [&] { return ended; })) {
                endedWhileSending = true;
                break;
            }
            lock.unlock();
            const std::string id = "O" + std::to_string(i);
            EXPECT_EQ(c.submitOrder(id.c_str(), 3, 10, Side::BID, OXFloat(int64_t(1)),
                                    OXFloat(int64_t(1)), OXFloat::NA, OXFloat::NA,
                                    OrderType::MARKET, TimeInForce::GTC, nullptr, nullptr)
                          .first,
                      APIResult::OK);
            lock.lock();
        }
    }
    loop.join();
    EXPECT_NE(In::outbuffer(c).position(), 0u);  // every order woke the loop
    EXPECT_TRUE(endedWhileSending);
    EXPECT_EQ(In::exitStatus(c), APIResult::TIMEOUT);
    EXPECT_EQ(log.count(":CRIT:Timeout on heartbeats, stopping dispatch."), 1u) << log.text();
}

TEST_F(ClientLoopServerThreads, AServerThatStopsReadingFillsTheOutputUntilBufferFull) {
    ClientImp c(nullptr, "trader", "secret", "127.0.0.1", server.port(), nullptr, 0);
    ASSERT_EQ(c.connect(true), APIResult::OK);
    server.update([](Behaviour& b) { b.read = false; });

    APIResult::Type result = APIResult::OK;
    for (int i = 0; i < 100000 && result == APIResult::OK; ++i) {
        const ShpOXMessage sm = make(InsertLogMessage::ID);
        sm->getRef<InsertLogMessage>().description = std::string(4000, 'x');
        result = c.send(sm);
    }
    EXPECT_EQ(result, APIResult::BUFFER_FULL);
    EXPECT_TRUE(c.isStopRequested());
    c.dispatch(true);  // a stop is pending: one pass
    EXPECT_EQ(In::exitStatus(c), APIResult::BUFFER_FULL);
    // The connection stays open for close().
    EXPECT_TRUE(c.isConnected());
    EXPECT_NE(In::rsock(c), -1);
}

}  // namespace
