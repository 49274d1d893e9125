#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ClientImpInspector.h"
#include "api/OXMessage.h"
#include "client/ClientImp.h"
#include "support/client/WireFrame.h"

namespace ZURAV {

// A session that records the messages reaching its default handling (the types the session
// does not handle itself, such as TestMessage and RiskResponseMessage), with the thread they
// reach it on, instead of reporting them. onDefault, when set, runs after the record: it may
// throw, queue messages or stop the loop.
class RecordingClient : public ClientImp {
  public:
    explicit RecordingClient(const char* host = "localhost", int port = 1,
                             const char* host2 = nullptr, int port2 = 0)
        : ClientImp(nullptr, "trader", "secret", host, port, host2, port2) {}

    void handleDefault(const ShpOXMessage& sm) override {
        ids.push_back(sm->getMsgType());
        threads.push_back(std::this_thread::get_id());
        if (onDefault) onDefault(*sm);
    }

    std::vector<MsgType_t> ids;
    std::vector<std::thread::id> threads;
    std::function<void(const OXMessage&)> onDefault;
};

// Every byte waiting on fd, without waiting for more.
inline std::string readAvailable(int fd) {
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n <= 0) return bytes;
        bytes.append(chunk, static_cast<size_t>(n));
    }
}

inline bool readable(int fd, int timeoutMillis = 0) {
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, timeoutMillis) == 1;
}

// The frames in bytes, decoded; bytes must hold whole frames only.
inline std::vector<ShpOXMessage> framesIn(const std::string& bytes) {
    std::vector<ShpOXMessage> frames;
    size_t at = 0;
    while (at + test_support::FRAME_HEADER_SIZE <= bytes.size()) {
        const test_support::FrameHeader h = test_support::parseHeader(bytes.data() + at);
        const size_t body = h.length - test_support::FRAME_LENGTH_OVERHEAD;
        frames.push_back(OXMessage::decodeMessage(
            h.id, bytes.data() + at + test_support::FRAME_HEADER_SIZE, body));
        at += test_support::FRAME_HEADER_SIZE + body;
    }
    if (at != bytes.size()) throw std::runtime_error("framesIn: a partial frame");
    return frames;
}

// A session whose connection is one end of a local socket pair, non-blocking as a connected
// session's socket is; the test plays the server on the other end.
struct SocketPairConnection {
    explicit SocketPairConnection(ClientImp& client) {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) throw std::runtime_error("socketpair");
        fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
        ClientImpInspector::adopt(client, fds[0], fds[0]);
        server = fds[1];
    }
    ~SocketPairConnection() {
        if (server != -1) close(server);
    }
    SocketPairConnection(const SocketPairConnection&) = delete;
    SocketPairConnection& operator=(const SocketPairConnection&) = delete;

    void write(const std::string& bytes) const {
        if (::send(server, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("SocketPairConnection: short write");
    }
    void closeServerEnd() {
        close(server);
        server = -1;
    }

    int server = -1;
};

}  // namespace ZURAV
