#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "ClientImpInspector.h"
#include "api/InsertLogMessage.h"
#include "client/ClientImp.h"
#include "support/client/WireFrame.h"

namespace {

using namespace ZURAV;
typedef ClientImpInspector In;

std::unique_ptr<ClientImp> makeClient(const char* host2 = nullptr, int port2 = 0) {
    return std::unique_ptr<ClientImp>(
        new ClientImp(nullptr, "user", "secret", "first.example", 7001, host2, port2));
}

// The lowest free descriptor number: equal before and after an operation that leaks none.
int lowestFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return fd;
}

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

// Sets or removes an environment variable for the life of the object.
class EnvVar {
  public:
    EnvVar(const char* name, const char* value) : _name(name) {
        const char* old = getenv(name);
        _had = old != nullptr;
        if (_had) _old = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvVar() {
        if (_had) {
            setenv(_name.c_str(), _old.c_str(), 1);
        } else {
            unsetenv(_name.c_str());
        }
    }

  private:
    std::string _name;
    std::string _old;
    bool _had;
};

TEST(ClientImp, ANewClientIsUnconnectedWithItsSettingsAndBuffers) {
    const std::unique_ptr<ClientImp> c = makeClient();
    EXPECT_EQ(In::numServers(*c), 1);
    EXPECT_EQ(In::server(*c, 0).host, "first.example");
    EXPECT_EQ(In::server(*c, 0).port, 7001);
    EXPECT_EQ(In::server(*c, 1).host, "");
    EXPECT_EQ(In::currentServer(*c), 0);

    EXPECT_TRUE(In::useHeartbeat(*c));
    EXPECT_EQ(In::sleepTime(*c), 400000000);
    EXPECT_EQ(In::timeoutTime(*c), 5000000000);
    EXPECT_FALSE(In::debugMessages(*c));
    EXPECT_FALSE(In::stickySubscriptions(*c));
    EXPECT_TRUE(In::clearSubscriptionsOnStop(*c));

    for (const Orbanex::Buffer* b : {&In::inbuffer(*c), &In::outbuffer(*c)}) {
        EXPECT_EQ(b->capacity(), 1048576u);
        EXPECT_EQ(b->position(), 0u);
        EXPECT_EQ(b->limit(), b->capacity());
    }

    EXPECT_EQ(In::rsock(*c), -1);
    EXPECT_EQ(In::wsock(*c), -1);
    int fd1 = 0, fd2 = 0;
    c->get(fd1, fd2);
    EXPECT_EQ(fd1, -1);
    EXPECT_EQ(fd2, In::rpipe(*c));
    // The loop waits on the read end; a sender must never wait on the write end.
    EXPECT_EQ(fcntl(In::rpipe(*c), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(In::wpipe(*c), F_GETFL) & O_NONBLOCK, 0);

    EXPECT_FALSE(c->isConnected());
    EXPECT_FALSE(c->isRunning());
    EXPECT_FALSE(c->isStopRequested());
    EXPECT_EQ(In::exitStatus(*c), APIResult::OK);
}

TEST(ClientImp, ASecondHostGivesASecondServerEvenWhenEmpty) {
    struct Case {
        const char* host2;
        int port2;
        int servers;
    };
    const Case cases[] = {{"second.example", 7002, 2}, {"", 7003, 2}, {nullptr, 7004, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host2 == nullptr ? "null" : c.host2);
        const std::unique_ptr<ClientImp> client = makeClient(c.host2, c.port2);
        EXPECT_EQ(In::numServers(*client), c.servers);
        EXPECT_EQ(In::server(*client, 1).host, c.host2 == nullptr ? "" : c.host2);
        EXPECT_EQ(In::server(*client, 1).port, c.host2 == nullptr ? 0 : c.port2);
    }
}

TEST(ClientImp, NullTextsAreRefusedWithoutLeakingAnything) {
    struct Case {
        const char* user;
        const char* password;
        const char* host;
    };
    const Case cases[] = {{nullptr, "p", "h"}, {"u", nullptr, "h"}, {"u", "p", nullptr}};
    const int freeBefore = lowestFreeDescriptor();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.user == nullptr) << (c.password == nullptr) << (c.host == nullptr));
        EXPECT_THROW(ClientImp(nullptr, c.user, c.password, c.host, 1, "second", 2),
                     std::invalid_argument);
    }
    EXPECT_EQ(lowestFreeDescriptor(), freeBefore);
}

TEST(ClientImp, HeartbeatsOffZeroBothPeriodsAndOnRestoresThem) {
    const std::unique_ptr<ClientImp> c = makeClient();
    c->setUseHeartbeat(false);
    EXPECT_FALSE(In::useHeartbeat(*c));
    EXPECT_EQ(In::sleepTime(*c), 0);
    EXPECT_EQ(In::timeoutTime(*c), 0);
    c->setUseHeartbeat(true);
    EXPECT_TRUE(In::useHeartbeat(*c));
    EXPECT_EQ(In::sleepTime(*c), 400000000);
    EXPECT_EQ(In::timeoutTime(*c), 5000000000);
}

TEST(ClientImp, DebugModeNeedsTheDeveloperEnvironment) {
    const std::unique_ptr<ClientImp> c = makeClient();
    {
        const EnvVar env("THIRD_PARTY_JAVA", nullptr);
        c->setDebug(true);
        EXPECT_FALSE(In::debugMessages(*c));
    }
    {
        const EnvVar env("THIRD_PARTY_JAVA", "");  // present, whatever its value
        c->setDebug(true);
        EXPECT_TRUE(In::debugMessages(*c));
    }
    {
        const EnvVar env("THIRD_PARTY_JAVA", nullptr);
        c->setDebug(false);  // ignored too: debug mode stays on
        EXPECT_TRUE(In::debugMessages(*c));
    }
}

TEST(ClientImp, StickySubscriptionSettings) {
    const std::unique_ptr<ClientImp> c = makeClient();
    c->setStickySubscriptions(true);
    EXPECT_TRUE(In::stickySubscriptions(*c));
    EXPECT_TRUE(In::clearSubscriptionsOnStop(*c));
    c->setStickySubscriptions(true, false);
    EXPECT_TRUE(In::stickySubscriptions(*c));
    EXPECT_FALSE(In::clearSubscriptionsOnStop(*c));
    c->setStickySubscriptions(false);
    EXPECT_FALSE(In::stickySubscriptions(*c));
    EXPECT_FALSE(In::clearSubscriptionsOnStop(*c));
}

TEST(ClientImp, ConnectedFlagFollowsSetConnected) {
    const std::unique_ptr<ClientImp> c = makeClient();
    c->setConnected(true);
    EXPECT_TRUE(c->isConnected());
    c->setConnected(false);
    EXPECT_FALSE(c->isConnected());
}

// A client destroyed without close() must not leave its connection open: the server would keep
// the session alive.
TEST(ClientImp, DestructionClosesThePipeAndAConnectionStillOpen) {
    struct Case {
        const char* mode;
        bool pair;  // descriptor-pair mode: reading and writing apart
    };
    for (const Case& mode : {Case{"socket", false}, Case{"descriptor pair", true}}) {
        SCOPED_TRACE(mode.mode);
        int a[2], b[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, a), 0);
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, b), 0);
        std::unique_ptr<ClientImp> c = makeClient();
        const int rpipe = In::rpipe(*c);
        const int wpipe = In::wpipe(*c);
        if (mode.pair) {
            In::adopt(*c, a[0], b[0]);
        } else {
            In::adopt(*c, a[0], a[0]);
            close(b[0]);
        }
        c->setConnected(true);
        c.reset();

        char byte;
        EXPECT_EQ(read(a[1], &byte, 1), 0);  // end of stream: the client's end is closed
        EXPECT_EQ(read(b[1], &byte, 1), 0);
        EXPECT_FALSE(isOpen(rpipe));
        EXPECT_FALSE(isOpen(wpipe));
        close(a[1]);
        close(b[1]);
    }
}

TEST(ClientImp, LogGoesToTheServersLogOnlyOnceLoggedIn) {
    const std::unique_ptr<ClientImp> c = makeClient();
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
    In::adopt(*c, fds[0], fds[0]);

    c->log("before login", LogLevel::LOGERROR);
    char bytes[256];
    EXPECT_EQ(recv(fds[1], bytes, sizeof bytes, 0), -1);  // nothing sent

    c->setConnected(true);
    c->log("after login", LogLevel::LOGERROR);
    c->log(nullptr, LogLevel::LOGINFO);
    const ssize_t n = recv(fds[1], bytes, sizeof bytes, 0);
    ASSERT_GT(n, 0);
    size_t at = 0;
    struct Sent {
        const char* text;
        LogLevel::Type level;
    };
    for (const Sent& sent :
         {Sent{"after login", LogLevel::LOGERROR}, Sent{"", LogLevel::LOGINFO}}) {
        SCOPED_TRACE(sent.text);
        ASSERT_LE(at + 12, static_cast<size_t>(n));
        const test_support::FrameHeader h = test_support::parseHeader(bytes + at);
        ASSERT_EQ(h.id, InsertLogMessage::ID);
        const ShpOXMessage msg = OXMessage::decodeMessage(h.id, bytes + at + 12, h.length - 10u);
        ASSERT_TRUE(msg);
        EXPECT_EQ(msg->getRef<InsertLogMessage>().description, sent.text);
        EXPECT_EQ(msg->getRef<InsertLogMessage>().level, sent.level);
        at += h.length + 2u;
    }
    EXPECT_EQ(at, static_cast<size_t>(n));
    close(fds[1]);
}

}  // namespace
