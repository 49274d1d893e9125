// QuickFIX's side of the session rows (SessionBench.h): a threaded initiator and a threaded
// acceptor in this process, one FIX.4.4 session between them over loopback TCP, both with the
// data dictionary FIX44-bench.xml (messages parsed with it and validated, as a session does),
// messages kept in memory and not persisted, no log. The pair starts at the first QuickFIX run,
// the acceptor's threads on the server's processor and the initiator's on the client's, and
// serves every later run; a run that fails stops it, and the next run starts a new one.
//
// The acceptor's application answers every NewOrderSingle with two ExecutionReports, NEW then
// FILLED; the initiator's application hands what arrives to the run under way. Compiled as C++14:
// the QuickFIX headers use dynamic exception specifications; the callbacks here are noexcept and
// catch what they could throw.

#include <quickfix/Application.h>
#include <quickfix/Dictionary.h>
#include <quickfix/FieldConvertors.h>
#include <quickfix/FixFields.h>
#include <quickfix/Message.h>
#include <quickfix/MessageStore.h>
#include <quickfix/Session.h>
#include <quickfix/SessionID.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/ThreadedSocketAcceptor.h>
#include <quickfix/ThreadedSocketInitiator.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FixShapes.h"
#include "Registry.h"
#include "SessionBench.h"

namespace Bench {
namespace {

constexpr char BEGIN_STRING[] = "FIX.4.4";
constexpr char SERVER_COMP_ID[] = "OXAPI";
constexpr char CLIENT_COMP_ID[] = "ZURAV";
constexpr char CL_ORD_ID_FORMAT[] = "ORD-%010d";
constexpr std::chrono::seconds LOGON_LIMIT(10);

const std::string& text(const FIX::FieldMap& m, int tag) { return m.getFieldRef(tag).getString(); }

// What the client's session thread hands to the run under way. The bench thread waits for the
// run's end with a deadline.
class Run {
  public:
    virtual ~Run() {}
    virtual void report(const FIX::Message&) {}
    virtual void marketData(const FIX::Message&) {}

    void fail(const std::string& why) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            if (_error.empty()) _error = why;
        }
        finish();
    }
    // False when the deadline passed first.
    bool waitUntil(SessionClock::time_point deadline) {
        std::unique_lock<std::mutex> lock(_mutex);
        return _ended.wait_until(lock, deadline, [this] { return _done; });
    }
    std::string error() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _error;
    }

  protected:
    void finish() {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _done = true;
        }
        _ended.notify_all();
    }

  private:
    std::mutex _mutex;
    std::condition_variable _ended;
    bool _done = false;
    std::string _error;
};

// Both applications count their logons, which the pair waits for.
class LogonCount {
  public:
    void logon() {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            ++_logons;
        }
        _changed.notify_all();
    }
    bool waitFor(int n, SessionClock::time_point deadline) {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_until(lock, deadline, [this, n] { return _logons >= n; });
    }

  private:
    std::mutex _mutex;
    std::condition_variable _changed;
    int _logons = 0;
};

class ClientApp : public FIX::Application {
  public:
    explicit ClientApp(LogonCount& logons) : _logons(logons) {}
    void onCreate(const FIX::SessionID&) override {}
    void onLogon(const FIX::SessionID&) override { _logons.logon(); }
    void onLogout(const FIX::SessionID&) override {}
    void toAdmin(FIX::Message&, const FIX::SessionID&) override {}
    void toApp(FIX::Message&, const FIX::SessionID&) noexcept override {}
    void fromAdmin(const FIX::Message&, const FIX::SessionID&) noexcept override {}
    void fromApp(const FIX::Message& m, const FIX::SessionID&) noexcept override {
        Run* const run = _run.load();
        if (run == nullptr) return;
        try {
            const std::string& type = text(m.getHeader(), FIX::FIELD::MsgType);
            if (type == "8") {
                run->report(m);
            } else if (type == "X") {
                run->marketData(m);
            }
        } catch (const std::exception& e) {
            run->fail(std::string("client: ") + e.what());
        }
    }

    std::atomic<Run*> _run{nullptr};

  private:
    LogonCount& _logons;
};

class ServerApp : public FIX::Application {
  public:
    explicit ServerApp(LogonCount& logons) : _logons(logons) {}
    void onCreate(const FIX::SessionID&) override {}
    void onLogon(const FIX::SessionID& id) override {
        _session = FIX::Session::lookupSession(id);
        _logons.logon();
    }
    void onLogout(const FIX::SessionID&) override {}
    void toAdmin(FIX::Message&, const FIX::SessionID&) override {}
    void toApp(FIX::Message&, const FIX::SessionID&) noexcept override {}
    void fromAdmin(const FIX::Message&, const FIX::SessionID&) noexcept override {}
    void fromApp(const FIX::Message& m, const FIX::SessionID&) noexcept override {
        try {
            if (text(m.getHeader(), FIX::FIELD::MsgType) != "D") return;
            FIX::Message report;
            fixReport(report);
            report.setField(FIX::ClOrdID(text(m, FIX::FIELD::ClOrdID)));
            report.setField(FIX::OrdStatus('0'));
            _session->send(report);
            report.setField(FIX::OrdStatus('2'));
            _session->send(report);
        } catch (const std::exception&) {
            // The client's run misses its report and fails at its deadline.
        }
    }

  private:
    LogonCount& _logons;
    FIX::Session* _session = nullptr;
};

// The session pair.
class FixPair {
  public:
    FixPair() : _client(_logons), _server(_logons) {}
    ~FixPair() { stop(); }

    // Empty when both sides are logged on; else what failed (the pair is stopped then).
    std::string start() {
        int port = 0;
        const int probe = listenLoopback(port);
        if (probe < 0) return "no free port";
        ::close(probe);
        const FIX::SessionID serverID(BEGIN_STRING, SERVER_COMP_ID, CLIENT_COMP_ID);
        const FIX::SessionID clientID(BEGIN_STRING, CLIENT_COMP_ID, SERVER_COMP_ID);
        try {
            FIX::Dictionary server = common();
            server.setString("ConnectionType", "acceptor");
            server.setInt("SocketAcceptPort", port);
            FIX::SessionSettings serverSettings;
            serverSettings.set(serverID, server);
            FIX::Dictionary client = common();
            client.setString("ConnectionType", "initiator");
            client.setString("SocketConnectHost", "127.0.0.1");
            client.setInt("SocketConnectPort", port);
            FIX::SessionSettings clientSettings;
            clientSettings.set(clientID, client);
            {
                Pinned pin(cpuPlan().server);
                _acceptor.reset(new FIX::ThreadedSocketAcceptor(_server, _stores, serverSettings));
                _acceptor->start();
            }
            {
                Pinned pin(cpuPlan().client);
                _initiator.reset(
                    new FIX::ThreadedSocketInitiator(_client, _stores, clientSettings));
                _initiator->start();
            }
        } catch (const std::exception& e) {
            stop();
            return std::string("start: ") + e.what();
        }
        if (!_logons.waitFor(2, SessionClock::now() + LOGON_LIMIT)) {
            stop();
            return "no logon";
        }
        clientSession = FIX::Session::lookupSession(clientID);
        serverSession = FIX::Session::lookupSession(serverID);
        if (clientSession == nullptr || serverSession == nullptr) {
            stop();
            return "no session";
        }
        return std::string();
    }

    // Ends both sides' threads and connections; the sessions live on until the pair goes.
    void stop() {
        if (_stopped) return;
        _stopped = true;
        if (_initiator) _initiator->stop(true);
        if (_acceptor) _acceptor->stop(true);
    }

    // The run that the client's session thread hands messages to; null for none.
    void setRun(Run* run) { _client._run = run; }

    FIX::Session* clientSession = nullptr;
    FIX::Session* serverSession = nullptr;

  private:
    static FIX::Dictionary common() {
        FIX::Dictionary d;
        d.setString("StartTime", "00:00:00");
        d.setString("EndTime", "00:00:00");
        d.setString("UseDataDictionary", "Y");
        d.setString("DataDictionary", ZURAV_BENCH_FIX_DICTIONARY);
        d.setInt("HeartBtInt", 30);
        d.setInt("ReconnectInterval", 1);
        d.setString("SocketNodelay", "Y");
        d.setString("SocketReuseAddress", "Y");
        d.setString("PersistMessages", "N");
        d.setString("ResetOnLogon", "Y");
        d.setString("ResetOnLogout", "Y");
        d.setString("ResetOnDisconnect", "Y");
        return d;
    }

    LogonCount _logons;
    ClientApp _client;
    ServerApp _server;
    FIX::MemoryStoreFactory _stores;
    std::unique_ptr<FIX::ThreadedSocketAcceptor> _acceptor;
    std::unique_ptr<FIX::ThreadedSocketInitiator> _initiator;
    bool _stopped = false;
};

std::unique_ptr<FixPair> pair;
// Why the pair could not start, once it could not: every later run fails at once with it, rather
// than waiting for a logon again.
std::string startFailure;

// The pair, started when there is none; null with the failure in error.
FixPair* livePair(std::string& error) {
    if (pair) return pair.get();
    if (!startFailure.empty()) {
        error = startFailure;
        return nullptr;
    }
    pair.reset(new FixPair);
    error = pair->start();
    if (!error.empty()) {
        startFailure = error;
        pair.reset();
    }
    return pair.get();
}

// Runs run on the live pair until it ends or the deadline passes; false on failure, with the
// reason in error. start() sends what starts the run, on the bench thread. After a failure the
// pair is stopped (its threads gone, its connections closed) but not yet destroyed: the caller
// ends what it started and then calls dropPair().
template <class Start>
bool drive(FixPair& p, Run& run, Start start, std::string& error) {
    p.setRun(&run);
    start();
    const bool ended = run.waitUntil(SessionClock::now() + sessionSizes().deadline);
    error = ended ? run.error() : "no end before the deadline";
    if (!error.empty()) {
        p.stop();
        return false;
    }
    p.setRun(nullptr);
    return true;
}

void dropPair() { pair.reset(); }

// --- order ---------------------------------------------------------------------------------------

class OrderRun : public Run {
  public:
    OrderRun(FIX::Session& session, int warmUp, int timed)
        : _session(session), _warmUp(warmUp), _total(warmUp + timed) {
        _times.reserve(static_cast<size_t>(timed));
    }

    // The first report (NEW) of the order last sent ends its round trip and sends the next.
    void report(const FIX::Message& m) override {
        const int64_t at = nowNs();
        if (text(m, FIX::FIELD::OrdStatus) != "0") return;
        const int sent = _sent.load();
        char id[32];
        std::snprintf(id, sizeof id, CL_ORD_ID_FORMAT, sent);
        if (text(m, FIX::FIELD::ClOrdID) != id) {
            fail("a report of another order");
            return;
        }
        if (sent > _warmUp) _times.push_back(static_cast<double>(at - _sentAt.load()));
        if (sent == _warmUp) _allocs0 = allocations();
        if (sent == _total) {
            _allocs = allocations() - _allocs0;
            finish();
            return;
        }
        send();
    }

    void send() {
        FIX::Message order;
        fixOrder(order);
        char id[32];
        std::snprintf(id, sizeof id, CL_ORD_ID_FORMAT, _sent.load() + 1);
        order.setField(FIX::ClOrdID(id));
        _sent.fetch_add(1);
        _sentAt = nowNs();
        if (!_session.send(order)) fail("send failed");
        _orderBytes = order.toString().size();
    }

    std::vector<double>& times() { return _times; }
    double allocsPerOrder() const {
        return _times.empty() ? 0 : static_cast<double>(_allocs) / _times.size();
    }
    size_t orderBytes() const { return _orderBytes.load(); }

  private:
    FIX::Session& _session;
    const int _warmUp;
    const int _total;
    // Written by the bench thread for the first order, then by the client's session thread.
    std::atomic<int> _sent{0};
    std::atomic<int64_t> _sentAt{0};
    std::atomic<size_t> _orderBytes{0};
    uint64_t _allocs0 = 0;
    uint64_t _allocs = 0;
    std::vector<double> _times;
};

void runOrders(benchmark::State& st) {
    const SessionSizes& z = sessionSizes();
    std::string error;
    FixPair* p = livePair(error);
    std::vector<double> times;
    double allocs = 0;
    double bytes = 0;
    if (p != nullptr) {
        OrderRun run(*p->clientSession, z.fixWarmUp, z.fixRoundTrips);
        if (drive(
                *p, run, [&run] { run.send(); }, error)) {
            allocs = run.allocsPerOrder();
            times.swap(run.times());
            // The order and its two reports, which carry the fields of the report shape.
            FIX::Message report;
            fixReport(report);
            bytes = static_cast<double>(run.orderBytes() + 2 * report.toString().size());
        } else {
            dropPair();
        }
    }
    for (auto _ : st) {
        if (!error.empty()) {
            st.SkipWithError(("quickfix: " + error).c_str());
        } else {
            reportTimes(st, times, allocs, bytes);
        }
    }
}

// --- md2, md10 -----------------------------------------------------------------------------------

class StreamRun : public Run, public FrameCount {
  public:
    explicit StreamRun(uint64_t frames) : FrameCount(frames) {}

    // Reads the price of every entry.
    void marketData(const FIX::Message& m) override {
        const int entries = FIX::IntConvertor::convert(text(m, FIX::FIELD::NoMDEntries));
        for (int k = 1; k <= entries; ++k) {
            const FIX::FieldMap& e = m.getGroupRef(k, FIX::FIELD::NoMDEntries);
            _prices += FIX::DoubleConvertor::convert(text(e, FIX::FIELD::MDEntryPx));
        }
        if (count()) finish();
    }

    double prices() const { return _prices; }

  private:
    double _prices = 0;
};

void runStream(benchmark::State& st, int entries) {
    const SessionSizes& z = sessionSizes();
    std::string error;
    FixPair* p = livePair(error);
    double secs = 0;
    double allocs = 0;
    double bytes = 0;
    if (p != nullptr) {
        StreamRun run(z.fixFrames);
        FIX::Session& server = *p->serverSession;
        std::atomic<bool> stop{false};
        std::atomic<int64_t> startedAt{0};
        std::thread writer;
        FIX::Message md;
        fixMd(md, entries);
        const bool ok = drive(
            *p, run,
            [&] {
                writer = std::thread([&] {
                    pinThisThread(cpuPlan().server);
                    startedAt = nowNs();
                    for (uint64_t k = 0; k < z.fixFrames && !stop; ++k) {
                        if (!server.send(md)) break;
                    }
                });
            },
            error);
        // A failed run has stopped the pair, which ends a send under way.
        stop = true;
        if (writer.joinable()) writer.join();
        if (ok) {
            secs = static_cast<double>(run.lastAt() - startedAt) / 1e9;
            allocs = run.allocsPerFrame();
            bytes = static_cast<double>(md.toString().size());
            benchmark::DoNotOptimize(run.prices());
        } else {
            dropPair();
        }
    }
    for (auto _ : st) {
        if (!error.empty()) {
            st.SkipWithError(("quickfix: " + error).c_str());
        } else {
            reportStream(st, static_cast<double>(z.fixFrames), secs, allocs, bytes);
        }
    }
}

}  // namespace

void registerFixSessions() {
    atSessionsEnd([] { pair.reset(); });
    addSessionRow("order", QUICKFIX, runOrders);
    addSessionRow("md2", QUICKFIX, [](benchmark::State& st) { runStream(st, 2); });
    addSessionRow("md10", QUICKFIX, [](benchmark::State& st) { runStream(st, 10); });
}

}  // namespace Bench
