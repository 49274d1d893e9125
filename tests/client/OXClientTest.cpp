#include <gtest/gtest.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <boost/filesystem.hpp>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ConsoleLog.h"
#include "HandlerFixtures.h"
#include "RunFixtures.h"
#include "SessionFixtures.h"
#include "api/APIAll.h"
#include "api/ProtoInit.h"
#include "catalogue/OXProtocol.h"
#include "client/OXClient.h"
#include "logging/Log.h"
#include "logging/LoggingInit.h"
#include "logging/MessagingInit.h"
#include "support/client/RefusingPort.h"
#include "support/client/SocketPairs.h"
#include "support/client/TestServer.h"

namespace {

using namespace ZURAV;

// Records its own destruction.
class Probe : public OXClient {
  public:
    explicit Probe(bool* deleted) : OXClient("user", "secret", "localhost", 1), _deleted(deleted) {}
    ~Probe() override { *_deleted = true; }

  private:
    bool* _deleted;
};

TEST(OXClient, TheLastReleaseDeletesTheClient) {
    bool deleted = false;
    OXClient* c = new Probe(&deleted);
    c->addref();
    c->release();
    EXPECT_FALSE(deleted);
    c->release();
    EXPECT_TRUE(deleted);
}

TEST(OXClient, NullTextsAreRefused) {
    EXPECT_THROW(OXClient(nullptr, "p", "h", 1), std::invalid_argument);
    EXPECT_THROW(OXClient("u", nullptr, "h", 1), std::invalid_argument);
    EXPECT_THROW(OXClient("u", "p", nullptr, 1, "h2", 2), std::invalid_argument);
}

TEST(OXClient, ANewClientIsNeitherConnectedNorRunningAndKnowsNoFeed) {
    OXClient c("user", "secret", "localhost", 1, "other", 2);
    EXPECT_FALSE(c.isConnected());
    EXPECT_FALSE(c.isRunning());
    int fd1 = 0, fd2 = -1;
    c.get(fd1, fd2);
    EXPECT_EQ(fd1, -1);
    EXPECT_GE(fd2, 0);
    int n = -1;
    EXPECT_EQ(c.getFeeds(n), nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(c.getFeedByID(1), nullptr);
    EXPECT_EQ(c.getFeedByName("x"), nullptr);
}

// ---- open ----

using test_support::Behaviour;
using test_support::TestServer;

int lowestFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return fd;
}

class OXClientOpenThreads : public testing::Test {
  protected:
    void SetUp() override {
        Orbanex::initialize();
        ProtoInit::initialize();
    }
    void TearDown() override { Orbanex::finalize(); }
};

TEST_F(OXClientOpenThreads, ANullUserPasswordOrHostOpensNothing) {
    // An attempt would write its login on the pair's write end.
    test_support::SocketPairs pairs;
    const std::string host =
        "pipes:" + std::to_string(pairs.clientRead()) + "," + std::to_string(pairs.clientWrite());
    EXPECT_EQ(OXClient::open("trader", nullptr, host.c_str(), 0), nullptr);
    EXPECT_EQ(OXClient::open(nullptr, "secret", host.c_str(), 0), nullptr);
    EXPECT_EQ(OXClient::open("trader", "secret", nullptr, 0, host.c_str(), 0), nullptr);
    const std::pair<int, int> serverEnds = pairs.takeServerEnds();
    EXPECT_FALSE(readable(serverEnds.first));
    close(serverEnds.first);
    close(serverEnds.second);
}

TEST_F(OXClientOpenThreads, AFailedLoginThrowsTheResultsNameAndLeavesNoClient) {
    TestServer server;
    server.setDefault(Behaviour::refuse(ConnectionResponse::FAILED_INVALID_PASSWORD));
    test_support::RefusingPort refusing;
    struct Case {
        int port;
        const char* error;
    };
    const Case cases[] = {
        {refusing.port(), "Error connecting: SOCKERR_CONNECT"},
        {server.port(), "Error connecting: INVALID_PASSWORD"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.error);
        const int freeBefore = lowestFreeDescriptor();
        try {
            OXClient::open("trader", "wrong", "127.0.0.1", k.port);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), k.error);
        }
        // The server has let its end go: every descriptor left is the client's.
        EXPECT_TRUE(server.waitFor(
            [](const TestServer::Record& r) { return r.empty() || r.back().closed; }));
        EXPECT_EQ(lowestFreeDescriptor(), freeBefore);  // its pipe closed: the client is gone
    }
}

TEST_F(OXClientOpenThreads, AnAcceptedLoginGivesAConnectedClient) {
    TestServer server;
    OXClient* const c = OXClient::open("trader", "secret", "127.0.0.1", server.port());
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->isConnected());
    EXPECT_EQ(c->connect(), APIResult::IS_CONNECTED);
    EXPECT_EQ(c->stop(), APIResult::NOT_RUNNING);
    c->release();
    EXPECT_TRUE(server.waitFor([](const TestServer::Record& r) { return r.at(0).closed; }));
}

// ---- the client and its logging ----

// A system log that keeps its lines and lets a test wait for one, with a deadline.
class WatchedSysLog : public Orbanex::SysLogSink {
  public:
    WatchedSysLog() : _previous(install(this)) {}
    ~WatchedSysLog() override { install(_previous); }
    void open(const char*, int, int) override {}
    void close() override {}
    void write(int, const char* line) override {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _lines.push_back(line);
        }
        _changed.notify_all();
    }
    bool waitFor(const std::string& part, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, timeout, [&] {
            for (const std::string& l : _lines) {
                if (l.find(part) != std::string::npos) return true;
            }
            return false;
        });
    }

  private:
    SysLogSink* _previous;
    std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<std::string> _lines;
};

// Logging configured as the client's setlog does it (both files, the system log, every level),
// into a directory of the test's own, on this thread: the test's thread is the library's
// initialising thread.
class OXClientLogThreads : public testing::Test {
  protected:
    void SetUp() override {
        Orbanex::MessagingInit::initialize();
        ProtoInit::initialize();
        Orbanex::LoggingInit::initialize();
        _dir = boost::filesystem::temp_directory_path() /
               boost::filesystem::unique_path("zurav-client-%%%%-%%%%-%%%%");
        boost::filesystem::create_directories(_dir);
        ASSERT_TRUE(Orbanex::LogManager::instance()->configure(_dir.string(), "ZURAV", 1048576, 0,
                                                               false, true, 1048576, false, true,
                                                               true, 128, 1000000, ""));
    }
    void TearDown() override {
        Orbanex::LoggingInit::finalize();
        Orbanex::MessagingInit::finalize();
        boost::system::error_code ec;
        boost::filesystem::remove_all(_dir, ec);
    }

    // The text log as it is on disk now.
    std::string textLog() const {
        for (const auto& e : boost::filesystem::directory_iterator(_dir)) {
            if (e.path().extension() != ".txt") continue;
            std::ifstream in(e.path().string());
            std::stringstream text;
            text << in.rdbuf();
            return text.str();
        }
        return std::string();
    }

    WatchedSysLog syslog;

  private:
    boost::filesystem::path _dir;
};

// Runs body on a new thread with a stack of stackSize bytes, and waits for it. Below the stack
// lies a large inaccessible region, so that a frame larger than what is left of the stack stops
// the program at its first write instead of landing in whatever memory lies below a one-page
// guard.
void runWithStack(size_t stackSize, std::function<void()> body) {
    const size_t guard = 8 * 1024 * 1024;
    void* const region = mmap(nullptr, guard + stackSize, PROT_NONE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(region, MAP_FAILED);
    char* const stack = static_cast<char*>(region) + guard;
    ASSERT_EQ(mprotect(stack, stackSize, PROT_READ | PROT_WRITE), 0);
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstack(&attr, stack, stackSize), 0);
    pthread_t thread;
    const int created = pthread_create(
        &thread, &attr,
        [](void* f) -> void* {
            (*static_cast<std::function<void()>*>(f))();
            return nullptr;
        },
        &body);
    pthread_attr_destroy(&attr);
    if (created == 0) pthread_join(thread, nullptr);
    munmap(region, guard + stackSize);
    ASSERT_EQ(created, 0);
}

// ThreadSanitizer keeps its own per-thread state (about 900 KiB) in each thread's stack area: a
// thread under it gets that room on top of the stack under test.
#if defined(__SANITIZE_THREAD__)
constexpr size_t SANITIZER_STACK = 1024 * 1024;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr size_t SANITIZER_STACK = 1024 * 1024;
#else
constexpr size_t SANITIZER_STACK = 0;
#endif
#else
constexpr size_t SANITIZER_STACK = 0;
#endif

// Every request logs on the way (the debug log of what is sent, warnings of unknown orders),
// with the console mirror on as well: none needs more than a small thread's stack.
TEST_F(OXClientLogThreads, RequestsAndLogWorkFromAThreadWithA256KiBStack) {
    TestServer server;
    Behaviour accept = Behaviour::accept();
    accept.configs.push_back(testConfiguration());
    server.setDefault(accept);
    ConsoleLog console;
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    setenv("THIRD_PARTY_JAVA", "1", 1);
    client.setDebug(true);
    unsetenv("THIRD_PARTY_JAVA");
    AbstractOXHandler handler;

    runWithStack(256 * 1024 + SANITIZER_STACK, [&] {
        ASSERT_EQ(client.connect(), APIResult::OK);
        const OXFloat amount(1000000.0, 0), price(1.2345, 4);
        const auto order = client.submitOrder("c1", 3, 10, Side::BID, amount, price,
                                              OrderType::LIMIT, TimeInForce::DAY);
        EXPECT_EQ(order.first, APIResult::OK);
        MarketID_t markets[] = {10};
        const struct {
            const char* request;
            APIResult::Type result;
        } results[] = {
            {"modifyOrder", client.modifyOrder("c1", "c2", amount, price).first},
            {"modifyOrder of an unknown client order id",
             client.modifyOrder("nobody", nullptr, amount, price).first},
            {"cancelOrder", client.cancelOrder("x1", "c2")},
            {"cancelOrder of an unknown client order id", client.cancelOrder("x2", "nobody")},
            {"cancelOrder of an unknown order id", client.cancelOrder("x3", order.second + 99)},
            {"cancelAll of a feed", client.cancelAll(3, "x4")},
            {"cancelAll", client.cancelAll("x5")},
            {"subscribeMD", client.subscribeMD(3, 10)},
            {"subscribeOF", client.subscribeOF(3)},
            {"subscribeAllMD", client.subscribeAllMD()},
            {"unsubscribeMD", client.unsubscribeMD(3, 10)},
            {"unsubscribeOF", client.unsubscribeOF(3)},
            {"unsubscribeAll", client.unsubscribeAll()},
            {"replay", client.replay(3, 1, 2)},
            {"requestSnapshot", client.requestSnapshot(3, 10)},
            {"registerMarketComb", client.registerMarketComb(3, markets, 1).first},
        };
        for (const auto& r : results) {
            const bool unknown = std::string(r.request).find("unknown") != std::string::npos;
            EXPECT_EQ(r.result, unknown ? APIResult::INVALID_ORDERID : APIResult::OK) << r.request;
        }
        client.test(APITest::NONE);
        client.log("from a small stack");
        // The local rejections of the unknown orders reach the handler here.
        EXPECT_EQ(client.processEvents(&handler), APIResult::OK);
        EXPECT_EQ(client.close(), APIResult::OK);
    });

    EXPECT_TRUE(server.waitFor([](const TestServer::Record& r) {
        return !r.empty() && r[0].count(InsertLogMessage::ID) == 1 && r[0].closed;
    }));
    EXPECT_EQ(console.count("was not found."), 2u);
    EXPECT_GT(console.count(":INFO:send: <SubmitOrderMessage"), 0u);
    Orbanex::LogManager::instance()->flushAndWait();
    EXPECT_NE(textLog().find("from a small stack"), std::string::npos);
}

// The loop's thread is the library's initialising thread, whose entries wait in its buffer for
// its next log call: the loop hands them over before it waits.
TEST_F(OXClientLogThreads, AnEntryOfTheLoopsThreadReachesTheFileWhileTheLoopWaits) {
    TestServer server;
    OXClient client("trader", "secret", "127.0.0.1", server.port());
    client.setUseHeartbeat(false);  // the loop waits for the server without end
    ASSERT_EQ(client.connect(), APIResult::OK);
    LifecycleHandler handler;
    handler.inside = [](const std::string& name, OXClient& c) {
        if (name == "onStart") c.log("logged once by the loop's thread");
    };
    std::atomic<bool> reached{false};
    std::string text;
    std::thread watcher([&] {
        reached = syslog.waitFor("logged once by the loop's thread", std::chrono::seconds(5));
        text = textLog();
        client.stop();
    });
    EXPECT_EQ(client.run(&handler), APIResult::OK);
    watcher.join();
    EXPECT_TRUE(reached.load());
    EXPECT_NE(text.find("} logged once by the loop's thread"), std::string::npos);
    EXPECT_EQ(client.close(), APIResult::OK);
}

}  // namespace
