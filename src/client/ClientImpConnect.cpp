#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

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
    const APIResult::Type result = connectMany();
    if (result != APIResult::OK) return result;
    {
        boost::lock_guard<boost::mutex> lock(_runlock);
        _exitStatus = APIResult::OK;
    }
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
    APIResult::Type result = APIResult::COULD_NOT_CONNECT;
    for (int i = 0; i < _numServers; ++i) {
        const OXServer& server = _servers[i];
        if (_debugMessages) {
            OX_LOG_INFO("Attempting to connect to " << server.host << ':' << server.port);
        }
        if (server.host.empty()) continue;
        _currentServer = i;
        result = connectOne(server.host, server.port);
        if (result == APIResult::OK) return APIResult::OK;
    }
    return result;
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
        setSockets(readFd, writeFd);
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
        setSockets(fd, fd);
        const int on = 1;
        if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
            OX_LOG_ERROR("Could not disable Nagle's algorithm.");
            closeSockets();
            return APIResult::SOCKERR_CREATE;
        }
        sockaddr_in server;
        std::memset(&server, 0, sizeof server);
        server.sin_family = AF_INET;
        server.sin_addr = address;
        server.sin_port = htons(static_cast<uint16_t>(port));
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
            OX_LOG_ERROR("Error: " << systemError(errno));
            closeSockets();
            return APIResult::SOCKERR_CONNECT;
        }
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

void ClientImp::setSockets(int rsock, int wsock) {
    boost::lock_guard<boost::recursive_mutex> recv(_recvlock);
    boost::lock_guard<boost::mutex> send(_sendlock);
    _rsock = rsock;
    _wsock = wsock;
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
