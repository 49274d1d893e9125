#pragma once

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <boost/noncopyable.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>

#include "catalogue/LogLevel.h"
#include "common/CommonTypes.h"
#include "common/FastOStream.h"
#include "common/StatusProvider.h"
#include "logging/AsciiLog.h"
#include "logging/BinaryLog.h"
#include "logging/LogBufferedQueue.h"

namespace boost {
class thread;
}  // namespace boost

// Size of the buffer of a console line (the level macros' mirror, detail::LogText). An entry
// keeps at most OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE - 1 characters of its text.
#define OX_LOG_MAXBUF 262144

namespace Orbanex {

class LogManagerImpl;
class TableFormatter;
namespace detail {
class EntryText;
}  // namespace detail

// Every use of OX_LOG_CRITICAL, OX_LOG_ERROR and OX_LOG_WARN, whether or not the entry passes.
extern std::atomic<int> gNumErrorsLogged;
// The console mirror: when set, each level macro whose level is at most gLogToConsoleLevel also
// writes "<file>:<line><tag><text>" to standard error, whether or not logging is configured.
extern std::atomic<bool> gLogToConsole;
extern std::atomic<LogLevel::Type> gLogToConsoleLevel;

// A named log source. Made by the log manager (or, detached, by the registration of a plain
// slot) and never deleted: when its manager goes, the logger is detached (disabled, and its log
// calls dropped and counted) and kept for the next manager's logger of that name, so that a thread
// still holding it never touches freed memory. The level, the enabled flag and the manager are
// written by the manager and read by every logging thread, so all three are atomics.
class Logger {
  public:
    Logger(LogManagerImpl* manager, std::string name, LogLevel::Type level);
    virtual ~Logger();

    bool isMessageEnabled() const { return passes(LogLevel::LOGMESSAGE); }
    bool isCriticalEnabled() const { return passes(LogLevel::LOGCRITICAL); }
    bool isErrorEnabled() const { return passes(LogLevel::LOGERROR); }
    bool isWarnEnabled() const { return passes(LogLevel::LOGWARN); }
    bool isInfoEnabled() const { return passes(LogLevel::LOGINFO); }
    bool isTraceEnabled() const { return passes(LogLevel::LOGTRACE); }
    bool isDebugEnabled() const { return passes(LogLevel::LOGDEBUG); }

    void enable() { _enabled.store(true, std::memory_order_relaxed); }
    void disable() { _enabled.store(false, std::memory_order_relaxed); }
    bool isEnabled() const { return _enabled.load(std::memory_order_relaxed); }
    void setLevel(LogLevel::Type level) { _level.store(level, std::memory_order_relaxed); }
    LogLevel::Type getLevel() const { return _level.load(std::memory_order_relaxed); }
    const std::string& getName() const { return _name; }

    // Makes one entry and schedules it; no level test (the macros test first). Never throws:
    // without memory for an entry the entry is lost and the manager's handlers hear
    // LOG_ENTRY_LOST. The description is cut to OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE - 1 bytes.
    // A call that finds the logger detached (its manager finalized, perhaps while the call was
    // on its way) drops the entry and counts it in LogManager::entriesDropped().
    void log(LogLevel::Type level, const char* filename, int lineno, const char* function,
             const char* description);
    // As above, the entry holding its own reference to msg.
    void log(LogLevel::Type level, const char* filename, int lineno, const char* function,
             const char* description, const ShpMessage& msg);
    // As above, the entry taking over the caller's reference: msg is empty afterwards, also when
    // the entry is lost. deleteMsg has no effect.
    void log(LogLevel::Type level, const char* filename, int lineno, const char* function,
             const char* description, ShpMessage& msg, bool deleteMsg);

    // The macros' forms of the three above: the entry's text was formatted in place, length
    // characters of it (cut to OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE - 1, or at its first NUL). The
    // logger takes the entry over; a text without an entry tells the handlers LOG_ENTRY_LOST.
    void post(detail::EntryText& text, size_t length, LogLevel::Type level, const char* filename,
              int lineno, const char* function);
    void post(detail::EntryText& text, size_t length, LogLevel::Type level, const char* filename,
              int lineno, const char* function, const ShpMessage& msg);
    void post(detail::EntryText& text, size_t length, LogLevel::Type level, const char* filename,
              int lineno, const char* function, ShpMessage& msg, bool deleteMsg);

  private:
    friend class LogManagerImpl;

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    bool passes(LogLevel::Type level) const {
        return _enabled.load(std::memory_order_relaxed) &&
               level <= _level.load(std::memory_order_relaxed);
    }
    // The road of the three log forms: the description is copied into an entry, then sent.
    void emit(LogLevel::Type level, const char* filename, int lineno, const char* function,
              const char* description, const ShpMessage* shared, ShpMessage* taken);
    // The one road of every form: shared or taken (at most one of them) is attached, and the
    // entry, whose text is in place, is queued; or dropped and counted when the logger is
    // detached.
    void send(LogEntry* entry, LogLevel::Type level, const char* filename, int lineno,
              const char* function, const ShpMessage* shared, ShpMessage* taken);

    std::atomic<LogManagerImpl*> _logManager;  // null while detached
    std::string _name;
    std::atomic<LogLevel::Type> _level;
    std::atomic<bool> _enabled;
};

typedef Logger* LoggerPtr;
// The slot of the macros (OX_LOG_DECLARE_LOGGER): null until the log manager binds it, null again
// once the manager that bound it is gone, read by every thread that logs.
typedef std::atomic<LoggerPtr> LoggerSlot;

// The registration table: filled during static initialisation, before any log manager exists,
// and bound by each manager when it is created. A row holds either kind of slot: the macros'
// LoggerSlot, or a plain LoggerPtr registered by hand. A plain slot is bound by its
// registration, to a logger that is detached until a manager takes it and that every manager
// takes back (loggers are never deleted). Its pointer is therefore written once, while its unit
// is initialised, before any thread can read it; the logger's manager, level and enabled flag
// are atomics, published by the manager. A program may read such a slot from any thread at any
// time, also while managers come and go.
namespace LateInit {
constexpr int MAX_COMPS = 512;
struct Holder {
    LoggerSlot* loggerRef;  // the macros' slot, or null
    LoggerPtr* plainRef;    // a plain slot, or null
    const char* name;       // not copied: a literal of the registering unit
    LogLevel::Type level;

    // Stores logger in whichever slot the row holds.
    void bind(LoggerPtr logger) const;
};
extern Holder comps[MAX_COMPS];
extern int nbComps;
// Stores the current manager's logger of each row's name into the row's slot.
void initialize();
}  // namespace LateInit

// Registers a slot at static initialisation. The macros use the atomic form; the plain form
// serves a unit that keeps its own logger pointer:
//     LoggerPtr slot = 0;
//     AutoLogRegister registration(&slot, "Name");
// The plain slot holds its logger from then on: before the first manager and after the last, a
// call through it finds the logger disabled, and Logger::log drops the entry and counts it.
class AutoLogRegister {
  public:
    AutoLogRegister(LoggerSlot* slot, const char* name, LogLevel::Type level = LogLevel::LOGDEBUG);
    AutoLogRegister(LoggerPtr* slot, const char* name, LogLevel::Type level = LogLevel::LOGDEBUG);
};

// The system log behind a seam. The logger thread writes every system-log line and queue alarm
// through the installed sink; the default sink calls openlog, syslog and closelog and keeps its
// own copy of the identity, valid while the log is open. Tests install a sink of their own to
// read the lines. install() is meant for set-up, before logging is configured.
class SysLogSink {
  public:
    virtual ~SysLogSink();
    virtual void open(const char* ident, int option, int facility);
    // One line: syslog(priority, "%s", line).
    virtual void write(int priority, const char* line);
    virtual void close();

    static SysLogSink& get();
    // Installs sink (null: the default one); returns the previous one.
    static SysLogSink* install(SysLogSink* sink);

  private:
    std::string _ident;
};

// The logging engine: the queue, the loggers by name, the text log, the system log, the ring of
// recent errors, the event handlers and the logger thread ("Logger").
//
// Threads and locks:
// - _mutex guards _logMap and the writes of logger levels and enabled flags. No handler is ever
//   called under it.
// - _lastErrorsMutex guards the ring of recent errors; it is taken before the queue's mutex where
//   both are held (dumpDebug).
// - _syncMutex guards the flush-and-wait counters; it is held for no other call.
// - The text log, the thread-name cache, the line times and the line buffers belong to the logger
//   thread while it runs, and to the thread that runs configure or the destructor while it does
//   not.
// - configure and the destructor belong on one thread at a time and never run concurrently with
//   each other; either may run on any thread. Flush, roll and stop requests may come from any
//   thread: a request travels as a sentinel entry routed by the calling thread
//   (LogBufferedQueue), so it always reaches the logger thread behind that thread's own earlier
//   entries.
// - Shut-down: the destructor first detaches the loggers, then waits until no log call that may
//   have seen them attached is still running (CallGate, logging/LogCallGate.h). From then on no
//   thread touches the queue but this one, so the owner thread's buffered entries are handed over
//   from whatever thread destroys the manager, and written.
class LogManagerImpl : private boost::noncopyable {
  public:
    static constexpr size_t MAXBUF_ASCII = 1048576;
    static constexpr size_t MAXBUF_PREFIX = 256;
    static constexpr size_t MAXBUF_SYSLOG = 4096;

    LogManagerImpl();
    virtual ~LogManagerImpl();

    // See LogManager::configure.
    bool configure(const std::string& logDir, const std::string& basename,
                   unsigned int bmaxFileSize, unsigned int syncSize, bool brollover, bool benable,
                   unsigned int amaxFileSize, bool arollover, bool aenable, bool syslogEnable,
                   unsigned int maxBufferedEntries, Timestamp_t flushTimeout,
                   const std::string& profile);

    // The logger of name, made on first use at the manager's current level (level is not used).
    LoggerPtr getLog(const std::string& name, LogLevel::Type level);
    void setLogLevel(LogLevel::Type level);
    LogLevel::Type getLogLevel() const { return _logLevel.load(std::memory_order_relaxed); }

    // Queues an entry or a request; ENTRY_BADALLOC tells the handlers LOG_ENTRY_LOST instead.
    void schedule(LogEntry* entry);
    // Applies the affinity set by setAffinity to the calling thread.
    void schedule();

    // false: asks the logger thread to flush the files. true: hands the calling thread's
    // buffered entries over and waits until the logger thread has written everything that
    // this thread handed over before the call; returns at once when no logger thread runs.
    void flush(bool wait);
    // Hands the owner thread's buffered entries to the logger thread; nothing on other threads.
    void handOver() { _logq.flush(); }
    // false: asks the logger thread to roll both logs. true: rolls them now, when called on the
    // logger thread or while none runs; otherwise it is a request as with false.
    void rollLogs(bool now);
    void setAffinity(const cpu_set_t& mask);
    void registerHandler(LogEventHandler& handler);

    // Stops the logger thread from any thread: disables every logger, sends the stop request,
    // joins the thread, then writes what was still queued. Nothing without a thread.
    void deactivate();
    bool isRunning() const { return _running.load(std::memory_order_acquire); }

    // The queue alarm step: raises or lowers the alarm level by one step as the queue passes
    // 1000/300, 5000/1000, 10000/5000 entries, writing the alarm to the text and system logs.
    // Logger thread (or no thread running).
    void checkThresholds();
    // The counters table of the debug page.
    void dump(TableFormatter& table);
    void dumpDebug(std::ostream& os);

    static const char* level2string(LogLevel::Type level);

    size_t getNbMessages() const { return _nbMessages.load(std::memory_order_relaxed); }
    const AsciiLog& asciiLog() const { return *_asciilog; }
    const BinaryLog& binaryLog() const { return *_binlog; }
    const std::string& getBasePath() const { return _basePath; }

  private:
    // The name of each thread that logged, looked up once per thread. Keyed by the thread id,
    // which the system reuses: an entry of another thread under a known id (told by the serial
    // number) replaces the cached one, so a later thread never inherits an ended thread's name.
    class ThreadNameMap {
      public:
        const std::string& get(pthread_t id, uint64_t serial);

      private:
        struct Named {
            uint64_t serial;
            std::string name;
        };
        std::map<unsigned long, Named> _cache;
    };

    // The local time of an entry as text with microseconds, its whole seconds formatted once per
    // second: the local-time conversion is the dearest step of a line. The zone is that of the
    // first entry of each second (a tzset() shows from the next second on).
    class LineTime {
      public:
        // date: YYYY-MM-DD.HH:MM:SS,uuuuuu, else .HH:MM:SS,uuuuuu.
        explicit LineTime(bool date) : _date(date) {}
        // Writes the text without a NUL into out, at least TEXT_MAX bytes; returns its length.
        size_t format(Timestamp_t t, char* out);
        static constexpr size_t TEXT_MAX = 32;

      private:
        const bool _date;
        bool _valid = false;
        Timestamp_t _second = 0;
        size_t _length = 0;
        char _text[TEXT_MAX];
    };

    void svc(const char* name);
    // One queue item, request or entry; false for the stop request. The entry goes back to the
    // pool; a failure drops it and tells the handlers LOG_ENTRY_LOST.
    bool process(LogEntry* entry);
    void svcImpl(LogEntry* entry);
    size_t buildBody(const LogEntry* entry);
    void writeTextLine(const LogEntry* entry, size_t bodyLen);
    void writeSysLog(const LogEntry* entry, int priority, size_t bodyLen);
    void writeBinary(const LogEntry* entry);
    void flushFiles();
    void rollNow();
    void ackSync();
    bool onLoggerThread() const;
    void setLoggersEnabled(bool enabled);
    // Stops the logger thread (the stop request follows this thread's entries), then writes what
    // was queued before the thread ended but after the request. The loggers keep their state.
    void stopThread();
    // Writes, on this thread, the entries queued now; no logger thread may be running.
    void drainQueue();
    void closeOutputs();
    void releaseSlots();
    // Loggers keep their memory; detached, they drop the calls that still reach them.
    void detachLoggers();
    void retireLoggers();

    LogBufferedQueue _logq;
    std::atomic<size_t> _nbMessages;
    std::unique_ptr<boost::thread> _thread;
    std::atomic<bool> _running;
    bool _cpumaskSet;
    cpu_set_t _cpumask;

    boost::mutex _mutex;
    std::map<std::string, Logger*> _logMap;
    LogEventHandlers _handlers;

    std::unique_ptr<BinaryLog> _binlog;
    std::unique_ptr<AsciiLog> _asciilog;
    bool _syslogEnabled;
    bool _syslogOpen;
    std::atomic<LogLevel::Type> _logLevel;
    std::string _progname;
    ThreadNameMap _threadNames;
    LineTime _lineTime{true};
    LineTime _syslogTime{false};
    std::string _profile;

    bool _lastErrorsEnabled;
    size_t _nbLastErrors;
    std::deque<char*> _lastErrors;
    boost::mutex _lastErrorsMutex;

    std::string _basePath;

    // Line buffers of the logger thread: the prefix is built apart and copied in front of the
    // body, so that a text line goes to the file as one write.
    std::unique_ptr<char[]> _lineBuf;
    char _prefixBuf[MAXBUF_PREFIX];
    char _syslogBuf[MAXBUF_SYSLOG];
    std::unique_ptr<char[]> _binaryBuf;  // BinaryLog::MAX_RECORD_SIZE bytes

    // Flush-and-wait: a waiter takes a ticket, sends ENTRY_SYNC and waits until _syncDone reaches
    // the ticket; the logger thread counts each ENTRY_SYNC it reaches.
    boost::mutex _syncMutex;
    boost::condition_variable _syncCond;
    uint64_t _syncRequested;
    uint64_t _syncDone;
    bool _syncOpen;  // a logger thread runs that will answer
};

// The process-wide logging singleton: made by LoggingInit::initialize(), configured once logging
// should start (the client's setlog), deleted by LoggingInit::finalize(). Every operation but the
// static ones forwards to the engine.
class LogManager : private boost::noncopyable, public StatusProvider {
  public:
    // The system-log priority of each level, -1 for the levels that never go there.
    static const int _syslogPriorities[8];

    static void initialize();
    // Deletes the manager. Any thread may do it while others still log: every entry logged
    // before it (the initialising thread's buffered ones included) is written before it returns,
    // and a log call that it overtakes drops its entry (counted in entriesDropped()).
    static void finalize();
    // The singleton, or null before initialize() and after finalize().
    static LogManager* instance() { return _instance.load(std::memory_order_acquire); }
    // Appends a row to the registration table and binds the slot at once when a manager exists.
    // Returns the row's position, or -1 when the table is full (the slot then stays null and the
    // unit's macros log nothing).
    static int registerComponent(LoggerSlot* loggerRef, const char* name, LogLevel::Type level);
    static int registerComponent(LoggerPtr* loggerRef, const char* name, LogLevel::Type level);

    // Hands the calling thread's buffered entries to the logger thread now, without a file
    // flush. Only the initialising thread buffers entries; elsewhere, and without a manager, it
    // does nothing. For that thread before it blocks (the client's event loop before it waits),
    // so that its entries reach the files without waiting for its next log call. Any thread, at
    // any time, also while another thread runs finalize().
    static void handOverEntries();
    // Entries whose log call found its logger detached: made after, or racing, the finalize()
    // of their manager. Process-wide, since the process started.
    static uint64_t entriesDropped();

    ~LogManager() override;

    // Starts logging: the binary log (b*: size limit in KiB, sync interval in bytes, rolling,
    // enabled), the text log (a*: size limit in KiB, rolling, enabled), the system log, the
    // owner thread's batching (entries, age in nanoseconds) and the profile label. Files are
    // named <logDir>/<basename>.<YYYY-MM-DD.HHMMSS>.dat / .txt; basename is also the system-log
    // identity.
    //
    // Returns false when an enabled log file could not be created (reported on standard error);
    // the outputs that could be opened run all the same. Starts the logger thread unless all
    // three outputs are off, and throws boost::thread_resource_error when it cannot. Called
    // again, it stops the running thread, closes the files and starts afresh with the new
    // settings; the loggers stay enabled, and what other threads log meanwhile waits in the
    // queue for the new thread (or, with every output off, goes nowhere). Not concurrently with
    // itself or with finalize().
    bool configure(const std::string& logDir, const std::string& basename,
                   unsigned int bmaxFileSize, unsigned int syncSize, bool brollover, bool benable,
                   unsigned int amaxFileSize, bool arollover, bool aenable, bool syslogEnable,
                   unsigned int maxBufferedEntries, Timestamp_t flushTimeout,
                   const std::string& profile);

    LoggerPtr getLog(const std::string& name, LogLevel::Type level);
    void setLogLevel(LogLevel::Type level);
    void flush();
    void flushAndWait();
    void rollLogs();
    void setAffinity(const cpu_set_t& mask);
    void registerHandler(LogEventHandler& handler);

    std::string getProviderName() const override;
    int getPageMask() const override;
    using StatusProvider::dumpDebug;
    // The ring of recent errors, newest first, then the counters table, as HTML.
    void dumpDebug(std::ostream& os) override;

    LogManagerImpl& impl() { return *_logManagerImpl; }

  private:
    LogManager();

    std::unique_ptr<LogManagerImpl> _logManagerImpl;
    static std::atomic<LogManager*> _instance;
};

namespace detail {
inline bool mirrorsToConsole(LogLevel::Type level) {
    return gLogToConsole.load(std::memory_order_relaxed) &&
           gLogToConsoleLevel.load(std::memory_order_relaxed) >= level;
}
// Writes the line and std::endl to std::cerr.
void writeConsoleLine(const char* line);

// The entry of one log statement, taken from the pool once its level passes, so that the
// statement formats its text in place: no buffer of its own and no copy. Goes back to the pool
// unless the logger takes it over (Logger::post), also when formatting throws. Without memory for
// an entry the range is empty: the text goes nowhere, and post tells the handlers of the loss.
class EntryText {
  public:
    EntryText() : _entry(LogBufferedQueue::acquire()) {}
    ~EntryText() {
        if (_entry != nullptr) LogBufferedQueue::release(_entry);
    }
    EntryText(const EntryText&) = delete;
    EntryText& operator=(const EntryText&) = delete;

    char* begin() const { return _entry != nullptr ? _entry->description : &_none; }
    char* end() const {
        return _entry != nullptr ? _entry->description + OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE : &_none;
    }
    // The entry, now the caller's; null without one.
    LogEntry* take() {
        LogEntry* const entry = _entry;
        _entry = nullptr;
        return entry;
    }

  private:
    LogEntry* _entry;
    mutable char _none = '\0';
};

// The text buffer of a console line (the mirror of a level macro). It is the calling thread's
// buffer of OX_LOG_MAXBUF bytes, allocated at the thread's first console line and freed when the
// thread ends, so a statement costs its caller's stack only this small object and a thread with a
// small stack can log. A line made inside another's text (an output operator that logs), or from
// a destructor that runs once the thread's buffer is gone, gets a heap buffer of its own for its
// duration; without memory for one, a short text of the thread's own.
class LogText {
  public:
    LogText();
    ~LogText();
    LogText(const LogText&) = delete;
    LogText& operator=(const LogText&) = delete;

    char* begin() const { return _begin; }
    char* end() const { return _begin + _size; }

  private:
    char* _begin;
    size_t _size;
    bool _claimed;  // the thread's buffer, given back by the destructor
    bool _owned;    // a buffer of its own, freed by the destructor
};
}  // namespace detail

}  // namespace Orbanex

// --- Macros -----------------------------------------------------------------------------------
//
// A unit that logs declares its component logger once, at namespace scope:
//     OX_LOG_DECLARE_LOGGER("API")
// and logs with one macro per level, the text being a chain of FastOStream insertions:
//     OX_LOG_WARN("no answer from " << host << ':' << port);
// The text is formatted only when the level passes, in place in its entry (detail::EntryText),
// and cut at the entry's size; the console line, when the mirror is on, is formatted apart in a
// buffer that is not on the stack (detail::LogText) and cut at OX_LOG_MAXBUF.

#define OX_LOG_LOGGER __logger

#define OX_LOG_DECLARE_LOGGER(name)                                                      \
    namespace {                                                                          \
    ::Orbanex::LoggerSlot OX_LOG_LOGGER{nullptr};                                        \
    const ::Orbanex::AutoLogRegister OX_LOG_LOGGER##_registration(&OX_LOG_LOGGER, name); \
    }

#define OX_LOG_IMPL_(LEVEL, PRED, TAG, COUNTS, WRITE)                                         \
    do {                                                                                      \
        if (COUNTS) ::Orbanex::gNumErrorsLogged.fetch_add(1, std::memory_order_relaxed);      \
        ::Orbanex::Logger* const ox_logger_ = OX_LOG_LOGGER.load(std::memory_order_acquire);  \
        if (ox_logger_ != nullptr && ox_logger_->PRED()) {                                    \
            ::Orbanex::detail::EntryText ox_entry_;                                           \
            ::Orbanex::FastOStream ox_fos_(ox_entry_.begin(), ox_entry_.end());               \
            WRITE;                                                                            \
            ox_logger_->post(ox_entry_, ox_fos_.size(), LEVEL, __FILE__, __LINE__, __func__); \
        }                                                                                     \
        if (::Orbanex::detail::mirrorsToConsole(LEVEL)) {                                     \
            const ::Orbanex::detail::LogText ox_text_;                                        \
            ::Orbanex::FastOStream ox_fos_(ox_text_.begin(), ox_text_.end());                 \
            ox_fos_ << __FILE__ << ':' << __LINE__ << TAG;                                    \
            WRITE;                                                                            \
            ::Orbanex::detail::writeConsoleLine(ox_fos_.ends());                              \
        }                                                                                     \
    } while (0)

#define OX_LOG_CRITICAL(expr)                                                         \
    OX_LOG_IMPL_(::Orbanex::LogLevel::LOGCRITICAL, isCriticalEnabled, ":CRIT:", true, \
                 ox_fos_ << expr)
#define OX_LOG_ERROR(expr) \
    OX_LOG_IMPL_(::Orbanex::LogLevel::LOGERROR, isErrorEnabled, ":ERROR:", true, ox_fos_ << expr)
#define OX_LOG_WARN(expr) \
    OX_LOG_IMPL_(::Orbanex::LogLevel::LOGWARN, isWarnEnabled, ":WARN:", true, ox_fos_ << expr)
#define OX_LOG_INFO(expr) \
    OX_LOG_IMPL_(::Orbanex::LogLevel::LOGINFO, isInfoEnabled, ":INFO:", false, ox_fos_ << expr)
#define OX_LOG_INFON(text, len)                                                 \
    OX_LOG_IMPL_(::Orbanex::LogLevel::LOGINFO, isInfoEnabled, ":INFON:", false, \
                 ox_fos_.write((text), static_cast<size_t>(len)))
#define OX_LOG_TRACE(expr) \
    OX_LOG_IMPL_(::Orbanex::LogLevel::LOGTRACE, isTraceEnabled, ":TRACE:", false, ox_fos_ << expr)
// Logs msg (a ShpMessage) with text at LOGMESSAGE, sharing the caller's reference; with a third
// argument (OX_LOG_AND_DELETE) the entry takes the caller's reference over. No console mirror.
#define OX_LOG_MESSAGE(text, ...)                                                                  \
    do {                                                                                           \
        ::Orbanex::Logger* const ox_logger_ = OX_LOG_LOGGER.load(std::memory_order_acquire);       \
        if (ox_logger_ != nullptr && ox_logger_->isMessageEnabled()) {                             \
            ::Orbanex::detail::EntryText ox_entry_;                                                \
            ::Orbanex::FastOStream ox_fos_(ox_entry_.begin(), ox_entry_.end());                    \
            ox_fos_ << (text);                                                                     \
            ox_logger_->post(ox_entry_, ox_fos_.size(), ::Orbanex::LogLevel::LOGMESSAGE, __FILE__, \
                             __LINE__, __func__, __VA_ARGS__);                                     \
        }                                                                                          \
    } while (0)
#define OX_LOG_AND_DELETE(text, msg) OX_LOG_MESSAGE(text, msg, true)

// The debug macros cost nothing: neither the level test nor the expression is compiled in.
#define OX_LOG_DEBUG(expr) static_cast<void>(0)
#define OX_LOG_DEBUGN(text, len) static_cast<void>(0)
