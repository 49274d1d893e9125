#include "logging/Log.h"

#include <syslog.h>

#include <boost/filesystem/path.hpp>
#include <boost/thread/thread.hpp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#include "catalogue/OXProtocol.h"
#include "common/PathUtils.h"
#include "common/TableFormatter.h"
#include "common/ThreadRegistry.h"
#include "common/TimeUtil.h"
#include "common/Util.h"
#include "framework/MsgControl.h"
#include "logging/LogCallGate.h"

namespace Orbanex {

OX_LOG_DECLARE_LOGGER("Log")

std::atomic<int> gNumErrorsLogged{0};
std::atomic<bool> gLogToConsole{false};
std::atomic<LogLevel::Type> gLogToConsoleLevel{LogLevel::LOGCRITICAL};

namespace {

// The manager whose logger thread is the calling thread, if any.
thread_local const LogManagerImpl* tls_loggerOf = nullptr;

// Queue alarm thresholds: raised at the first value, lowered again at the second.
constexpr int WARN_THRESHOLD = 1000;
constexpr int WARN_LOW = 300;
constexpr int CRITICAL_THRESHOLD = 5000;
constexpr int CRITICAL_LOW = 1000;
constexpr int MAX_THRESHOLD = 10000;
constexpr int MAX_LOW = 5000;

// The alarm level: 0 normal, 1 above WARN, 2 above CRITICAL, 3 above MAX. Process-wide, as the
// log-entry pool it measures is.
std::atomic<int> gAlarmLevel{0};

// .HH:MM:SS,uuuuuu in local time: the time of a system-log line (the date-time separator is
// written although the date is not). Returns the characters without the NUL.
size_t formatSysLogTime(Timestamp_t t, char* buf, size_t size) {
    const int n = TimeUtil::formatString(t, buf, size, false, true, ':', '.', ',', true);
    return n > 0 ? static_cast<size_t>(n - 1) : 0;
}

// One queue alarm to the system log, whatever the system-log switch says.
void OutputToSysLog(const char* text) {
    char line[1100];
    char when[32];
    formatSysLogTime(TimeUtil::now(), when, sizeof when);
    std::snprintf(line, sizeof line, "%s %s", when, text);
    SysLogSink::get().write(LOG_LOCAL6 | LOG_WARNING, line);
}

class DefaultSysLogSink : public SysLogSink {};

DefaultSysLogSink gDefaultSink;
std::atomic<SysLogSink*> gSysLogSink{nullptr};

// Entries of log calls that found their logger detached (LogManager::entriesDropped).
std::atomic<uint64_t> gEntriesDropped{0};

// The calling thread's buffer of console lines (detail::LogText). Trivially destructible, so it
// stays readable while the thread's destructors run, whatever their order; the buffer itself is
// freed by ThreadTextOwner, which marks the thread as ending (a new buffer would never be freed).
struct ThreadText {
    char* buffer;
    bool busy;
    bool ended;
};

thread_local ThreadText tls_text = {nullptr, false, false};

// Made at the thread's first buffer, so its destructor runs when the thread ends. It writes
// tls_text, not itself: stores into an object whose lifetime ends may be dropped by the
// compiler, stores into another are not.
struct ThreadTextOwner {
    bool armed = false;
    ~ThreadTextOwner() {
        delete[] tls_text.buffer;
        tls_text.buffer = nullptr;
        tls_text.ended = true;
    }
};

thread_local ThreadTextOwner tls_textOwner;

// The text of a line that found no memory for a buffer: cut short rather than lost.
thread_local char tls_shortText[256];

}  // namespace

// --- Logger ------------------------------------------------------------------------------------

Logger::Logger(LogManagerImpl* manager, std::string name, LogLevel::Type level)
    : _logManager(manager), _name(std::move(name)), _level(level), _enabled(false) {}

Logger::~Logger() = default;

void Logger::send(LogEntry* entry, LogLevel::Type level, const char* filename, int lineno,
                  const char* function, const ShpMessage* shared, ShpMessage* taken) {
    if (entry != nullptr) {
        entry->timestamp = TimeUtil::now();
        entry->threadid = pthread_self();
        entry->threadserial = ThreadRegistry::threadSerial();
        entry->level = level;
        entry->logger = _name.c_str();
        entry->filename = filename;
        entry->lineno = lineno;
        entry->function = function;
        if (shared != nullptr) entry->shpMsg = *shared;
        if (taken != nullptr) entry->shpMsg.swap(*taken);
    }
    // Taken over or, without an entry, let go: the caller's handle is empty either way.
    if (taken != nullptr) taken->reset();
    // Only the manager is used inside the gate: the entry is the caller's until it is queued.
    LogManagerImpl* manager;
    {
        const CallGate::Pass pass;
        manager = _logManager.load(std::memory_order_seq_cst);
        CallGate::passed();
        // Without an entry nothing is written anywhere, the shared sentinel least of all: the
        // handlers hear of the loss.
        if (manager != nullptr) {
            manager->schedule(entry != nullptr ? entry : &ENTRY_BADALLOC);
            return;
        }
    }
    LogBufferedQueue::release(entry);
    gEntriesDropped.fetch_add(1, std::memory_order_relaxed);
}

void Logger::emit(LogLevel::Type level, const char* filename, int lineno, const char* function,
                  const char* description, const ShpMessage* shared, ShpMessage* taken) {
    // A call after the manager has gone (from the last destructors of a process) costs nothing
    // but its count, and touches no entry.
    LogEntry* entry = _logManager.load(std::memory_order_relaxed) != nullptr
                          ? LogBufferedQueue::acquire()
                          : nullptr;
    if (entry != nullptr) {
        const size_t n = description != nullptr
                             ? strnlen(description, OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE - 1)
                             : 0;
        std::memcpy(entry->description, description, n);
        entry->description[n] = '\0';
    }
    send(entry, level, filename, lineno, function, shared, taken);
}

void Logger::log(LogLevel::Type level, const char* filename, int lineno, const char* function,
                 const char* description) {
    emit(level, filename, lineno, function, description, nullptr, nullptr);
}

void Logger::log(LogLevel::Type level, const char* filename, int lineno, const char* function,
                 const char* description, const ShpMessage& msg) {
    emit(level, filename, lineno, function, description, &msg, nullptr);
}

void Logger::log(LogLevel::Type level, const char* filename, int lineno, const char* function,
                 const char* description, ShpMessage& msg, bool) {
    emit(level, filename, lineno, function, description, nullptr, &msg);
}

namespace {
// The formatted text of an entry ends at its length, or at the entry's last byte.
LogEntry* terminated(detail::EntryText& text, size_t length) {
    LogEntry* const entry = text.take();
    if (entry != nullptr) {
        entry->description[length < OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE
                               ? length
                               : OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE - 1] = '\0';
    }
    return entry;
}
}  // namespace

void Logger::post(detail::EntryText& text, size_t length, LogLevel::Type level,
                  const char* filename, int lineno, const char* function) {
    send(terminated(text, length), level, filename, lineno, function, nullptr, nullptr);
}

void Logger::post(detail::EntryText& text, size_t length, LogLevel::Type level,
                  const char* filename, int lineno, const char* function, const ShpMessage& msg) {
    send(terminated(text, length), level, filename, lineno, function, &msg, nullptr);
}

void Logger::post(detail::EntryText& text, size_t length, LogLevel::Type level,
                  const char* filename, int lineno, const char* function, ShpMessage& msg, bool) {
    send(terminated(text, length), level, filename, lineno, function, nullptr, &msg);
}

// --- Registration ------------------------------------------------------------------------------

namespace LateInit {
Holder comps[MAX_COMPS];
int nbComps = 0;

void Holder::bind(LoggerPtr logger) const {
    if (loggerRef != nullptr) {
        loggerRef->store(logger, std::memory_order_release);
    } else if (*plainRef != logger) {
        // Other threads may read the slot meanwhile: it is written only when it changes, which
        // after its registration it never does (see LateInit::Holder).
        *plainRef = logger;
    }
}

void initialize() {
    LogManager* manager = LogManager::instance();
    if (manager == nullptr) return;
    for (int i = 0; i < nbComps; ++i) {
        comps[i].bind(manager->getLog(comps[i].name, comps[i].level));
    }
}
}  // namespace LateInit

AutoLogRegister::AutoLogRegister(LoggerSlot* slot, const char* name, LogLevel::Type level) {
    LogManager::registerComponent(slot, name, level);
}

AutoLogRegister::AutoLogRegister(LoggerPtr* slot, const char* name, LogLevel::Type level) {
    LogManager::registerComponent(slot, name, level);
}

namespace {

int appendRow(LoggerSlot* slot, LoggerPtr* plain, const char* name, LogLevel::Type level) {
    if (LateInit::nbComps >= LateInit::MAX_COMPS) {
        // A full table refuses the row instead of writing past its end; the slot stays null.
        std::cerr << "Too many loggers registered; '" << (name != nullptr ? name : "")
                  << "' will not log." << std::endl;
        return -1;
    }
    const int row = LateInit::nbComps;
    LateInit::comps[row] = LateInit::Holder{slot, plain, name, level};
    LogManager* manager = LogManager::instance();
    if (manager != nullptr) {
        LateInit::comps[row].bind(manager->getLog(name, level));
    } else if (plain != nullptr) {
        // Bound now, to the logger that every later manager takes back, so that the slot is
        // written while its unit is being initialised and never again.
        LateInit::comps[row].bind(RetiredLoggers::named(name));
    }
    LateInit::nbComps = row + 1;
    return row;
}

}  // namespace

int LogManager::registerComponent(LoggerSlot* loggerRef, const char* name, LogLevel::Type level) {
    return appendRow(loggerRef, nullptr, name, level);
}

int LogManager::registerComponent(LoggerPtr* loggerRef, const char* name, LogLevel::Type level) {
    return appendRow(nullptr, loggerRef, name, level);
}

namespace detail {
void writeConsoleLine(const char* line) { std::cerr << line << std::endl; }

LogText::LogText() : _begin(nullptr), _size(OX_LOG_MAXBUF), _claimed(false), _owned(false) {
    ThreadText& text = tls_text;
    if (!text.busy && !text.ended) {
        if (text.buffer == nullptr) {
            // The owner first, so that the buffer is freed when the thread ends.
            tls_textOwner.armed = true;
            text.buffer = new (std::nothrow) char[OX_LOG_MAXBUF];
        }
        if (text.buffer != nullptr) {
            text.busy = true;
            _claimed = true;
            _begin = text.buffer;
            return;
        }
    } else {
        _begin = new (std::nothrow) char[OX_LOG_MAXBUF];
        if (_begin != nullptr) {
            _owned = true;
            return;
        }
    }
    _begin = tls_shortText;
    _size = sizeof tls_shortText;
}

LogText::~LogText() {
    if (_claimed) tls_text.busy = false;
    if (_owned) delete[] _begin;
}
}  // namespace detail

// --- System log --------------------------------------------------------------------------------

SysLogSink::~SysLogSink() = default;

void SysLogSink::open(const char* ident, int option, int facility) {
    ::closelog();
    _ident = ident != nullptr ? ident : "";
    ::openlog(_ident.c_str(), option, facility);
}

void SysLogSink::write(int priority, const char* line) { ::syslog(priority, "%s", line); }

void SysLogSink::close() { ::closelog(); }

SysLogSink& SysLogSink::get() {
    SysLogSink* sink = gSysLogSink.load(std::memory_order_acquire);
    return sink != nullptr ? *sink : gDefaultSink;
}

SysLogSink* SysLogSink::install(SysLogSink* sink) {
    SysLogSink* previous = gSysLogSink.exchange(sink, std::memory_order_acq_rel);
    return previous != nullptr ? previous : &gDefaultSink;
}

// --- LogManagerImpl ----------------------------------------------------------------------------

size_t LogManagerImpl::LineTime::format(Timestamp_t t, char* out) {
    // Whole seconds and the microseconds within, rounded toward the past as the formatter does
    // for times before 1970.
    Timestamp_t second = t / TimeUtil::ONE_SEC;
    Timestamp_t nanos = t % TimeUtil::ONE_SEC;
    if (nanos < 0) {
        second -= 1;
        nanos += TimeUtil::ONE_SEC;
    }
    if (!_valid || second != _second) {
        const int n =
            TimeUtil::formatString(t, _text, sizeof _text, _date, false, ':', '.', ',', true);
        _length = n > 0 ? static_cast<size_t>(n - 1) : 0;
        _second = second;
        _valid = true;
    }
    std::memcpy(out, _text, _length);
    out[_length] = ',';
    Util::itoa_fixed(static_cast<int>(nanos / TimeUtil::ONE_USEC), out + _length + 1, 6, 10, '0');
    return _length + 7;
}

const std::string& LogManagerImpl::ThreadNameMap::get(pthread_t id, uint64_t serial) {
    Named& named = _cache[static_cast<unsigned long>(id)];
    if (named.serial != serial || named.serial == 0) {
        named.serial = serial;
        named.name = ThreadRegistry::getName(id, serial);
    }
    return named.name;
}

LogManagerImpl::LogManagerImpl()
    : _logq(128, 1000000),
      _nbMessages(0),
      _running(false),
      _cpumaskSet(false),
      _binlog(new BinaryLog),
      _asciilog(new AsciiLog),
      _syslogEnabled(true),
      _syslogOpen(false),
      _logLevel(LogLevel::LOGDEBUG),
      _lastErrorsEnabled(true),
      _nbLastErrors(64),
      _lineBuf(new char[MAXBUF_PREFIX + MAXBUF_ASCII]),
      _binaryBuf(new char[BinaryLog::MAX_RECORD_SIZE]),
      _syncRequested(0),
      _syncDone(0),
      _syncOpen(false) {
    CPU_ZERO(&_cpumask);
}

LogManagerImpl::~LogManagerImpl() {
    // From here on no log call reaches this manager, and once the gate is idle none still uses
    // it: nothing but this thread touches the queue, the owner thread's buffer included, which is
    // then handed over (and written) whichever thread this is.
    detachLoggers();
    CallGate::waitIdle();
    _logq.takeOverBuffer();
    deactivate();
    closeOutputs();
    releaseSlots();
    retireLoggers();
    boost::unique_lock<boost::mutex> lock(_lastErrorsMutex);
    for (char* text : _lastErrors) delete[] text;
    _lastErrors.clear();
}

bool LogManagerImpl::configure(const std::string& logDir, const std::string& basename,
                               unsigned int bmaxFileSize, unsigned int syncSize, bool brollover,
                               bool benable, unsigned int amaxFileSize, bool arollover,
                               bool aenable, bool syslogEnable, unsigned int maxBufferedEntries,
                               Timestamp_t flushTimeout, const std::string& profile) {
    // Configured again: one logger thread at most, so the running one stops first and the files
    // of the old settings close. The loggers stay enabled meanwhile: what other threads log
    // during the restart waits in the queue for the new thread.
    stopThread();
    closeOutputs();

    _logq.configure(static_cast<int>(maxBufferedEntries), flushTimeout);
    _progname = basename;
    _profile = profile;
    SysLogSink::get().open(_progname.c_str(), LOG_PID | LOG_NDELAY, LOG_LOCAL6);
    _syslogOpen = true;
    _basePath = path_to_string(boost::filesystem::path(logDir) / basename, false);

    bool ok = true;
    if (benable) ok = _binlog->configure(_basePath, bmaxFileSize, syncSize, brollover, true, true);
    if (aenable) ok = _asciilog->configure(_basePath, amaxFileSize, arollover, true) && ok;

    if (std::getenv("TZ") == nullptr) {
        std::cerr << "Please set env var TZ.  It saves logger from having to look up timezone "
                     "for log entry (see 'man 3 tzset')."
                  << std::endl;
    }
    if (!syslogEnable && !aenable && !benable) {
        std::cout << "WARNING: All logs are disabled; running without a logger thread."
                  << std::endl;
        setLoggersEnabled(false);
        {
            boost::unique_lock<boost::mutex> lock(_syncMutex);
            _syncOpen = false;
            _syncDone = _syncRequested;
            _syncCond.notify_all();
        }
        // What was logged while the previous thread stopped goes wherever the settings say.
        drainQueue();
        return ok;
    }

    // Set before the thread starts, which reads it.
    _syslogEnabled = syslogEnable;
    {
        boost::unique_lock<boost::mutex> lock(_syncMutex);
        _syncOpen = true;
    }
    _thread.reset(new boost::thread(&LogManagerImpl::svc, this, "Logger"));
    setLoggersEnabled(true);
    return ok;
}

void LogManagerImpl::closeOutputs() {
    _asciilog->close();
    _binlog->close();
    if (_syslogOpen) {
        SysLogSink::get().close();
        _syslogOpen = false;
    }
}

LoggerPtr LogManagerImpl::getLog(const std::string& name, LogLevel::Type) {
    boost::unique_lock<boost::mutex> lock(_mutex);
    auto found = _logMap.find(name);
    if (found != _logMap.end()) return found->second;
    const LogLevel::Type level = _logLevel.load(std::memory_order_relaxed);
    // A logger of an earlier manager (or a plain slot's) comes back to life: a thread that kept it
    // logs here.
    Logger* logger = RetiredLoggers::take(name);
    if (logger == nullptr) {
        logger = new Logger(this, name, level);
    } else {
        logger->setLevel(level);
        logger->_logManager.store(this, std::memory_order_seq_cst);
    }
    if (_running.load(std::memory_order_relaxed)) logger->enable();
    _logMap.emplace(name, logger);
    return logger;
}

void LogManagerImpl::setLogLevel(LogLevel::Type level) {
    boost::unique_lock<boost::mutex> lock(_mutex);
    _logLevel.store(level, std::memory_order_relaxed);
    for (auto& named : _logMap) named.second->setLevel(level);
}

void LogManagerImpl::setLoggersEnabled(bool enabled) {
    boost::unique_lock<boost::mutex> lock(_mutex);
    _running.store(enabled, std::memory_order_release);
    for (auto& named : _logMap) {
        if (enabled) {
            named.second->enable();
        } else {
            named.second->disable();
        }
    }
}

void LogManagerImpl::detachLoggers() {
    boost::unique_lock<boost::mutex> lock(_mutex);
    _running.store(false, std::memory_order_release);
    for (auto& named : _logMap) {
        named.second->disable();
        named.second->_logManager.store(nullptr, std::memory_order_seq_cst);
    }
}

void LogManagerImpl::retireLoggers() {
    boost::unique_lock<boost::mutex> lock(_mutex);
    for (auto& named : _logMap) RetiredLoggers::keep(named.second);
    _logMap.clear();
}

void LogManagerImpl::releaseSlots() {
    boost::unique_lock<boost::mutex> lock(_mutex);
    for (int i = 0; i < LateInit::nbComps; ++i) {
        // Plain slots keep their logger, which stays valid (detached).
        LoggerSlot* slot = LateInit::comps[i].loggerRef;
        if (slot == nullptr) continue;
        Logger* bound = slot->load(std::memory_order_acquire);
        if (bound == nullptr) continue;
        auto found = _logMap.find(bound->getName());
        // Only the slots bound to this manager's loggers: they are about to be deleted.
        if (found != _logMap.end() && found->second == bound) {
            slot->store(nullptr, std::memory_order_release);
        }
    }
}

void LogManagerImpl::schedule(LogEntry* entry) {
    if (entry == &ENTRY_BADALLOC) {
        _handlers.notify(LogEventHandler::LOG_ENTRY_LOST);
        return;
    }
    _logq.push(entry);
}

void LogManagerImpl::schedule() {
    if (_cpumaskSet) ThreadRegistry::setAffinity(_cpumask);
}

void LogManagerImpl::setAffinity(const cpu_set_t& mask) {
    _cpumask = mask;
    _cpumaskSet = true;
}

void LogManagerImpl::registerHandler(LogEventHandler& handler) {
    _handlers.add(handler);
    _binlog->registerHandler(handler);
    _asciilog->registerHandler(handler);
}

bool LogManagerImpl::onLoggerThread() const { return tls_loggerOf == this; }

void LogManagerImpl::flush(bool wait) {
    if (!wait) {
        if (isRunning()) _logq.push(&ENTRY_FLUSH);
        _logq.flush();
        return;
    }
    _logq.flush();
    if (onLoggerThread()) {
        flushFiles();
        return;
    }
    boost::unique_lock<boost::mutex> lock(_syncMutex);
    if (!_syncOpen) return;
    // Ticket and request go out under one lock, so the requests reach the logger thread in the
    // order of their tickets and the n-th one answered is the one of ticket n.
    const uint64_t ticket = ++_syncRequested;
    _logq.push(&ENTRY_SYNC);
    _logq.flush();
    while (_syncDone < ticket) _syncCond.wait(lock);
}

void LogManagerImpl::ackSync() {
    boost::unique_lock<boost::mutex> lock(_syncMutex);
    // A request left over from a stopped thread must not count for a later waiter.
    if (_syncDone < _syncRequested) ++_syncDone;
    _syncCond.notify_all();
}

void LogManagerImpl::rollLogs(bool now) {
    if (now && (onLoggerThread() || !isRunning())) {
        rollNow();
        return;
    }
    if (isRunning()) _logq.push(&ENTRY_ROLL);
    _logq.flush();
}

void LogManagerImpl::rollNow() {
    if (_binlog->isEnabled()) _binlog->roll();
    if (_asciilog->isEnabled()) _asciilog->roll();
}

void LogManagerImpl::flushFiles() {
    _binlog->flush();
    _asciilog->flush();
}

void LogManagerImpl::deactivate() {
    if (!_thread) return;
    {
        boost::unique_lock<boost::mutex> lock(_syncMutex);
        _syncOpen = false;
    }
    setLoggersEnabled(false);
    stopThread();
    boost::unique_lock<boost::mutex> lock(_syncMutex);
    _syncDone = _syncRequested;
    _syncCond.notify_all();
}

void LogManagerImpl::stopThread() {
    if (!_thread) return;
    // Routed by the calling thread: from the owner thread the request follows its buffered
    // entries; from any other thread it goes straight to the logger thread.
    _logq.push(&ENTRY_STOP);
    _logq.flush();
    _thread->join();
    _thread.reset();
    // What reached the queue behind the stop request is written here: the thread has ended, so
    // the files are this thread's now.
    drainQueue();
}

void LogManagerImpl::drainQueue() {
    // Only what is queued now: other threads may still be adding entries, which then wait for
    // the next logger thread instead of keeping this one here.
    LogEntry* entry = nullptr;
    for (int queued = _logq.size(); queued > 0 && _logq.tryPop(entry); --queued) process(entry);
}

void LogManagerImpl::svc(const char* name) {
    tls_loggerOf = this;
    try {
        ThreadRegistry::registerThread(name);
        schedule();
    } catch (const std::exception&) {
        // Without its registry name the thread still logs.
    }
    for (;;) {
        try {
            checkThresholds();
        } catch (const std::exception&) {
            _handlers.notify(LogEventHandler::LOG_ENTRY_LOST);
        }
        if (!process(_logq.waitPop())) break;
    }
    tls_loggerOf = nullptr;
}

bool LogManagerImpl::process(LogEntry* entry) {
    if (entry == &ENTRY_STOP) return false;
    try {
        if (entry == &ENTRY_FLUSH || entry == &ENTRY_SYNC) {
            flushFiles();
        } else if (entry == &ENTRY_ROLL) {
            rollNow();
        } else if (entry != &ENTRY_BADALLOC) {
            svcImpl(entry);
        }
    } catch (const std::exception&) {
        // A failure costs this entry only; the thread goes on draining the queue.
        _handlers.notify(LogEventHandler::LOG_ENTRY_LOST);
    }
    if (entry == &ENTRY_SYNC) ackSync();
    LogBufferedQueue::release(entry);
    return true;
}

const char* LogManagerImpl::level2string(LogLevel::Type level) {
    static const char* const TAGS[7] = {"MESSG", "CRIT ", "ERROR", "WARN ",
                                        "INFO ", "TRACE", "DEBUG"};
    const unsigned int index = static_cast<unsigned int>(level);
    return index < 7 ? TAGS[index] : "?????";
}

void LogManagerImpl::svcImpl(LogEntry* entry) {
    _nbMessages.fetch_add(1, std::memory_order_relaxed);
    const unsigned int index = static_cast<unsigned int>(entry->level);
    const int priority = index < 8 ? LogManager::_syslogPriorities[index] : -1;
    const bool toSysLog = priority != -1;
    const bool toText = _asciilog->isEnabled();

    size_t bodyLen = 0;
    if (toText || toSysLog) bodyLen = buildBody(entry);
    if (toText) writeTextLine(entry, bodyLen);
    if (toSysLog) writeSysLog(entry, priority, bodyLen);
    if (_binlog->isEnabled()) writeBinary(entry);
}

void LogManagerImpl::writeBinary(const LogEntry* entry) {
    if (entry->description[0] != '\0') {
        ShpMessage record = Message::createMessage(CALLSITE, LogMessage::ID);
        LogMessage& m = *static_cast<LogMessage*>(record->getPayload());
        m.timestamp = entry->timestamp;
        m.thread.assign(_threadNames.get(entry->threadid, entry->threadserial).c_str());
        m.level = entry->level;
        m.logger.assign(entry->logger != nullptr ? entry->logger : "");
        m.filename.assign(entry->filename != nullptr ? entry->filename : "");
        m.lineno = entry->lineno;
        m.function.assign(entry->function != nullptr ? entry->function : "");
        const size_t length = std::strlen(entry->description);
        const ptrdiff_t room = record->getControl()->getRemainingBytes();
        if (room < 0 || length >= static_cast<size_t>(room)) {
            m.description.assign("<OVERFLOW>");
            m.level = LogLevel::LOGCRITICAL;
        } else {
            m.description.assign(entry->description, length);
        }
        _binlog->write(_binaryBuf.get(),
                       BinaryLog::frameMessage(record, entry->timestamp, _binaryBuf.get(),
                                               BinaryLog::MAX_RECORD_SIZE));
    }
    if (entry->shpMsg) {
        _binlog->write(_binaryBuf.get(),
                       BinaryLog::frameMessage(entry->shpMsg, entry->timestamp, _binaryBuf.get(),
                                               BinaryLog::MAX_RECORD_SIZE));
    }
}

size_t LogManagerImpl::buildBody(const LogEntry* entry) {
    char* body = _lineBuf.get() + MAXBUF_PREFIX;
    // One byte stays free for the line's newline.
    FastOStream fos(body, body + MAXBUF_ASCII - 1);
    fos << entry->description;
    if (entry->shpMsg) {
        if (entry->description[0] != '\0') fos << " --- ";
        entry->shpMsg->dump(fos, false);
    }
    const size_t n = fos.size();
    for (char* c = static_cast<char*>(std::memchr(body, '\n', n)); c != nullptr;
         c = static_cast<char*>(std::memchr(c + 1, '\n', static_cast<size_t>(body + n - c - 1)))) {
        *c = ';';
    }
    body[n] = '\n';
    return n + 1;
}

void LogManagerImpl::writeTextLine(const LogEntry* entry, size_t bodyLen) {
    FastOStream p(_prefixBuf, _prefixBuf + MAXBUF_PREFIX);
    char when[LineTime::TEXT_MAX];
    p.write(when, _lineTime.format(entry->timestamp, when));
    p << " |";
    p.write_pad(level2string(entry->level), 5, ' ');
    p << '|';
    p.write_pad(_threadNames.get(entry->threadid, entry->threadserial).c_str(), 10, ' ');
    p << '|';
    p.write_pad(entry->logger, 6, ' ');
    p << "| ";
    if (entry->filename != nullptr) {
        p << '{' << Util::basename(entry->filename) << ':' << entry->lineno << ':'
          << entry->function << "} ";
    }
    const size_t prefixLen = p.size();
    char* line = _lineBuf.get() + MAXBUF_PREFIX - prefixLen;
    std::memcpy(line, _prefixBuf, prefixLen);
    _asciilog->write(line, prefixLen + bodyLen);
}

void LogManagerImpl::writeSysLog(const LogEntry* entry, int priority, size_t bodyLen) {
    char* out = _syslogBuf;
    // One byte stays free for the NUL.
    FastOStream fos(out, out + MAXBUF_SYSLOG - 1);
    char when[LineTime::TEXT_MAX];
    fos.write(when, _syslogTime.format(entry->timestamp, when));
    fos << " [";
    fos.write_pad(level2string(entry->level), 5, ' ');
    fos << "] ";
    if (!_profile.empty()) fos << '(' << _profile << ") ";
    fos.write(_lineBuf.get() + MAXBUF_PREFIX, bodyLen);
    const size_t length = fos.size();
    out[length] = '\0';

    if (_syslogEnabled) SysLogSink::get().write(priority | LOG_LOCAL6, out);
    if (!_lastErrorsEnabled) return;
    boost::unique_lock<boost::mutex> lock(_lastErrorsMutex);
    // A full ring gives its oldest array to the newest line, so it allocates nothing.
    char* copy = nullptr;
    if (!_lastErrors.empty() && _lastErrors.size() >= _nbLastErrors) {
        copy = _lastErrors.back();
        _lastErrors.pop_back();
    } else {
        copy = new (std::nothrow) char[MAXBUF_SYSLOG];
        if (copy == nullptr) {
            for (char* text : _lastErrors) delete[] text;
            _lastErrors.clear();
            _lastErrorsEnabled = false;
            return;
        }
    }
    // Owned until the ring takes it, so that a failing push does not leak it.
    std::unique_ptr<char[]> owned(copy);
    std::memcpy(copy, out, length + 1);
    _lastErrors.push_front(copy);
    owned.release();
    while (_lastErrors.size() > _nbLastErrors) {
        delete[] _lastErrors.back();
        _lastErrors.pop_back();
    }
}

void LogManagerImpl::checkThresholds() {
    const int n = _logq.size();
    const int level = gAlarmLevel.load(std::memory_order_relaxed);
    int next = level;
    int threshold = 0;
    const char* format = nullptr;
    switch (level) {
        case 0:
            if (n >= WARN_THRESHOLD) {
                next = 1;
                threshold = WARN_THRESHOLD;
                format =
                    "[WARN ] (%s) Logger WARNING: Logger queue reached WARN threshold %d, Max "
                    "Elapsed write time %lld\n";
            }
            break;
        case 1:
            if (n >= CRITICAL_THRESHOLD) {
                next = 2;
                threshold = CRITICAL_THRESHOLD;
                format =
                    "[CRIT ] (%s) Logger ERROR: Logger queue reached CRITICAL threshold %d, Max "
                    "Elapsed write time %lld\n";
            } else if (n <= WARN_LOW) {
                next = 0;
                threshold = WARN_THRESHOLD;
                format =
                    "[WARN ] (%s) Logger WARNING: Logger crossed WARN low threshold %d, Max "
                    "Elapsed write time %lld\n";
            }
            break;
        case 2:
            if (n >= MAX_THRESHOLD) {
                next = 3;
                threshold = MAX_THRESHOLD;
                format =
                    "[CRIT ] (%s) Logger CRITICAL: Logger queue reached MAX threshold %d, Max "
                    "Elapsed write time %lld\n";
            } else if (n <= CRITICAL_LOW) {
                next = 1;
                threshold = CRITICAL_THRESHOLD;
                format =
                    "[CRIT ] (%s) Logger ERROR: Logger queue crossed CRITICAL low threshold %d, "
                    "Max Elapsed write time %lld\n";
            }
            break;
        default:
            if (n <= MAX_LOW) {
                next = 2;
                threshold = MAX_THRESHOLD;
                format =
                    "[CRIT ] (%s) Logger CRITICAL: Logger queue crossed MAX low threshold %d, Max "
                    "Elapsed write time %lld\n";
            }
            break;
    }
    if (format == nullptr) return;
    gAlarmLevel.store(next, std::memory_order_relaxed);

    const long long maxWriteTime = _binlog->MaxWriteTime();
    char text[1024];
    const int len =
        std::snprintf(text, sizeof text, format, _profile.c_str(), threshold, maxWriteTime);
    const size_t textLen =
        len < 0 ? 0 : (static_cast<size_t>(len) < sizeof text ? len : sizeof text - 1);
    _asciilog->write(text, textLen);
    OutputToSysLog(text);
    _binlog->ClearMaxWriteTime();
}

void LogManagerImpl::dump(TableFormatter& table) {
    table.setHeader(0, "log queue size");
    table.setHeader(1, "nb processed");
    table.setCell(0, 0, _logq.size());
    table.setCell(0, 1, static_cast<unsigned long long>(getNbMessages()));
}

void LogManagerImpl::dumpDebug(std::ostream& os) {
    boost::unique_lock<boost::mutex> lock(_lastErrorsMutex);
    os << "<pre>" << std::endl;
    for (const char* text : _lastErrors) {
        for (const char* c = text; *c != '\0'; ++c) {
            if (*c == '<') {
                os << "&lt;";
            } else if (*c == '>') {
                os << "&gt;";
            } else {
                os << *c;
            }
        }
    }
    os << "</pre>" << std::endl;
    TableFormatter table;
    dump(table);
    table.toHTML(os);
}

// --- LogManager --------------------------------------------------------------------------------

const int LogManager::_syslogPriorities[8] = {-1,       LOG_CRIT, LOG_ERR, LOG_WARNING,
                                              LOG_INFO, -1,       -1,      -1};
std::atomic<LogManager*> LogManager::_instance{nullptr};

LogManager::LogManager() : _logManagerImpl(new LogManagerImpl) {}

LogManager::~LogManager() = default;

void LogManager::initialize() {
    if (instance() != nullptr) return;
    _instance.store(new LogManager, std::memory_order_release);
    LateInit::initialize();
}

void LogManager::finalize() {
    // Unpublished first, so nothing bound from now on reaches the manager being deleted; the
    // engine's destructor then waits for the calls that found it published.
    delete _instance.exchange(nullptr, std::memory_order_seq_cst);
}

void LogManager::handOverEntries() {
    const CallGate::Pass pass;
    LogManager* const manager = _instance.load(std::memory_order_seq_cst);
    if (manager != nullptr) manager->_logManagerImpl->handOver();
}

uint64_t LogManager::entriesDropped() { return gEntriesDropped.load(std::memory_order_relaxed); }

bool LogManager::configure(const std::string& logDir, const std::string& basename,
                           unsigned int bmaxFileSize, unsigned int syncSize, bool brollover,
                           bool benable, unsigned int amaxFileSize, bool arollover, bool aenable,
                           bool syslogEnable, unsigned int maxBufferedEntries,
                           Timestamp_t flushTimeout, const std::string& profile) {
    return _logManagerImpl->configure(logDir, basename, bmaxFileSize, syncSize, brollover, benable,
                                      amaxFileSize, arollover, aenable, syslogEnable,
                                      maxBufferedEntries, flushTimeout, profile);
}

LoggerPtr LogManager::getLog(const std::string& name, LogLevel::Type level) {
    return _logManagerImpl->getLog(name, level);
}

void LogManager::setLogLevel(LogLevel::Type level) { _logManagerImpl->setLogLevel(level); }
void LogManager::flush() { _logManagerImpl->flush(false); }
void LogManager::flushAndWait() { _logManagerImpl->flush(true); }
void LogManager::rollLogs() { _logManagerImpl->rollLogs(false); }
void LogManager::setAffinity(const cpu_set_t& mask) { _logManagerImpl->setAffinity(mask); }
void LogManager::registerHandler(LogEventHandler& handler) {
    _logManagerImpl->registerHandler(handler);
}

std::string LogManager::getProviderName() const { return "LogManager"; }
int LogManager::getPageMask() const { return PAGE_DEBUG; }
void LogManager::dumpDebug(std::ostream& os) { _logManagerImpl->dumpDebug(os); }

}  // namespace Orbanex
