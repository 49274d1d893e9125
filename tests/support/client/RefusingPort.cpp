#include "support/client/RefusingPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace test_support {

RefusingPort::RefusingPort() {
    _fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (_fd < 0) throw std::system_error(errno, std::generic_category(), "RefusingPort: socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const int err = errno;
        ::close(_fd);
        throw std::system_error(err, std::generic_category(), "RefusingPort: bind");
    }
    _port = ntohs(addr.sin_port);
}

RefusingPort::~RefusingPort() { ::close(_fd); }

}  // namespace test_support
