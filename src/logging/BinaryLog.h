#pragma once

#include <sys/types.h>

#include <boost/thread/mutex.hpp>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

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

// The binary message log file.
class BinaryLog {
  public:
    // basename, ".", the local date and time as YYYY-MM-DD.HHMMSS (from TimeUtil::now()), ext.
    static std::string getLogFilename(const std::string& basename, const std::string& ext);

    // Creates a new log file for writing, never opening or replacing an existing one: the name
    // of getLogFilename, or when that exists (a second file within the same second) the same
    // name with "-1", "-2", ... before ext. Returns the descriptor and the name it got, or -1
    // with errno set and the last name tried.
    static int createLogFile(const std::string& basename, const std::string& ext, mode_t mode,
                             std::string& filename);
};

}  // namespace Orbanex
