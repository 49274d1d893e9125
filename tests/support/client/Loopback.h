#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace test_support {

// Binds the socket fd to 127.0.0.1:port (0: a free port the system picks) and returns the
// address bound, its port filled in. Throws std::system_error, naming who, when it cannot; fd
// stays the caller's to close.
inline sockaddr_in bindLoopback(int fd, int port, const char* who) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw std::system_error(errno, std::generic_category(), std::string(who) + ": bind");
    }
    return addr;
}

}  // namespace test_support
