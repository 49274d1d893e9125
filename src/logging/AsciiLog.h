#pragma once

#include <cstddef>
#include <string>

#include "logging/BinaryLog.h"

namespace Orbanex {

// The text log file: one line per log entry, written by the logger thread. Optionally rolls to a
// new file when a write would bring the file to its size limit.
//
// Each line goes to the file descriptor in one write(2) of the whole line, without user-space
// buffering, so a line is in the file as soon as it is written; a short write is completed. A
// line is in the file whole or not at all: when the system refuses part of it (a full disk), the
// part that reached the file is cut back, the line is dropped and the handlers hear
// LOG_ENTRY_LOST, once per dropped line. Nothing of a dropped line is kept or sent again; the
// file stays open, so the lines written after space returns are in it. The first failure of an
// outage (the failures until a line is written again) is reported once: on standard error, and
// logged through the logger "Log", CRITICAL "File system is full. Could not write log file
// '<name>'." on a full disk, ERROR "Error writing to log file: '<name>'." otherwise. That entry
// reaches the system log and the binary log; its own line meets the outage and is dropped.
//
// File name: <basename>.<YYYY-MM-DD.HHMMSS>.txt in local time; a file of that name is never
// replaced (see BinaryLog::createLogFile), so two files opened within one second both survive.
//
// Threads: configure() runs before the logger thread starts (or after it has ended); everything
// else on the logger thread only. No lock of its own; the handler list has its own.
class AsciiLog {
  public:
    typedef BinaryLog::WriteFunction WriteFunction;

    AsciiLog();
    virtual ~AsciiLog();

    // Names and creates the first file; the limit is maxFileSize KiB. A file that cannot be
    // created is reported on standard error ("Error: Failed to open log file '<name>'.") and
    // leaves the log disabled; the result is then false. With enable false the file is created
    // but nothing is written.
    bool configure(const std::string& basename, unsigned int maxFileSize, bool rollover,
                   bool enable);
    // Closes the current file; the log is disabled until configured again.
    void close();

    void registerHandler(LogEventHandler& handler) { _handlers.add(handler); }

    bool isEnabled() const { return _enable; }
    size_t getCurrentFileSize() const { return _currFileSize; }
    const std::string& getCurrentFileName() const { return _filename; }

    // size bytes as one unit: the roll test is made once, before the first byte, so a line never
    // starts in one file and ends in the next. Nothing while disabled.
    void write(const char* data, size_t size);
    // Writes the bytes whole or drops them (see above), without the roll test or the enabled
    // test. True when they are in the file.
    bool writeNoRoll(const char* data, size_t size);
    // Nothing to do: lines are written without buffering.
    void flush() {}
    // Closes the current file and opens a new one; the handlers hear LOG_ROLLED, also when the
    // new file could not be opened (lines are then dropped, and reported, until a later roll
    // succeeds).
    void roll();

    // The seam through which every line reaches the file (write(2) by default); tests put a
    // failing one in its place. Returns the previous one; null restores write(2).
    static WriteFunction setWriteFunction(WriteFunction fn);

  private:
    AsciiLog(const AsciiLog&) = delete;
    AsciiLog& operator=(const AsciiLog&) = delete;

    bool openFile();
    void closeFile();
    // Prints and logs the first failure of an outage: error is the errno of the failed write.
    void reportFailure(int error);

    std::string _basename;
    std::string _filename;
    size_t _maxFileSize;
    size_t _currFileSize;
    bool _rollover;
    bool _enable;
    // A write failed and was reported; cleared by the next line written, so an outage is
    // reported once, not once a line.
    bool _writeFailed;
    int _fd;
    LogEventHandlers _handlers;
};

}  // namespace Orbanex
