#pragma once

#include <cstddef>
#include <fstream>
#include <string>

#include "logging/BinaryLog.h"

namespace Orbanex {

// The text log file: one line per log entry, written by the logger thread, flushed after every
// write so that a line is on disk as soon as it is written. Optionally rolls to a new file when
// a write would bring the file to its size limit.
//
// File name: <basename>.<YYYY-MM-DD.HHMMSS>.txt in local time; a file of that name is never
// replaced (see BinaryLog::createLogFile), so two files opened within one second both survive.
//
// Threads: configure() runs before the logger thread starts (or after it has ended); everything
// else on the logger thread only. No lock of its own; the handler list has its own.
class AsciiLog {
  public:
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
    // Writes and flushes without the roll test or the enabled test.
    void writeNoRoll(const char* data, size_t size);
    void flush();
    // Closes the current file and opens a new one; the handlers hear LOG_ROLLED, also when the
    // new file could not be opened (lines are then lost until a later roll succeeds).
    void roll();

  private:
    AsciiLog(const AsciiLog&) = delete;
    AsciiLog& operator=(const AsciiLog&) = delete;

    bool openFile();

    std::string _basename;
    std::string _filename;
    size_t _maxFileSize;
    size_t _currFileSize;
    bool _rollover;
    bool _enable;
    bool _writeFailed;
    std::ofstream _logFile;
    LogEventHandlers _handlers;
};

}  // namespace Orbanex
