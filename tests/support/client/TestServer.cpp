#include "support/client/TestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "api/ClientConnectMessage.h"
#include "api/ConnectResponseMessage.h"
#include "api/ImHereMessage.h"
#include "api/RuThereMessage.h"
#include "support/client/Loopback.h"

namespace test_support {

namespace {

int64_t realTime() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        throwErrno("TestServer: fcntl(O_NONBLOCK)");
}

std::string hexId(ZURAV::MsgType_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", id);
    return text;
}

}  // namespace

// ---- record and script ----

size_t ConnectionRecord::count(ZURAV::MsgType_t id) const {
    return static_cast<size_t>(std::count_if(frames.begin(), frames.end(),
                                             [id](const auto& f) { return f.header.id == id; }));
}

const ReceivedFrame* ConnectionRecord::find(ZURAV::MsgType_t id, size_t nth) const {
    for (const ReceivedFrame& f : frames)
        if (f.header.id == id && nth-- == 0) return &f;
    return nullptr;
}

Behaviour Behaviour::refuse(ZURAV::ConnectionResponse::Type code) {
    Behaviour b;
    b.login = Login::REFUSE;
    b.refusal = code;
    return b;
}

Behaviour Behaviour::malformedAnswer(Malformed kind) {
    Behaviour b;
    b.login = Login::MALFORMED;
    b.malformed = kind;
    return b;
}

Behaviour Behaviour::silent() {
    Behaviour b;
    b.login = Login::SILENT;
    b.answerPings = false;
    b.answerRequests = false;
    return b;
}

Behaviour Behaviour::closeAtOnce() {
    Behaviour b;
    b.login = Login::CLOSE;
    return b;
}

void Reply::send(const ZURAV::OXMessage& msg) { _frames.push_back(frameOf(msg, _clock())); }

// ---- server state ----

// One connection being served; server thread only.
struct TestServer::Connection {
    struct Write {
        std::string bytes;
        size_t afterFrames;  // written once this many frames have been received
    };

    size_t index = 0;  // into the record
    int readFd = -1;
    int writeFd = -1;
    Behaviour behaviour;
    std::string input;    // received bytes not framed yet
    bool framing = true;  // false once input could not be framed
    std::deque<Write> output;
    size_t written = 0;  // bytes of output.front() already written
    size_t framesReceived = 0;
    int pings = 0;
    bool loginAnswered = false;
    bool writeShut = false;
    bool gone = false;
    ZURAV::ClientSessionID_t sessionID = 0;

    bool wantsWrite() const {
        return !writeShut && !output.empty() && output.front().afterFrames <= framesReceived;
    }
};

struct TestServer::Task {
    std::function<void()> fn;
    bool done = false;  // guarded by the server's mutex
    std::exception_ptr error;
};

TestServer::TestServer(Clock clock, int port) : _clock(clock ? std::move(clock) : Clock(realTime)) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) throwErrno("TestServer: pipe");
    _wakeRead = pipeFds[0];
    _wakeWrite = pipeFds[1];
    try {
        _listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (_listener < 0) throwErrno("TestServer: socket");
        // A given port may still hold connections of an earlier run in TIME_WAIT.
        const int on = 1;
        ::setsockopt(_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        _port = ntohs(bindLoopback(_listener, port, "TestServer").sin_port);
        if (::listen(_listener, 16) != 0) throwErrno("TestServer: listen");
    } catch (...) {
        if (_listener >= 0) ::close(_listener);
        ::close(_wakeRead);
        ::close(_wakeWrite);
        throw;
    }
    _thread = std::thread(&TestServer::serve, this);
}

TestServer::~TestServer() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stopping = true;
    }
    wake();
    _thread.join();
    for (auto& c : _connections) {
        ::close(c->readFd);
        if (c->writeFd != c->readFd) ::close(c->writeFd);
    }
    if (_listener >= 0) ::close(_listener);
    ::close(_wakeRead);
    ::close(_wakeWrite);
}

// ---- script and record, any thread ----

void TestServer::queue(Behaviour b) {
    std::lock_guard<std::mutex> lock(_mutex);
    _script.push_back(std::move(b));
}

void TestServer::setDefault(Behaviour b) {
    std::lock_guard<std::mutex> lock(_mutex);
    _default = std::move(b);
}

void TestServer::respond(ZURAV::MsgType_t id, Responder responder) {
    std::lock_guard<std::mutex> lock(_mutex);
    _responders[id] = std::move(responder);
}

TestServer::Record TestServer::record() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _record;
}

bool TestServer::waitFor(const std::function<bool(const Record&)>& done, Timeout timeout) const {
    std::unique_lock<std::mutex> lock(_mutex);
    return _changed.wait_for(lock, timeout, [&] { return done(_record); });
}

bool TestServer::waitForConnections(size_t n, Timeout timeout) const {
    return waitFor([n](const Record& r) { return r.size() >= n; }, timeout);
}

bool TestServer::waitForFrames(size_t n, Timeout timeout) const {
    return waitFor([n](const Record& r) { return !r.empty() && r.back().frames.size() >= n; },
                   timeout);
}

bool TestServer::waitForMessages(ZURAV::MsgType_t id, size_t n, Timeout timeout) const {
    return waitFor([id, n](const Record& r) { return !r.empty() && r.back().count(id) >= n; },
                   timeout);
}

// ---- commands ----

void TestServer::command(std::function<void()> fn) {
    if (std::this_thread::get_id() == _thread.get_id())
        throw std::logic_error("TestServer: a command from the server thread (a responder?)");
    auto task = std::make_shared<Task>();
    task->fn = std::move(fn);
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _tasks.push_back(task);
    }
    wake();
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [&] { return task->done; });
    if (task->error) std::rethrow_exception(task->error);
}

void TestServer::send(const ZURAV::OXMessage& msg) {
    std::string bytes = frame(msg);
    command([this, &bytes] { write(current(), std::move(bytes)); });
}

void TestServer::sendRaw(const std::string& bytes) {
    command([this, &bytes] { write(current(), bytes); });
}

void TestServer::sendSplit(const ZURAV::OXMessage& msg, size_t firstPart) {
    const std::string bytes = frame(msg);
    if (firstPart == 0 || firstPart >= bytes.size())
        throw std::invalid_argument("TestServer::sendSplit: the first part must be shorter");
    command([this, &bytes, firstPart] {
        Connection& c = current();
        write(c, bytes.substr(0, firstPart));
        write(c, bytes.substr(firstPart), c.framesReceived + 1);
    });
}

void TestServer::update(const std::function<void(Behaviour&)>& change) {
    command([this, &change] {
        Connection& c = current();
        change(c.behaviour);
        flush(c);
    });
}

void TestServer::closeConnection() {
    command([this] { shutWrite(current()); });
}

void TestServer::closeListener() {
    command([this] {
        if (_listener >= 0) ::close(_listener);
        _listener = -1;
    });
}

void TestServer::adopt(int readFd, int writeFd) {
    command([this, readFd, writeFd] { take(readFd, writeFd); });
}

void TestServer::crash() {
    command([this] {
        _crashed = true;
        for (auto& c : _connections)
            if (!c->gone) reset(*c);
    });
}

TestServer::Connection& TestServer::current() {
    if (_taken == 0) throw std::runtime_error("TestServer: no connection");
    const size_t last = _taken - 1;
    for (auto& c : _connections)
        if (c->index == last && !c->gone && !c->writeShut) return *c;
    throw std::runtime_error("TestServer: connection " + std::to_string(last) + " is closed");
}

void TestServer::wake() const {
    const char byte = 0;
    // A full pipe already wakes the server thread.
    while (::write(_wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
}

// ---- server thread ----

template <class Fn>
void TestServer::change(const Connection& c, Fn fn) {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        fn(_record[c.index]);
    }
    _changed.notify_all();
}

void TestServer::serve() {
    struct Watch {
        Connection* connection;  // null for the wake-up pipe and the listener
        bool forWrite;
    };
    std::vector<pollfd> fds;
    std::vector<Watch> watches;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            if (_stopping) return;
        }
        fds.clear();
        watches.clear();
        fds.push_back({_wakeRead, POLLIN, 0});
        watches.push_back({nullptr, false});
        if (_listener >= 0) {
            fds.push_back({_listener, POLLIN, 0});
            watches.push_back({nullptr, false});
        }
        for (auto& c : _connections) {
            // After a half close the server reads on until the client closes its side.
            if (c->behaviour.read || c->writeShut) {
                fds.push_back({c->readFd, POLLIN, 0});
                watches.push_back({c.get(), false});
            }
            if (c->wantsWrite()) {
                fds.push_back({c->writeFd, POLLOUT, 0});
                watches.push_back({c.get(), true});
            }
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            throwErrno("TestServer: poll");
        }
        if (fds[0].revents != 0) {
            char drain[64];
            while (::read(_wakeRead, drain, sizeof drain) > 0) {
            }
            runTasks();
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            Connection* c = watches[i].connection;
            if (c == nullptr) {
                // A task may have closed the listener in this round.
                if (_listener >= 0) acceptOne();
            } else if (c->gone) {
                continue;
            } else if (watches[i].forWrite) {
                flush(*c);
            } else if (c->behaviour.read || c->writeShut) {
                readFrom(*c);
            }
        }
        _connections.erase(std::remove_if(_connections.begin(), _connections.end(),
                                          [](const auto& c) { return c->gone; }),
                           _connections.end());
    }
}

void TestServer::runTasks() {
    for (;;) {
        std::shared_ptr<Task> task;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            if (_tasks.empty()) return;
            task = _tasks.front();
            _tasks.pop_front();
        }
        try {
            task->fn();
        } catch (...) {
            task->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(_mutex);
            task->done = true;
        }
        _changed.notify_all();
    }
}

void TestServer::acceptOne() {
    const int fd = ::accept4(_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // gone before it was taken, or no descriptor left: nothing to serve
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    take(fd, fd);
}

void TestServer::take(int readFd, int writeFd) {
    setNonBlocking(readFd);
    if (writeFd != readFd) setNonBlocking(writeFd);
    auto c = std::make_unique<Connection>();
    c->readFd = readFd;
    c->writeFd = writeFd;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_script.empty()) {
            c->behaviour = _default;
        } else {
            c->behaviour = std::move(_script.front());
            _script.pop_front();
        }
        c->index = _record.size();
        _record.emplace_back();
        _taken = _record.size();
    }
    _changed.notify_all();
    _connections.push_back(std::move(c));
    Connection& taken = *_connections.back();
    if (taken.behaviour.login == Behaviour::Login::CLOSE) shutWrite(taken);
}

void TestServer::readFrom(Connection& c) {
    char buf[65536];
    const ssize_t n = ::read(c.readFd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
        if (n < 0 && errno == ECONNRESET) change(c, [](ConnectionRecord& r) { r.reset = true; });
        release(c);
        return;
    }
    if (!c.framing) return;
    c.input.append(buf, static_cast<size_t>(n));
    size_t pos = 0;
    while (!c.gone && c.input.size() - pos >= FRAME_HEADER_SIZE) {
        ReceivedFrame f;
        f.header = parseHeader(c.input.data() + pos);
        if (f.header.length < MIN_FRAME_LENGTH || f.header.length > MAX_FRAME_LENGTH) {
            c.framing = false;
            const std::string error = "frame length " + std::to_string(f.header.length) +
                                      " outside 10..32768; input no longer framed";
            change(c, [&](ConnectionRecord& r) { r.errors.push_back(error); });
            break;
        }
        const size_t size = f.header.length + 2u;
        if (c.input.size() - pos < size) break;
        f.body = c.input.substr(pos + FRAME_HEADER_SIZE, size - FRAME_HEADER_SIZE);
        try {
            f.message = ZURAV::OXMessage::decodeMessage(f.header.id, f.body.data(), f.body.size());
        } catch (const std::exception&) {
            f.message.reset();  // recorded as not decoded
        }
        pos += size;
        handleFrame(c, std::move(f));
    }
    if (c.framing)
        c.input.erase(0, pos);
    else
        c.input.clear();
}

void TestServer::handleFrame(Connection& c, ReceivedFrame frame) {
    // The reaction is written before the frame enters the record: a test that sees the frame
    // knows that every answer to it has been written.
    ++c.framesReceived;
    if (_crashed && frame.as<ZURAV::ClientConnectMessage>() != nullptr) {
        // Dying, the server took the whole login: only the client's reading can learn of it.
        change(c, [&](ConnectionRecord& r) { r.frames.push_back(std::move(frame)); });
        reset(c);
        return;
    }
    if (frame.decoded()) {
        if (frame.header.id == ZURAV::ClientConnectMessage::ID && !c.loginAnswered) {
            c.loginAnswered = true;
            answerLogin(c);
        } else if (const auto* ping = frame.as<ZURAV::RuThereMessage>()) {
            ++c.pings;
            if (c.behaviour.answerPings && c.pings != c.behaviour.dropPingAnswer) {
                const int64_t now = _clock();
                ZURAV::ImHereMessage answer;
                answer.dpdSeqNo = ping->dpdSeqNo;
                answer.timeApiClient = ping->timeApiClient;
                answer.timeApiServer = now;
                write(c, frameOf(answer, now));
            }
        } else {
            answerRequest(c, frame);
        }
    }
    flush(c);  // a write held back for this frame may go now
    change(c, [&](ConnectionRecord& r) { r.frames.push_back(std::move(frame)); });
}

void TestServer::answerLogin(Connection& c) {
    const Behaviour& b = c.behaviour;
    if (b.login == Behaviour::Login::SILENT || b.login == Behaviour::Login::CLOSE) return;
    std::vector<std::string> frames;
    for (const auto& config : b.configs) frames.push_back(frameOf(config, _clock()));
    for (const auto& last : b.lastSequenceIDs) frames.push_back(frameOf(last, _clock()));
    ZURAV::ConnectResponseMessage answer;
    if (b.login == Behaviour::Login::REFUSE) {
        answer.connectionResponse = b.refusal;
        answer.text = "Login refused.";
    } else {
        answer.connectionResponse = ZURAV::ConnectionResponse::SUCCESS;
        answer.sessionID = c.sessionID = ++_lastSessionID;
        change(c, [&](ConnectionRecord& r) { r.sessionID = c.sessionID; });
        if (b.login == Behaviour::Login::MALFORMED)
            frames.push_back(malformedFrame(b.malformed, _clock()));
    }
    frames.push_back(frameOf(answer, _clock()));
    if (b.loginInOneWrite) {
        std::string all;
        for (const std::string& f : frames) all += f;
        write(c, std::move(all));
    } else {
        for (std::string& f : frames) write(c, std::move(f));
    }
}

void TestServer::answerRequest(Connection& c, const ReceivedFrame& frame) {
    if (!c.behaviour.answerRequests) return;
    Responder responder;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        const auto it = _responders.find(frame.header.id);
        if (it == _responders.end()) return;
        responder = it->second;
    }
    Reply reply(_clock, c.sessionID, c.index);
    try {
        responder(frame, reply);
    } catch (const std::exception& e) {
        const std::string error = "responder for " + hexId(frame.header.id) + ": " + e.what();
        change(c, [&](ConnectionRecord& r) { r.errors.push_back(error); });
        return;
    }
    for (std::string& f : reply._frames) write(c, std::move(f));
}

void TestServer::write(Connection& c, std::string bytes, size_t afterFrames) {
    if (c.writeShut) return;
    c.output.push_back({std::move(bytes), afterFrames});
    flush(c);
}

void TestServer::flush(Connection& c) {
    while (c.wantsWrite()) {
        const std::string& bytes = c.output.front().bytes;
        const ssize_t n =
            ::send(c.writeFd, bytes.data() + c.written, bytes.size() - c.written, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            // The client is gone; reading will find the end of the stream.
            c.output.clear();
            c.written = 0;
            return;
        }
        c.written += static_cast<size_t>(n);
        if (c.written == bytes.size()) {
            c.output.pop_front();
            c.written = 0;
        }
        change(c, [n](ConnectionRecord& r) { r.bytesSent += static_cast<size_t>(n); });
    }
}

void TestServer::shutWrite(Connection& c) {
    c.output.clear();
    c.written = 0;
    c.writeShut = true;
    ::shutdown(c.writeFd, SHUT_WR);
}

void TestServer::reset(Connection& c) {
    // Lingering for no time, closing sends a reset instead of an end of stream.
    const linger abort{1, 0};
    ::setsockopt(c.readFd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    if (c.writeFd != c.readFd) ::setsockopt(c.writeFd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(c.readFd);
    if (c.writeFd != c.readFd) ::close(c.writeFd);
    c.gone = true;
}

void TestServer::release(Connection& c) {
    ::close(c.readFd);
    if (c.writeFd != c.readFd) ::close(c.writeFd);
    c.gone = true;
    change(c, [](ConnectionRecord& r) { r.closed = true; });
}

}  // namespace test_support
