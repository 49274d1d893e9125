#include "client/ClientImp.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "api/ZURAVProtocol.h"
#include "common/Util.h"

namespace ZURAV {

namespace {

const char* const PIPE_ERROR = "Error creating notification pipe.";

const char* checked(const char* text, const char* what) {
    // Read as text at once: a null would be undefined behaviour, not an empty name.
    if (text == nullptr) throw std::invalid_argument(std::string("OXClient: null ") + what);
    return text;
}

}  // namespace

ClientImp::ClientImp(OXClient* parent, const char* username, const char* password,
                     const char* hostname1, int port1, const char* hostname2, int port2)
    : _parent(parent),
      _username(checked(username, "user name")),
      _password(checked(password, "password")),
      _numServers(hostname2 != nullptr ? 2 : 1),
      _bufferSize(BUFFER_SIZE),
      _bufferMargin(BUFFER_MARGIN),
      _rpipe(-1),
      _wpipe(-1),
      _useHeartbeat(true),
      _sleepTime(SLEEP_TIME),
      _timeoutTime(TIMEOUT_TIME),
      _debugMessages(false),
      _stickySubscriptions(false),
      _clearSubscriptionsOnStop(true),
      _inbuffer(_bufferSize),
      _rsock(-1),
      _currentServer(0),
      _sessionID(0),
      _lastReceivedSeqNo(0),
      _lastSentSeqNo(0),
      _logHeartbeatSeqMismatch(true),
      _receivedConnectResponse(false),
      _outbuffer(BUFFER_SIZE),
      _wsock(-1),
      _handler(nullptr),
      _stopRequested(false),
      _exitStatus(APIResult::OK),
      _connected(false),
      _lastOrigFeedSequenceID(0),
      _batchDefID(0) {
    _servers[0].host = checked(hostname1, "host name");
    _servers[0].port = port1;
    if (hostname2 != nullptr) {
        _servers[1].host = hostname2;
        _servers[1].port = port2;
    }
    _inbuffer.clear();
    _outbuffer.clear();

    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error(PIPE_ERROR);
    // A wake-up is one byte; when the pipe is full the loop is woken already, so the write end
    // never blocks a sender that holds the send lock.
    const int flags = fcntl(fds[1], F_GETFL);
    if (flags == -1 || fcntl(fds[1], F_SETFL, flags | O_NONBLOCK) == -1) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw std::runtime_error(PIPE_ERROR);
    }
    _rpipe = fds[0];
    _wpipe = fds[1];
    setUseHeartbeat(true);
}

ClientImp::~ClientImp() {
    ::close(_rpipe);
    ::close(_wpipe);
    _rpipe = -1;
    _wpipe = -1;
    // A client destroyed without close() would otherwise leak its connection, which the server
    // would then keep as a live session.
    closeSockets();
}

void ClientImp::setUseHeartbeat(bool use) {
    _useHeartbeat = use;
    _timeoutTime = use ? TIMEOUT_TIME : 0;
    _sleepTime = use ? SLEEP_TIME : 0;
}

void ClientImp::setDebug(boolean debug) {
    if (Orbanex::Util::isDeveloper()) _debugMessages = debug;
}

void ClientImp::setStickySubscriptions(boolean sticky) { _stickySubscriptions = sticky; }

void ClientImp::setStickySubscriptions(boolean sticky, boolean clearSubscriptionsOnStop) {
    _stickySubscriptions = sticky;
    _clearSubscriptionsOnStop = clearSubscriptionsOnStop;
}

boolean ClientImp::isConnected() const {
    boost::lock_guard<boost::mutex> lock(_connectlock);
    return _connected;
}

void ClientImp::setConnected(boolean connected) {
    boost::lock_guard<boost::mutex> lock(_connectlock);
    _connected = connected;
}

boolean ClientImp::isRunning() const {
    boost::lock_guard<boost::mutex> lock(_runlock);
    return _handler != nullptr;
}

boolean ClientImp::isStopRequested() const {
    boost::lock_guard<boost::mutex> lock(_runlock);
    return _stopRequested;
}

void ClientImp::get(int& fd1, int& fd2) const {
    boost::lock_guard<boost::recursive_mutex> lock(_recvlock);
    fd1 = _rsock;
    fd2 = _rpipe;
}

const char* ClientImp::getSignature() const { return API_SIGNATURE; }

APIResult::Type ClientImp::recordFailure(APIResult::Type result) {
    APIResult::Type expected = APIResult::OK;
    if (_exitStatus.compare_exchange_strong(expected, result)) return result;
    return expected;
}

void ClientImp::requestStop() {
    boost::lock_guard<boost::mutex> lock(_runlock);
    _stopRequested = true;
}

APIResult::Type ClientImp::failAndStop(APIResult::Type result) {
    const APIResult::Type standing = recordFailure(result);
    requestStop();
    return standing;
}

}  // namespace ZURAV
