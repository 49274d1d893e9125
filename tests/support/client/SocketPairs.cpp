#include "support/client/SocketPairs.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace test_support {

namespace {

void closeIfHeld(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

SocketPairs::SocketPairs() {
    int toClient[2];
    int fromClient[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, toClient) != 0)
        throw std::system_error(errno, std::generic_category(), "SocketPairs: socketpair");
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fromClient) != 0) {
        const int err = errno;
        ::close(toClient[0]);
        ::close(toClient[1]);
        throw std::system_error(err, std::generic_category(), "SocketPairs: socketpair");
    }
    _clientRead = toClient[0];
    _serverWrite = toClient[1];
    _clientWrite = fromClient[0];
    _serverRead = fromClient[1];
}

SocketPairs::~SocketPairs() {
    closeIfHeld(_clientRead);
    closeIfHeld(_clientWrite);
    closeIfHeld(_serverRead);
    closeIfHeld(_serverWrite);
}

std::string SocketPairs::handOverClientEnds() {
    const std::string host =
        "pipes:" + std::to_string(_clientRead) + "," + std::to_string(_clientWrite);
    _clientRead = _clientWrite = -1;
    return host;
}

std::pair<int, int> SocketPairs::takeServerEnds() {
    const std::pair<int, int> ends(_serverRead, _serverWrite);
    _serverRead = _serverWrite = -1;
    return ends;
}

}  // namespace test_support
