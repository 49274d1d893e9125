#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "api/APITypes.h"
#include "api/ConfigMessage.h"
#include "api/ConnectionResponse.h"
#include "api/LastSequenceIDMessage.h"
#include "api/OXMessage.h"
#include "support/client/WireFrame.h"

namespace test_support {

// One frame as the server received it.
struct ReceivedFrame {
    FrameHeader header;
    std::string body;             // exactly header.length - 10 bytes
    ZURAV::ShpOXMessage message;  // the decoded body; empty when it did not decode

    bool decoded() const { return static_cast<bool>(message); }
    // The message as T when the frame decoded as T's type, else null.
    template <class T>
    const T* as() const {
        return decoded() && header.id == T::ID ? static_cast<const T*>(message.get()) : nullptr;
    }
};

// What one connection brought, in arrival order. Connections are numbered from 0 in the order
// the server took them.
struct ConnectionRecord {
    std::vector<ReceivedFrame> frames;
    ZURAV::ClientSessionID_t sessionID = 0;  // set by an accepted login, 0 before and otherwise
    size_t bytesSent = 0;                    // bytes the server wrote to the client
    // The client ended the connection (end of stream or reset) and the server let it go.
    bool closed = false;
    bool reset = false;  // the client's end came as a reset, not as an end of stream
    // Input the server could not frame (after which it frames nothing more on the connection)
    // and responders that threw.
    std::vector<std::string> errors;

    size_t count(ZURAV::MsgType_t id) const;
    // The nth frame (from 0) with type id `id`, or null.
    const ReceivedFrame* find(ZURAV::MsgType_t id, size_t nth = 0) const;
};

// How the server treats one connection.
struct Behaviour {
    enum class Login {
        ACCEPT,     // configs, last sequence ids, then ConnectResponse SUCCESS, fresh session id
        REFUSE,     // configs, last sequence ids, then ConnectResponse with `refusal`
        MALFORMED,  // configs, last sequence ids, the `malformed` frame, then a SUCCESS answer
                    // that a client which stops at the bad frame never reaches
        SILENT,     // no login answer
        CLOSE,      // end of stream as soon as the connection is taken, before any answer
    };

    // The login answer, sent when the connection's first ClientConnectMessage arrives.
    Login login = Login::ACCEPT;
    ZURAV::ConnectionResponse::Type refusal = ZURAV::ConnectionResponse::FAILED_OTHER;
    Malformed malformed = Malformed::LENGTH_9;
    std::vector<ZURAV::ConfigMessage> configs;
    std::vector<ZURAV::LastSequenceIDMessage> lastSequenceIDs;
    bool loginInOneWrite = false;  // every frame of the answer in one write, not one write each

    // RuThereMessage k (counted from 1 on the connection) gets an ImHereMessage echoing its
    // dpdSeqNo and timeApiClient, with the server's time, unless pings are not answered or k
    // is dropPingAnswer: a dropped answer leaves a gap in the numbers the client sees.
    bool answerPings = true;
    int dropPingAnswer = 0;
    bool answerRequests = true;  // the responders run
    bool read = true;            // false: the server reads nothing, so the client's output fills

    static Behaviour accept() { return Behaviour(); }
    static Behaviour refuse(ZURAV::ConnectionResponse::Type code);
    static Behaviour malformedAnswer(Malformed kind);
    // No answer to anything: neither the login, nor pings, nor requests.
    static Behaviour silent();
    static Behaviour closeAtOnce();
};

// What a responder sends back. Each message becomes one frame in a write of its own, in the
// order given, once the responder has returned.
class Reply {
  public:
    void send(const ZURAV::OXMessage& msg);
    ZURAV::ClientSessionID_t sessionID() const { return _sessionID; }
    size_t connection() const { return _connection; }

  private:
    friend class TestServer;
    Reply(const std::function<int64_t()>& clock, ZURAV::ClientSessionID_t sessionID,
          size_t connection)
        : _clock(clock), _sessionID(sessionID), _connection(connection) {}

    const std::function<int64_t()>& _clock;
    ZURAV::ClientSessionID_t _sessionID;
    size_t _connection;
    std::vector<std::string> _frames;
};

// A scriptable API server on 127.0.0.1 for the client's tests and the demonstration.
//
// It listens on a port of the system's choice and takes connections as they come, each with
// the next behaviour of the script queue, or the default behaviour once the queue is empty;
// it can also serve a pair of descriptors (adopt). It records every frame received, answers the
// login and pings as the connection's behaviour says, and runs the responders for requests.
// Tests drive it with commands and wait on its record with a deadline.
//
// Threads and locks: one server thread owns every descriptor and runs the behaviours, the
// responders and the commands. Every public member may be called from any other thread. A
// command (send..., update, close..., adopt) is carried out on the server thread and returns
// once it is done there, so its bytes have been written when it returns (unless the client's
// side is full). One mutex guards the record, the script, the responders and the command
// queue; every change of the record is signalled on one condition variable. Responders run on
// the server thread without the mutex, waitFor predicates on the waiting thread with it: a
// responder that calls a command gets std::logic_error, a predicate must not call the server.
//
// Order: the server's answers to a frame (login, ping, responder) are written before the frame
// enters the record, so a test that has seen a frame in the record knows its answers are out.
//
// Closing: the server ends a connection with a half close (end of stream to the client) and
// reads on until the client closes its side, so the client sees an orderly end of stream and
// nothing it sent is lost from the record. The destructor stops the thread and closes
// everything.
class TestServer {
  public:
    using Clock = std::function<int64_t()>;
    using Record = std::vector<ConnectionRecord>;
    using Responder = std::function<void(const ReceivedFrame& request, Reply& reply)>;
    using Timeout = std::chrono::milliseconds;
    static constexpr Timeout DEADLINE = std::chrono::seconds(10);

    // clock gives the nsecs of the frames sent and the timeApiServer of ping answers, in
    // nanoseconds since the epoch; the system's real-time clock when empty. port 0 lets the
    // system choose. Throws std::system_error when the server cannot listen.
    explicit TestServer(Clock clock = Clock(), int port = 0);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int port() const { return _port; }
    // The frame of msg with the server's clock.
    std::string frame(const ZURAV::OXMessage& msg) const { return frameOf(msg, _clock()); }

    // The script. queue(b): the next connection taken without a queued behaviour takes b;
    // setDefault(b): connections taken while the queue is empty take b.
    void queue(Behaviour b);
    void setDefault(Behaviour b);
    // Answers every decoded request of type id (on connections that answer requests). Replaces
    // an earlier responder for the same id.
    void respond(ZURAV::MsgType_t id, Responder responder);
    template <class Request>
    void respond(std::function<void(const Request&, Reply&)> responder) {
        respond(Request::ID, [responder](const ReceivedFrame& request, Reply& reply) {
            responder(*request.as<Request>(), reply);
        });
    }

    // Commands on the current connection, the last one taken. They throw std::runtime_error
    // when there is none or it has been let go.
    //
    // msg's frame in one write.
    void send(const ZURAV::OXMessage& msg);
    // bytes as they are in one write: several frames, malformed ones, any mix.
    void sendRaw(const std::string& bytes);
    // msg's frame in two writes: the first firstPart bytes now; the rest, and every write after
    // it, once the client has sent another frame (its next ping when heartbeats are on), so a
    // client running its loop normally reads the parts apart. A test that must have two reads
    // drives the client's loop itself and writes the parts with two sendRaw calls.
    void sendSplit(const ZURAV::OXMessage& msg, size_t firstPart);
    // Changes the behaviour of the current connection from now on (pings, requests, reading;
    // the login fields matter only while the login is unanswered).
    void update(const std::function<void(Behaviour&)>& change);
    // End of stream to the client now; bytes not yet written are dropped.
    void closeConnection();

    // Stops listening: connections to the port are refused from now on.
    void closeListener();
    // Serves a connection over readFd and writeFd (sockets; the same one or the server ends of
    // SocketPairs) as the next connection taken. The server owns and closes them.
    void adopt(int readFd, int writeFd);
    // Dies as a killed process does: every connection is reset (no end of stream). The
    // listener still completes handshakes for a while (closeListener ends that): a connection
    // taken from now on is reset once its login has arrived, unanswered.
    void crash();

    // A copy of the record: one entry per connection taken, in order.
    Record record() const;
    // Waits until done(record) holds or the timeout passes; returns whether it holds. done is
    // called with the server's mutex held, after every change of the record.
    bool waitFor(const std::function<bool(const Record&)>& done, Timeout timeout = DEADLINE) const;
    bool waitForConnections(size_t n, Timeout timeout = DEADLINE) const;
    // On the current connection: at least n frames, at least n frames of type id.
    bool waitForFrames(size_t n, Timeout timeout = DEADLINE) const;
    bool waitForMessages(ZURAV::MsgType_t id, size_t n = 1, Timeout timeout = DEADLINE) const;

  private:
    struct Connection;
    struct Task;

    void serve();
    void runTasks();
    void acceptOne();
    void take(int readFd, int writeFd);
    void readFrom(Connection& c);
    void handleFrame(Connection& c, ReceivedFrame frame);
    void answerLogin(Connection& c);
    void answerRequest(Connection& c, const ReceivedFrame& frame);
    void write(Connection& c, std::string bytes, size_t afterFrames = 0);
    void flush(Connection& c);
    void shutWrite(Connection& c);
    void release(Connection& c);
    void reset(Connection& c);
    Connection& current();
    void command(std::function<void()> fn);
    void wake() const;
    template <class Fn>
    void change(const Connection& c, Fn fn);

    const Clock _clock;
    int _listener = -1;
    int _port = 0;
    int _wakeRead = -1;
    int _wakeWrite = -1;

    // Server thread only.
    std::vector<std::unique_ptr<Connection>> _connections;  // not yet let go
    size_t _taken = 0;  // connections taken so far; the last is the current one
    ZURAV::ClientSessionID_t _lastSessionID = 0;
    bool _crashed = false;

    // Guarded by _mutex.
    mutable std::mutex _mutex;
    mutable std::condition_variable _changed;
    Record _record;
    std::deque<Behaviour> _script;
    Behaviour _default;
    std::map<ZURAV::MsgType_t, Responder> _responders;
    std::deque<std::shared_ptr<Task>> _tasks;
    bool _stopping = false;

    std::thread _thread;  // last: starts once everything above exists
};

}  // namespace test_support
