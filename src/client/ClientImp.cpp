#include "client/ClientImp.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "api/InsertLogMessage.h"
#include "api/MsgFactory.h"
#include "api/ZURAVProtocol.h"
#include "common/Util.h"
#include "logging/Log.h"

OX_LOG_DECLARE_LOGGER("API")

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
    if (pipe(fds) != 0) {
        OX_LOG_ERROR(PIPE_ERROR);
        throw std::runtime_error(PIPE_ERROR);
    }
    // A wake-up is one byte; when the pipe is full the loop is woken already, so the write end
    // never blocks a sender that holds the send lock.
    const int flags = fcntl(fds[1], F_GETFL);
    if (flags == -1 || fcntl(fds[1], F_SETFL, flags | O_NONBLOCK) == -1) {
        ::close(fds[0]);
        ::close(fds[1]);
        OX_LOG_ERROR(PIPE_ERROR);
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
    return _stopRequested || _applicationStop;
}

void ClientImp::get(int& fd1, int& fd2) const {
    boost::lock_guard<boost::recursive_mutex> lock(_recvlock);
    fd1 = _rsock;
    fd2 = _rpipe;
}

const char* ClientImp::getSignature() const { return API_SIGNATURE; }

APIResult::Type ClientImp::setlog(const char* directory, bool aenable) {
    if (directory == nullptr) return APIResult::NOT_IMPLEMENTED;
    if (access(directory, W_OK) != 0) return APIResult::COULD_NOT_OPEN;
    Orbanex::LogManager* const manager = Orbanex::LogManager::instance();
    // Before the library is initialised there is no log manager to configure.
    if (manager == nullptr) return APIResult::COULD_NOT_OPEN;
    // A log file that cannot be created is reported instead of ending the process (even a
    // writable directory may refuse it: a full disk, or a name that is not a directory for a
    // process that access() lets through).
    const bool opened = manager->configure(directory, "ZURAV", 1073741824, 0, false, true,
                                           1073741824, false, aenable, true, 128, 1000000, "");
    manager->setLogLevel(Orbanex::LogLevel::LOGDEBUG);
    return opened ? APIResult::OK : APIResult::COULD_NOT_OPEN;
}

void ClientImp::log(const char* message, LogLevel::Type level) {
    const char* const text = message != nullptr ? message : "";
    OX_LOG_INFO(text);
    const ShpOXMessage sm = MsgFactory::createMessage(InsertLogMessage::ID);
    InsertLogMessage& msg = sm->getRef<InsertLogMessage>();
    msg.description = text;
    msg.level = level;
    send(sm);
}

std::string ClientImp::systemError(int error) {
    char text[256];
    return strerror_r(error, text, sizeof text);
}

APIResult::Type ClientImp::recordFailure(APIResult::Type result) {
    APIResult::Type expected = APIResult::OK;
    if (_exitStatus.compare_exchange_strong(expected, result)) return result;
    // A callback's exception ended the last loop, not the connection: the connection's first
    // failure takes its place, so that a request whose write fails never reports an exception.
    if (expected == APIResult::EXCEPTION_THROWN &&
        _exitStatus.compare_exchange_strong(expected, result)) {
        return result;
    }
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
