#include "api/ClientDisconnectMessage.h"
#include "api/MsgFactory.h"
#include "client/ClientImp.h"
#include "client/OXHandler.h"

namespace ZURAV {

// Whatever way run() or processEvents() ends (a result, or an exception from any callback,
// onStop included), the handler is removed and join() woken: otherwise the client would report
// itself running for ever and a join() would never return. Made with the receive lock held.
class ClientImp::RunExit {
  public:
    RunExit(ClientImp& client, bool loop) : _client(client), _loop(loop) {}
    ~RunExit() {
        {
            boost::lock_guard<boost::mutex> lock(_client._runlock);
            _client._handler = nullptr;
            _client._runThreadID = std::thread::id();
            // Pending still, as any stop, until the next run or connection attempt.
            if (_client._applicationStop) _client._stopRequested = true;
            _client._applicationStop = false;
        }
        if (_loop && _client._clearSubscriptionsOnStop) _client.clearStickySubscriptions();
        _client._condexit.notify_all();
    }
    RunExit(const RunExit&) = delete;
    RunExit& operator=(const RunExit&) = delete;

  private:
    ClientImp& _client;
    const bool _loop;
};

APIResult::Type ClientImp::run(OXHandler* handler) {
    if (handler == nullptr) return APIResult::INVALID_PARAMETER;
    return run(handler, true);
}

APIResult::Type ClientImp::processEvents(OXHandler* handler) {
    if (handler == nullptr) return APIResult::INVALID_PARAMETER;
    return run(handler, false);
}

APIResult::Type ClientImp::run(OXHandler* handler, bool loop) {
    boost::lock_guard<boost::recursive_mutex> recv(_recvlock);
    if (!isConnected()) return APIResult::NOT_CONNECTED;
    {
        boost::lock_guard<boost::mutex> lock(_runlock);
        // processEvents() too: from a callback of run() it would take over run()'s handler and
        // remove it on its return, leaving run() without one.
        if (_handler != nullptr) return APIResult::IS_RUNNING;
        // close() decided, under this lock, that no loop was active: the connection is going.
        if (_closing) return APIResult::NOT_CONNECTED;
        // The input lost its frame boundaries, or the output was dropped mid-stream: reading
        // or writing more would deliver or send garbage. Only close() is left.
        const APIResult::Type status = _exitStatus;
        if (status == APIResult::PROTOCOL_ERROR || status == APIResult::BUFFER_FULL) return status;
        _handler = handler;
        _runThreadID = std::this_thread::get_id();
        _stopRequested = false;
        _applicationStop = false;
        // This call reports what happens in it, never what ended an earlier one (a callback's
        // exception, say, whose EXCEPTION_THROWN would make a later stop or protocol error look
        // like a lost connection).
        _exitStatus = APIResult::OK;
    }
    RunExit exit(*this, loop);

    if (loop) {
        handler->onStart(*_parent);
        resendStickySubscriptions(true);
    }
    for (;;) {
        // A stop pending here (from onStart, or a failure of a request) ends the loop after one
        // pass that does not wait; the result decides what follows.
        dispatch(loop);
        const APIResult::Type status = _exitStatus;
        if (status == APIResult::OK || status == APIResult::BUFFER_FULL ||
            status == APIResult::PROTOCOL_ERROR || !loop) {
            break;
        }
        // A stop the application asked for ends run() even when the connection was lost in the
        // same pass: it wants no new connection.
        if (applicationStopRequested()) break;
        if (!reconnect(handler)) break;
    }
    if (loop) handler->onStop(*_parent);
    return _exitStatus;
}

bool ClientImp::reconnect(OXHandler* handler) {
    {
        boost::lock_guard<boost::mutex> lock(_runlock);
        _stopRequested = false;
    }
    handler->onDisconnect(*_parent);
    setConnected(false);
    closeSockets();
    if (_clearSubscriptionsOnStop) {
        clearStickySubscriptions();
    } else {
        markStickySubscriptionsUnsent();
    }
    // Ends with NOT_CONNECTED when the application's stop comes before the login is accepted,
    // onDisconnect and the TCP connection included.
    _exitStatus = connect(false);
    if (_exitStatus != APIResult::OK) return false;
    _logHeartbeatSeqMismatch = false;
    handler->onConnect(*_parent);
    // The remembered subscriptions stay unsent rather than marked sent by refused sends.
    if (applicationStopRequested()) return false;
    resendStickySubscriptions(false);
    return true;
}

boolean ClientImp::applicationStopRequested() const {
    boost::lock_guard<boost::mutex> lock(_runlock);
    return _applicationStop;
}

APIResult::Type ClientImp::join() {
    {
        boost::lock_guard<boost::mutex> lock(_runlock);
        const std::thread::id self = std::this_thread::get_id();
        if (self == _dispatchThreadID || self == _runThreadID) return APIResult::NOT_IMPLEMENTED;
    }
    boost::unique_lock<boost::recursive_mutex> recv(_recvlock);
    while (isRunning()) _condexit.wait(recv);
    return APIResult::OK;
}

APIResult::Type ClientImp::close() {
    const ShpOXMessage sm = MsgFactory::createMessage(ClientDisconnectMessage::ID);
    ClientDisconnectMessage& bye = sm->getRef<ClientDisconnectMessage>();
    bye.sessionID = 0;
    bye.timeDisconnected = 0;
    {
        // The goodbye is framed under the same hold of the send lock as the decision, so no
        // request can be framed after it: one that waits for the lock finds _closing.
        boost::lock_guard<boost::mutex> send(_sendlock);
        {
            // Decided and claimed at once: a loop either is active now (IS_RUNNING) or, finding
            // _closing, never starts on this connection. Checking without claiming and then
            // waiting for the receive lock would wait for a whole run() started in between.
            boost::lock_guard<boost::mutex> run(_runlock);
            if (_handler != nullptr) return APIResult::IS_RUNNING;
            if (_closing || !isConnected()) return APIResult::NOT_CONNECTED;
            _closing = true;
        }
        frame(sm);  // it goes even with a stop pending; its result changes nothing
    }
    // Held now only by calls that let it go without waiting for a loop: a run() or
    // processEvents() on its way to NOT_CONNECTED, get(), getAveragePingTime(), join().
    boost::lock_guard<boost::recursive_mutex> recv(_recvlock);
    {
        boost::lock_guard<boost::mutex> send(_sendlock);
        boost::lock_guard<boost::mutex> run(_runlock);
        setConnected(false);
        _closing = false;
    }
    closeSocketsInOrder();
    return APIResult::OK;
}

}  // namespace ZURAV
