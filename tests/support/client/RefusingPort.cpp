#include "support/client/RefusingPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "support/client/Loopback.h"

namespace test_support {

RefusingPort::RefusingPort() {
    _fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (_fd < 0) throw std::system_error(errno, std::generic_category(), "RefusingPort: socket");
    try {
        _port = ntohs(bindLoopback(_fd, 0, "RefusingPort").sin_port);
    } catch (...) {
        ::close(_fd);
        throw;
    }
}

RefusingPort::~RefusingPort() { ::close(_fd); }

}  // namespace test_support
