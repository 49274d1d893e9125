#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <limits>

#include "api/ImHereMessage.h"
#include "api/MsgFactory.h"
#include "api/RuThereMessage.h"
#include "client/ClientImp.h"
#include "common/TimeUtil.h"
#include "logging/Log.h"

OX_LOG_DECLARE_LOGGER("API")

namespace ZURAV {

using Orbanex::TimeUtil;

namespace {

// The wait of one pass in milliseconds: a period rounded up, so that a short one never turns
// into a loop that does not wait at all.
int periodMillis(Timestamp_t nanos) {
    const Timestamp_t millis = (nanos + TimeUtil::ONE_MSEC - 1) / TimeUtil::ONE_MSEC;
    return millis > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                    : static_cast<int>(millis);
}

}  // namespace

void ClientImp::dispatch(bool loop) {
    boost::lock_guard<boost::recursive_mutex> recv(_recvlock);
    setDispatchThread(std::this_thread::get_id());
    try {
        loopPasses(loop);
    } catch (...) {
        OX_LOG_ERROR("Exception in dispatch");
        recordFailure(APIResult::EXCEPTION_THROWN);
        setDispatchThread(std::thread::id());
        throw;
    }
    setDispatchThread(std::thread::id());
}

void ClientImp::loopPasses(bool loop) {
    Timestamp_t lastRecv = TimeUtil::now();
    Timestamp_t lastPing = 0;
    // Rejections made while no loop with a handler ran wait in the queue, their wake-up taken
    // by a login loop or never seen: this loop wakes itself for them.
    if (loopHandler() != nullptr && hasDeferred()) notifySelector();
    for (;;) {
        bool writing;
        {
            boost::lock_guard<boost::mutex> lock(_sendlock);
            writing = _outbuffer.position() != 0;
        }
        bool stopping = isStopRequested();
        const Timestamp_t sleepTime = _sleepTime;
        const int timeout = stopping || !loop ? 0 : sleepTime > 0 ? periodMillis(sleepTime) : -1;

        // What this thread logged may wait in its log buffer until its next log call: handed
        // over before the wait, it reaches the files while the loop waits.
        Orbanex::LogManager::handOverEntries();
        // poll, not select: no bound on the descriptor numbers. A negative descriptor is not
        // watched.
        pollfd fds[3] = {
            {_rpipe, POLLIN, 0}, {_rsock, POLLIN, 0}, {writing ? _wsock : -1, POLLOUT, 0}};
        int n;
        do {
            n = ::poll(fds, 3, timeout);
        } while (n < 0 && errno == EINTR);
        const Timestamp_t now = TimeUtil::now();
        if (!stopping) stopping = isStopRequested();

        if (n < 0) {
            const int error = errno;
            recordFailure(APIResult::SOCKERR_READING);
            OX_LOG_WARN("Error on calling select(): " << systemError(error));
            return;
        }
        if (loginAnswered()) return;
        if (n == 0 && (!loop || stopping)) return;
        // Silence is judged by the bytes read, whatever woke the loop: wake-ups from requests,
        // or a writable connection, must not keep a dead server alive. A connection with bytes
        // ready now is not silent; processEvents() and a pending stop never time out.
        const Timestamp_t timeoutTime = _timeoutTime;
        if (loop && !stopping && fds[1].revents == 0 && timeoutTime > 0 &&
            now - lastRecv > timeoutTime) {
            OX_LOG_CRITICAL("Timeout on heartbeats, stopping dispatch.");
            recordFailure(APIResult::TIMEOUT);
            return;
        }
        if (_useHeartbeat && !stopping && (n == 0 || now - lastPing > sleepTime)) {
            sendPing(now);
            lastPing = now;
        }
        if (fds[0].revents != 0 && !drainWakeups()) {
            setConnected(false);
            closeSockets();
            return;
        }
        bool readData = false;
        if (fds[1].revents != 0) {
            const ReadOutcome outcome = readConnection();
            if (outcome == ReadOutcome::ENDED) return;
            readData = outcome == ReadOutcome::DATA;
        }
        dispatchDeferred();
        if (fds[2].revents != 0) {
            boost::lock_guard<boost::mutex> lock(_sendlock);
            flushOutBuffer();
        }
        if (readData) lastRecv = TimeUtil::now();
        // An accepted login ends the login loop with this pass, not after the next wait, which
        // with heartbeats off would last until the server next sends something.
        if (loginAnswered()) return;
        if (stopping) return;
    }
}

void ClientImp::setDispatchThread(std::thread::id id) {
    boost::lock_guard<boost::mutex> lock(_runlock);
    _dispatchThreadID = id;
}

bool ClientImp::drainWakeups() {
    char bytes[256];
    ssize_t n;
    do {
        n = ::read(_rpipe, bytes, sizeof bytes);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        // The session holds both ends, so this cannot be an orderly end: never a success.
        OX_LOG_ERROR(
            "Error reading from notification pipe: " << systemError(n < 0 ? errno : EPIPE));
        recordFailure(APIResult::SOCKERR_READING);
        return false;
    }
    // Every wake-up pending is consumed now; the read end blocks, so only what is there is read.
    int pending = 0;
    while (::ioctl(_rpipe, FIONREAD, &pending) == 0 && pending > 0) {
        const size_t want = static_cast<size_t>(pending) < sizeof bytes ? pending : sizeof bytes;
        do {
            n = ::read(_rpipe, bytes, want);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) break;
    }
    return true;
}

ClientImp::ReadOutcome ClientImp::readConnection() {
    if (_inbuffer.remaining() == 0) {
        recordFailure(APIResult::BUFFER_FULL);
        return ReadOutcome::ENDED;
    }
    ssize_t n;
    do {
        n = ::read(_rsock, _inbuffer.current(), _inbuffer.remaining());
    } while (n < 0 && errno == EINTR);
    if (n == 0) {
        OX_LOG_INFO("Socket closed (EOF).");
        recordFailure(APIResult::SOCKERR_CLOSED);
        setConnected(false);
        closeSockets();
        return ReadOutcome::ENDED;
    }
    if (n < 0) {
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK) return ReadOutcome::NOTHING;
        OX_LOG_ERROR("Error reading from socket: '" << systemError(error) << "'");
        recordFailure(APIResult::SOCKERR_READING);
        setConnected(false);
        closeSockets();
        return ReadOutcome::ENDED;
    }
    _inbuffer.advancePosition(static_cast<size_t>(n));
    _inbuffer.flip();
    // Back to filling state however decoding ends: an exception from a handler keeps the
    // frames after the one it interrupted for the next loop call.
    struct Compact {
        Orbanex::Buffer& buffer;
        ~Compact() { buffer.compact(); }
    } compact{_inbuffer};
    decodeMessages();
    return ReadOutcome::DATA;
}

void ClientImp::dispatchDeferred() {
    // One message at a time out of the queue under the lock, its handling outside it: a
    // callback that waits for a lock of the application's own must never hold up a thread that
    // queues a rejection while holding that lock. What callbacks queue meanwhile is handled in
    // the same round, in queue order; an exception leaves the rest queued for the next pass.
    // Without a handler (the login loop of connect()) nothing is taken: the messages are
    // promised to the application's callbacks, and the first loop that has them gets them.
    if (loopHandler() == nullptr) return;
    for (;;) {
        ShpOXMessage msg;
        {
            boost::lock_guard<boost::recursive_mutex> lock(_deferredlock);
            if (_deferred.empty()) return;
            msg = _deferred.front();
            _deferred.pop_front();
        }
        dispatchMessage(msg, msg.get(), msg->getMsgType());
    }
}

bool ClientImp::hasDeferred() {
    boost::lock_guard<boost::recursive_mutex> lock(_deferredlock);
    return !_deferred.empty();
}

void ClientImp::sendPing(Timestamp_t now) {
    const ShpOXMessage sm = MsgFactory::createMessage(RuThereMessage::ID);
    RuThereMessage& ping = sm->getRef<RuThereMessage>();
    _lastSentSeqNo = nextPingNumber(_lastSentSeqNo);
    ping.dpdSeqNo = _lastSentSeqNo;
    ping.timeApiClient = now;
    send(sm);
}

SequenceID_t ClientImp::nextPingNumber(SequenceID_t n) {
    // Both sides wrap alike, and a number the server made up cannot overflow the increment.
    return n >= std::numeric_limits<SequenceID_t>::max() - 1 ? 0 : n + 1;
}

APIResult::Type ClientImp::stop() {
    boost::lock_guard<boost::mutex> lock(_runlock);
    if (_handler == nullptr) return APIResult::NOT_RUNNING;
    _applicationStop = true;
    notifySelector();
    return APIResult::OK;
}

void ClientImp::callHandler(const ShpOXMessage& msg) {
    {
        boost::lock_guard<boost::recursive_mutex> lock(_deferredlock);
        _deferred.push_back(msg);
    }
    notifySelector();
}

void ClientImp::handle(const ShpOXMessage&, const ImHereMessage& msg) {
    if (_pingTimeQueue.size() >= MAX_PING_TIMES) _pingTimeQueue.pop_front();
    PingTime ping;
    ping.sent = msg.timeApiClient;
    ping.atServer = msg.timeApiServer;
    ping.received = TimeUtil::now();
    _pingTimeQueue.push_back(ping);

    const SequenceID_t expected = nextPingNumber(_lastReceivedSeqNo);
    _lastReceivedSeqNo = expected;
    if (msg.dpdSeqNo != expected) {
        if (_logHeartbeatSeqMismatch) {
            OX_LOG_WARN("Sequence number mismatch.  Expected(" << expected << ") - Received("
                                                               << msg.dpdSeqNo << ")");
        } else {
            _logHeartbeatSeqMismatch = true;
        }
        _lastReceivedSeqNo = msg.dpdSeqNo;
    }
}

Timestamp_t ClientImp::getAveragePingTime() const {
    boost::lock_guard<boost::recursive_mutex> lock(_recvlock);
    if (_pingTimeQueue.empty()) return 0;
    // The echoed send times come from the server: summed as integers, made-up ones could
    // overflow.
    long double sum = 0;
    for (const PingTime& p : _pingTimeQueue) {
        sum += static_cast<long double>(p.received) - static_cast<long double>(p.sent);
    }
    const long double mean = sum / static_cast<long double>(_pingTimeQueue.size());
    if (mean >= static_cast<long double>(std::numeric_limits<Timestamp_t>::max())) {
        return std::numeric_limits<Timestamp_t>::max();
    }
    if (mean <= static_cast<long double>(std::numeric_limits<Timestamp_t>::min())) {
        return std::numeric_limits<Timestamp_t>::min();
    }
    return static_cast<Timestamp_t>(mean);
}

}  // namespace ZURAV
