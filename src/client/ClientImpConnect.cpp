#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>

#include "api/ClientConnectMessage.h"
#include "api/ConnectResponseMessage.h"
#include "api/MsgFactory.h"
#include "client/BuildInfo.h"
#include "client/ClientImp.h"
#include "logging/Log.h"

OX_LOG_DECLARE_LOGGER("API")

namespace ZURAV {

namespace {

// The first IPv4 address of host, in network byte order; false when it has none. Reentrant,
// unlike the classic resolver, since several clients may connect on several threads.
bool resolve(const std::string& host, in_addr& address) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

typedef std::chrono::steady_clock Clock;

// Milliseconds from now to deadline, rounded up; 0 once it has passed.
int millisUntil(Clock::time_point deadline) {
    const Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto millis = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return millis > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                    : static_cast<int>(millis);
}

// Whether a login failed because of its connection rather than by the server's choice.
bool lostWithConnection(APIResult::Type result) {
    return result == APIResult::TIMEOUT || result == APIResult::SOCKERR_CLOSED ||
           result == APIResult::SOCKERR_READING || result == APIResult::SOCKERR_WRITING;
}

// Order ids: the session id above a counter of this many bits.
const short ORDER_COUNTER_BITS = 40;

// What connect returns for a refused login.
APIResult::Type refusal(ConnectionResponse::Type code) {
    switch (code) {
        case ConnectionResponse::FAILED_INVALID_USER:
            return APIResult::INVALID_USER;
        case ConnectionResponse::FAILED_INVALID_PASSWORD:
            return APIResult::INVALID_PASSWORD;
        case ConnectionResponse::FAILED_USER_ALREADY_CONNECTED:
            return APIResult::USER_ALREADY_CONNECTED;
        case ConnectionResponse::FAILED_INCOMPATIBLE_PROTOCOL:
            return APIResult::INCOMPATIBLE_PROTOCOL;
        case ConnectionResponse::FAILED_USER_LOCKED:
            return APIResult::USER_LOCKED;
        case ConnectionResponse::FAILED_SYSTEM_LOCKED:
            return APIResult::SYSTEM_LOCKED;
        default:
            // FAILED_OTHER, and codes outside the table, which must never pass for a success.
            return APIResult::COULD_NOT_LOGIN;
    }
}

}  // namespace

APIResult::Type ClientImp::connect(bool checkRunning) {
    if (checkRunning && isRunning()) {
        OX_LOG_INFO("Attempt to connect a running client.");
        return APIResult::IS_RUNNING;
    }
    if (isConnected()) {
        OX_LOG_INFO("Attempt to connect already connected client.");
        return APIResult::IS_CONNECTED;
    }
    APIResult::Type result = connectMany();
    while (result == APIResult::OK) {
        result = login();
        // A login lost with its connection says nothing of the other server, which may be the
        // one still alive: the pass goes on. A refusal or a protocol error ends it.
        if (!lostWithConnection(result)) return result;
        result = connectFrom(_currentServer + 1, result);
    }
    return result;
}

APIResult::Type ClientImp::login() {
    _receivedConnectResponse = false;
    try {
        dispatch(true);
    } catch (...) {
        // The login is over without an answer: nothing may keep the connection.
        _receivedConnectResponse = false;
        closeSockets();
        throw;
    }
    const bool answered = _receivedConnectResponse;
    _receivedConnectResponse = false;
    setDispatchThread(std::this_thread::get_id());
    // A stop during the login loop of a reconnection ends it without an answer: not a login.
    if (!answered) recordFailure(APIResult::NOT_CONNECTED);
    const APIResult::Type status = _exitStatus;
    if (status != APIResult::OK) {
        closeSockets();
    } else {
        setConnected(true);
    }
    return status;
}

void ClientImp::handle(const ShpOXMessage&, const ConnectResponseMessage& msg) {
    // A second answer on a live session would replace its session id and order ids, or end it.
    if (isConnected()) {
        OX_LOG_WARN("Login answer while logged in; ignored.");
        return;
    }
    if (msg.connectionResponse == ConnectionResponse::SUCCESS) {
        _sessionID = msg.sessionID;
        boost::lock_guard<boost::mutex> lock(_sendlock);
        _orderIDs.reset(new IdAllocator(_sessionID, ORDER_COUNTER_BITS));
    } else {
        _exitStatus = refusal(msg.connectionResponse);
        requestStop();
    }
    _receivedConnectResponse = true;
}

APIResult::Type ClientImp::connectMany() {
    if (_numServers < 1) return APIResult::COULD_NOT_CONNECT;
    return connectFrom(0, APIResult::COULD_NOT_CONNECT);
}

APIResult::Type ClientImp::connectFrom(int first, APIResult::Type result) {
    for (int i = first; i < _numServers; ++i) {
        const OXServer& server = _servers[i];
        if (_debugMessages) {
            OX_LOG_INFO("Attempting to connect to " << server.host << ':' << server.port);
        }
        if (server.host.empty()) continue;
        // Only a reconnection inside run() can have one: the application wants no connection.
        if (applicationStopRequested()) return APIResult::NOT_CONNECTED;
        _currentServer = i;
        result = connectOne(server.host, server.port);
        if (result == APIResult::OK) return APIResult::OK;
    }
    return applicationStopRequested() ? APIResult::NOT_CONNECTED : result;
}

APIResult::Type ClientImp::connectOne(const std::string& host, int port) {
    if (_debugMessages) OX_LOG_INFO("connectOne(" << host << ", " << port << ")");
    {
        boost::lock_guard<boost::mutex> lock(_runlock);
        _stopRequested = false;
        // The attempt reports its own failures, never one left from an earlier connection.
        _exitStatus = APIResult::OK;
    }
    clearConfiguration();
    clearBuffers();

    int readFd = -1;
    int writeFd = -1;
    if (std::sscanf(host.c_str(), "pipes:%d,%d", &readFd, &writeFd) == 2) {
        startConnection(readFd, writeFd);
        OX_LOG_INFO("Testing with pipes.");
    } else {
        in_addr address;
        if (!resolve(host, address)) {
            OX_LOG_ERROR("Could not get IP address.");
            return APIResult::SOCKERR_DNS;
        }
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd == -1) {
            OX_LOG_ERROR("Error creating socket: " << systemError(errno));
            return APIResult::SOCKERR_CREATE;
        }
        const int on = 1;
        if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
            OX_LOG_ERROR("Could not disable Nagle's algorithm.");
            ::close(fd);
            return APIResult::SOCKERR_CREATE;
        }
        sockaddr_in server;
        std::memset(&server, 0, sizeof server);
        server.sin_family = AF_INET;
        server.sin_addr = address;
        server.sin_port = htons(static_cast<uint16_t>(port));
        // The session's requests see the socket only once it is connected.
        const APIResult::Type connected = connectSocket(fd, server);
        if (connected != APIResult::OK) {
            ::close(fd);
            return connected;
        }
        startConnection(fd, fd);
    }
    const int flags = fcntl(_rsock, F_GETFL);
    if (flags != -1) fcntl(_rsock, F_SETFL, flags | O_NONBLOCK);

    APIResult::Type result = send(getVersionMessage());
    if (result == APIResult::OK) {
        const ShpOXMessage sm = MsgFactory::createMessage(ClientConnectMessage::ID);
        ClientConnectMessage& login = sm->getRef<ClientConnectMessage>();
        login.user = _username;
        login.password = _password;
        result = send(sm);
    }
    if (result != APIResult::OK) closeSockets();
    return result;
}

APIResult::Type ClientImp::connectSocket(int fd, const sockaddr_in& server) {
    // A blocking connect would wait for the system's limit (minutes when the server's SYNs are
    // dropped) with no stop able to end it.
    int error = 0;
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) == -1) {
        error = errno;
    } else if (::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        error = errno;
    }
    // Interrupted, the connection goes on being made all the same.
    if (error == EINPROGRESS || error == EINTR) {
        const Timestamp_t period = _timeoutTime;
        const Clock::time_point deadline = Clock::now() + std::chrono::nanoseconds(period);
        // Watched for the application's stop, which writes a wake-up.
        int wakeups = _rpipe;
        for (;;) {
            if (applicationStopRequested()) return APIResult::NOT_CONNECTED;
            int timeout = -1;  // with heartbeats off, until the system gives up
            if (period > 0) {
                timeout = millisUntil(deadline);
                if (timeout == 0) {
                    error = ETIMEDOUT;
                    break;
                }
            }
            pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeups, POLLIN, 0}};
            const int n = ::poll(fds, 2, timeout);
            if (n < 0) {
                if (errno == EINTR) continue;
                error = errno;
                break;
            }
            if (fds[1].revents != 0) {
                char bytes[256];
                // The loop is not running: its wake-ups are of no use to anyone. A pipe that
                // fails is not watched any more; the loop will report it.
                const ssize_t got = ::read(wakeups, bytes, sizeof bytes);
                if (got == 0 || (got < 0 && errno != EINTR)) wakeups = -1;
            }
            if (fds[0].revents != 0) {
                socklen_t length = sizeof error;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
                break;
            }
        }
    }
    if (error != 0) {
        OX_LOG_ERROR("Error: " << systemError(error));
        return APIResult::SOCKERR_CONNECT;
    }
    return APIResult::OK;
}

void ClientImp::startConnection(int rsock, int wsock) {
    boost::lock_guard<boost::recursive_mutex> recv(_recvlock);
    boost::lock_guard<boost::mutex> send(_sendlock);
    boost::lock_guard<boost::mutex> run(_runlock);
    _rsock = rsock;
    _wsock = wsock;
    _inbuffer.clear();
    _outbuffer.clear();
    _stopRequested = false;
    _exitStatus = APIResult::OK;
}

void ClientImp::closeSocketsInOrder() {
    boost::lock_guard<boost::recursive_mutex> recv(_recvlock);
    if (_wsock != -1) ::shutdown(_wsock, SHUT_WR);  // not a socket: nothing to end
    if (_rsock != -1) {
        // Bounded: a server that keeps sending cannot hold close() here.
        char bytes[4096];
        for (int reads = 0; reads < 256; ++reads) {
            const ssize_t n = ::recv(_rsock, bytes, sizeof bytes, MSG_DONTWAIT);
            if (n > 0) continue;
            if (n < 0 && errno == EINTR) continue;
            break;
        }
    }
    closeSockets();
}

void ClientImp::closeSockets() {
    boost::lock_guard<boost::recursive_mutex> recv(_recvlock);
    boost::lock_guard<boost::mutex> send(_sendlock);
    if (_rsock != -1) ::close(_rsock);
    if (_wsock != -1 && _wsock != _rsock) ::close(_wsock);
    _rsock = -1;
    _wsock = -1;
}

}  // namespace ZURAV
