#pragma once

#include <chrono>

namespace test_support {

// A port on 127.0.0.1 whose listener never accepts and whose accept queue is full: the system
// drops the SYNs of a connection attempt, which then neither succeeds nor fails until the
// connecting side gives up, as with a server host that is down. Not copyable.
class FullQueuePort {
  public:
    // Throws std::system_error when the listener cannot be made or filled.
    FullQueuePort();
    ~FullQueuePort();
    FullQueuePort(const FullQueuePort&) = delete;
    FullQueuePort& operator=(const FullQueuePort&) = delete;

    int port() const { return _port; }
    // Waits until a connection attempt to the port is under way (a socket of this network
    // namespace waiting for its SYN's answer) or the timeout passes; whether one is.
    bool waitForAttempt(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  private:
    int _listener = -1;
    int _queued = -1;  // the connection that fills the queue
    int _port = 0;
};

}  // namespace test_support
