#pragma once

namespace test_support {

// A port on 127.0.0.1 that refuses TCP connections: a socket bound to it that never listens,
// so nothing else can take the port while the object lives. Not copyable.
class RefusingPort {
  public:
    // Throws std::system_error when no socket can be bound.
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    int port() const { return _port; }

  private:
    int _fd = -1;
    int _port = 0;
};

}  // namespace test_support
