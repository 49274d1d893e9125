#pragma once

#include <sys/types.h>

#include <boost/thread/mutex.hpp>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "common/CommonTypes.h"
#include "logging/Message.h"

namespace Orbanex {

// What an application implements to hear about the log files: onLogEvent(LOG_ROLLED) after a
// log file was rolled, onLogEvent(LOG_ENTRY_LOST) when a log entry was lost. The library does
// not own handlers: a registered handler must outlive the log manager. Handlers run on the
// logger thread or on a thread that logged, never under a lock of the logging layer, so a
// handler may call back into the log manager.
class LogEventHandler {
  public:
    static constexpr int LOG_ROLLED = 0;
    static constexpr int LOG_ENTRY_LOST = 1;

    virtual ~LogEventHandler();
    virtual void onLogEvent(int event) = 0;
};

// A list of handlers that may grow on one thread while another notifies: notify() takes a
// snapshot under the list's mutex (a reference count, no allocation, so it works when memory is
// short) and calls the handlers outside it, in registration order.
class LogEventHandlers {
  public:
    LogEventHandlers();
    void add(LogEventHandler& handler);
    void notify(int event) const;
    size_t size() const;

  private:
    typedef std::vector<LogEventHandler*> List;

    mutable boost::mutex _mutex;
    std::shared_ptr<const List> _list;
};

// The binary message log file: catalogue messages as records, each a frame header and the
// message body, back to back from offset 0, with no header or trailer of the file's own:
//
//   offset  size        field   content
//   0       2           length  u16 little-endian: the bytes after this field, 10 + body size
//   2       2           id      u16 little-endian: the catalogue message id
//   4       8           nsecs   i64 little-endian: nanoseconds since the epoch
//   12      length - 10 body    the message's fields in the catalogue encoding (the strings of
//                               LogMessage and ProtocolDefinitionMessage scrambled)
//
// Records of one file: a VersionMessage (carrying the sync interval) and a
// ProtocolDefinitionMessage when configured with a preamble; the log records; with a sync
// interval, PadMessage records (below); at close an empty ProtocolDefinitionMessage. The nsecs of
// a log record is its entry's time, of the others the time of writing.
//
// Sync boundaries lie every syncSize bytes from the start of each file. A record that would end
// less than a pad record before the next boundary, or past it, is preceded by a pad that ends on
// the boundary, so a record no longer than the interval never crosses a boundary and a longer
// one starts on one. When the file ends less than a pad record before a boundary (after the
// preamble or a record that filled its interval nearly to the end) no pad fits there: the next
// pad runs on to the boundary after, and is then the only kind of record that crosses one
// without being longer than the interval.
//
// File name: <basename>.<YYYY-MM-DD.HHMMSS>.dat, created new with mode 0744; a second file within
// the same second gets a suffix instead of failing.
//
// Every record goes to the file in one write(2) of a record built in memory, completed when the
// system writes it in parts; a record that fails part-way is cut back off the file, so a reader
// never meets a torn record. A write error (a full disk) closes the file and is logged. While
// the log is enabled without a file (after that, or when a file could not be created) every
// record is dropped and the handlers hear LOG_ENTRY_LOST for it; a record that arrives at least a
// second (TimeUtil::now(), so tests move the override time) after the last attempt to open a
// file makes a new attempt, and a file that opens is announced with LOG_ROLLED. An attempt that
// fails leaves no file behind. Of the failures of one outage only the first is reported: logged
// through the logger "BinaryLog" (CRITICAL "File system is full. Could not write log file
// '<name>'. Closing." on a full disk or "Error: Failed to open log file '<name>': <reason>", ERROR
// "Error writing to log file: '<name>'." on another write error) and printed on standard error.
//
// Threads: configure() and close() before the logger thread starts or after it has ended;
// everything else on the logger thread only. No lock of its own; the handler list has its own.
class BinaryLog {
  public:
    typedef ssize_t (*WriteFunction)(int fd, const void* data, size_t size);

    // A pad record without padding: the frame header and the 2-byte padding length.
    static constexpr size_t MIN_PAD_SIZE = 14;
    // The longest sync interval: its padding must fit one message block.
    static constexpr size_t MAX_SYNC_SIZE = 31744;
    // The longest record: a frame header and the longest body a 16-bit length describes.
    static constexpr size_t MAX_RECORD_SIZE = 12 + 65525;

    BinaryLog();
    virtual ~BinaryLog();

    // Stores the settings (maxFileSize in KiB) and creates the first file. False, with the log
    // left disabled, for a sync interval other than 0 that is shorter than a pad record or longer
    // than MAX_SYNC_SIZE (reported on standard error). False too when no file could be created
    // (reported as well), but the log stays enabled and opens a file later (see above).
    bool configure(const std::string& basename, size_t maxFileSize, size_t syncSize, bool rollover,
                   bool enable, bool preamble);
    // Closes the current file with its closing record; disabled until configured again.
    void close();

    void registerHandler(LogEventHandler& handler) { _handlers.add(handler); }

    bool isEnabled() const { return _enable; }
    bool isOpen() const { return _fd != -1; }
    size_t getCurrentFileSize() const { return _currFileSize; }
    const std::string& getCurrentFileName() const { return _filename; }

    // One complete record, with the reopen, roll and pad rules. Nothing while disabled; a record
    // that does not reach the file is reported to the handlers (LOG_ENTRY_LOST).
    void write(const char* data, size_t size);
    // Frames and appends one message stamped with the current time, without the roll and pad
    // rules.
    void writeMessage(const ShpMessage& msg);
    void flush() {}
    // Closes the current file and opens the next; the handlers hear LOG_ROLLED, also when the
    // open failed.
    void roll();
    // Fills the file up to its next sync boundary with one pad record, or up to the boundary
    // after when the next one is nearer than a pad record. Nothing without a sync interval.
    void pad();
    int remove();
    static int remove(const std::string& name);

    // The longest single write since the last clear, in nanoseconds (the queue alarms report it).
    Timestamp_t MaxWriteTime() const { return _maxWriteTime; }
    void ClearMaxWriteTime() { _maxWriteTime = 0; }

    // Writes the record of msg (frame header stamped nsecs, then the body) at buffer and returns
    // its size; a record larger than maxsize or MAX_RECORD_SIZE throws Tarvik::EncodeError.
    static size_t frameMessage(const ShpMessage& msg, Timestamp_t nsecs, char* buffer,
                               size_t maxsize);

    // basename, ".", the local date and time as YYYY-MM-DD.HHMMSS (from TimeUtil::now()), ext.
    static std::string getLogFilename(const std::string& basename, const std::string& ext);

    // Creates a new log file for writing, never opening or replacing an existing one: the name
    // of getLogFilename, or when that exists (a second file within the same second) the same
    // name with "-1", "-2", ... before ext. Returns the descriptor and the name it got, or -1
    // with errno set and the last name tried.
    static int createLogFile(const std::string& basename, const std::string& ext, mode_t mode,
                             std::string& filename);

    // Writes size bytes to fd through fn, completing short writes and retrying interrupted ones.
    // Returns 0, or the error (EIO for a write that made no progress) after cutting the file back
    // to its first keep bytes, so that it ends where it ended before the call.
    static int writeWhole(WriteFunction fn, int fd, const char* data, size_t size, size_t keep,
                          const std::string& filename);

    // The seam through which every record reaches the file (write(2) by default); tests put a
    // failing one in its place. Returns the previous one; null restores write(2).
    static WriteFunction setWriteFunction(WriteFunction fn);

  private:
    BinaryLog(const BinaryLog&) = delete;
    BinaryLog& operator=(const BinaryLog&) = delete;

    bool openFile();
    void closeFile();
    // Opens a new file when none is open and a second has passed since the last attempt.
    void reopen();
    // Logs a failure to open or write a file, CRITICAL or ERROR, unless one of this outage was
    // reported already; true when it did (the caller then prints it on standard error).
    bool reportFailure(bool critical, const std::string& text);
    void writePreamble();
    void writePostscript();
    bool writeNoRoll(const char* data, size_t size);

    std::string _basename;
    std::string _filename;
    size_t _maxFileSize;
    size_t _currFileSize;
    size_t _syncSize;
    size_t _minPadSize;
    bool _rollover;
    bool _enable;
    bool _preamble;
    int _fd;
    Timestamp_t _lastOpenAttempt;  // also set when a write failure closes the file
    bool _failureReported;         // since the last file opened
    Timestamp_t _maxWriteTime;
    LogEventHandlers _handlers;
    std::unique_ptr<char[]> _record;
};

}  // namespace Orbanex
