#include "logging/BinaryLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/TimeUtil.h"

namespace Orbanex {

namespace {
// Files of one base name a process may open within one second before giving up.
constexpr int MAX_NAME_SUFFIX = 1000;
}  // namespace

LogEventHandler::~LogEventHandler() = default;

LogEventHandlers::LogEventHandlers() : _list(std::make_shared<const List>()) {}

void LogEventHandlers::add(LogEventHandler& handler) {
    boost::unique_lock<boost::mutex> lock(_mutex);
    auto grown = std::make_shared<List>(*_list);
    grown->push_back(&handler);
    _list = std::move(grown);
}

void LogEventHandlers::notify(int event) const {
    std::shared_ptr<const List> snapshot;
    {
        boost::unique_lock<boost::mutex> lock(_mutex);
        snapshot = _list;
    }
    for (LogEventHandler* h : *snapshot) h->onLogEvent(event);
}

size_t LogEventHandlers::size() const {
    boost::unique_lock<boost::mutex> lock(_mutex);
    return _list->size();
}

std::string BinaryLog::getLogFilename(const std::string& basename, const std::string& ext) {
    char when[32];
    TimeUtil::formatString(TimeUtil::now(), when, sizeof when, true, false, '\0', '.', '\0', true);
    return basename + "." + when + ext;
}

int BinaryLog::createLogFile(const std::string& basename, const std::string& ext, mode_t mode,
                             std::string& filename) {
    const std::string stem = getLogFilename(basename, "");
    for (int n = 0; n < MAX_NAME_SUFFIX; ++n) {
        filename = n == 0 ? stem + ext : stem + "-" + std::to_string(n) + ext;
        const int fd = ::open(filename.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd != -1 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace Orbanex
