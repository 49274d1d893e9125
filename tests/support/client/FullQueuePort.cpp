#include "support/client/FullQueuePort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#include "support/client/Loopback.h"

namespace test_support {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), std::string("FullQueuePort: ") + what);
}

// Whether the system's table of TCP sockets holds one in SYN_SENT towards 127.0.0.1:port.
bool attemptPending(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // the column names
    while (std::getline(table, line)) {
        unsigned remoteAddress = 0;
        unsigned remotePort = 0;
        unsigned state = 0;
        // "  sl: local_address:port rem_address:port st ...", in hexadecimal.
        if (std::sscanf(line.c_str(), " %*u: %*x:%*x %x:%x %x", &remoteAddress, &remotePort,
                        &state) == 3 &&
            remoteAddress == htonl(INADDR_LOOPBACK) && static_cast<int>(remotePort) == port &&
            state == 2) {
            return true;
        }
    }
    return false;
}

}  // namespace

FullQueuePort::FullQueuePort() {
    try {
        _listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (_listener < 0) fail("socket");
        const sockaddr_in addr = bindLoopback(_listener, 0, "FullQueuePort");
        // A backlog of 0 holds one connection that completed its handshake: the one made
        // below. The next SYN finds the queue full and is dropped.
        if (::listen(_listener, 0) != 0) fail("listen");
        _port = ntohs(addr.sin_port);
        _queued = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (_queued < 0) fail("socket");
        // The queue is empty: this handshake completes at once.
        if (::connect(_queued, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
            fail("connect");
    } catch (...) {
        if (_queued >= 0) ::close(_queued);
        if (_listener >= 0) ::close(_listener);
        throw;
    }
}

bool FullQueuePort::waitForAttempt(std::chrono::milliseconds timeout) const {
    // The system signals nothing of a dropped SYN: its table is read again until the deadline.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!attemptPending(_port)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

FullQueuePort::~FullQueuePort() {
    ::close(_queued);
    ::close(_listener);
}

}  // namespace test_support
