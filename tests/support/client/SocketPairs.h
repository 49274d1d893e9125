#pragma once

#include <string>
#include <utility>

namespace test_support {

// The two local socket pairs that stand in for one connection in the client's descriptor-pair
// mode ("pipes:<read>,<write>"): the client reads clientRead() and writes clientWrite(); the
// server writes and reads the other ends. Reading and writing on different descriptors lets a
// test see that the client keeps the two apart. Not copyable.
//
// Ownership: the object closes every end it still holds when destroyed. handOverClientEnds()
// and takeServerEnds() give ends away (to the client, which closes them itself, and to
// TestServer::adopt).
class SocketPairs {
  public:
    // Throws std::system_error when a pair cannot be made.
    SocketPairs();
    ~SocketPairs();
    SocketPairs(const SocketPairs&) = delete;
    SocketPairs& operator=(const SocketPairs&) = delete;

    int clientRead() const { return _clientRead; }
    int clientWrite() const { return _clientWrite; }
    // "pipes:<clientRead>,<clientWrite>"; the object no longer holds the client's ends.
    std::string handOverClientEnds();
    // {read, write} for the server; the object no longer holds them.
    std::pair<int, int> takeServerEnds();

  private:
    int _clientRead = -1;
    int _serverWrite = -1;  // the other end of _clientRead
    int _clientWrite = -1;
    int _serverRead = -1;  // the other end of _clientWrite
};

}  // namespace test_support
