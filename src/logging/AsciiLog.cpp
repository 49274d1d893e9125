#include "logging/AsciiLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <iostream>

#include "logging/Log.h"

OX_LOG_DECLARE_LOGGER("Log")

namespace Orbanex {

namespace {
ssize_t systemWrite(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

std::atomic<AsciiLog::WriteFunction> gWrite{&systemWrite};
}  // namespace

AsciiLog::WriteFunction AsciiLog::setWriteFunction(WriteFunction fn) {
    return gWrite.exchange(fn != nullptr ? fn : &systemWrite);
}

AsciiLog::AsciiLog()
    : _maxFileSize(1048576),
      _currFileSize(0),
      _rollover(true),
      _enable(false),
      _writeFailed(false),
      _fd(-1) {}

AsciiLog::~AsciiLog() { close(); }

bool AsciiLog::configure(const std::string& basename, unsigned int maxFileSize, bool rollover,
                         bool enable) {
    close();
    _basename = basename;
    _rollover = rollover;
    _maxFileSize = static_cast<size_t>(maxFileSize) * 1024;
    if (!openFile()) {
        // A log file that cannot be created must not end the process: the text log stays off
        // and the caller hears of it.
        std::cerr << "Error: Failed to open log file '" << _filename << "'." << std::endl;
        _enable = false;
        return false;
    }
    _enable = enable;
    return true;
}

void AsciiLog::close() {
    closeFile();
    _enable = false;
}

void AsciiLog::closeFile() {
    if (_fd != -1) ::close(_fd);
    _fd = -1;
    _currFileSize = 0;
}

bool AsciiLog::openFile() {
    _currFileSize = 0;
    _writeFailed = false;
    _fd = BinaryLog::createLogFile(_basename, ".txt", 0666, _filename);
    if (_fd == -1) return false;
    // Appending: after a failed line is cut back, the next line goes to the new end of the file.
    const int flags = ::fcntl(_fd, F_GETFL);
    if (flags == -1 || ::fcntl(_fd, F_SETFL, flags | O_APPEND) == -1) {
        ::close(_fd);
        ::unlink(_filename.c_str());
        _fd = -1;
        return false;
    }
    return true;
}

void AsciiLog::write(const char* data, size_t size) {
    if (!_enable) return;
    try {
        if (_rollover && size + _currFileSize >= _maxFileSize) roll();
        writeNoRoll(data, size);
    } catch (const std::exception&) {
        std::cerr << "Failed to write to the log file" << std::endl;
        _handlers.notify(LogEventHandler::LOG_ENTRY_LOST);
    }
}

bool AsciiLog::writeNoRoll(const char* data, size_t size) {
    const int error =
        _fd == -1 ? EBADF
                  : BinaryLog::writeWhole(gWrite.load(), _fd, data, size, _currFileSize, _filename);
    if (error == 0) {
        _currFileSize += size;
        _writeFailed = false;
        return true;
    }
    if (!_writeFailed) reportFailure(error);
    _writeFailed = true;
    _handlers.notify(LogEventHandler::LOG_ENTRY_LOST);
    return false;
}

void AsciiLog::reportFailure(int error) {
    // The entry's own line is lost with the others of the outage; the system log and the binary
    // log carry it.
    if (error == ENOSPC) {
        const std::string text =
            "File system is full. Could not write log file '" + _filename + "'.";
        std::cerr << text << std::endl;
        OX_LOG_CRITICAL(text);
    } else {
        const std::string text = "Error writing to log file: '" + _filename + "'.";
        std::cerr << text << std::endl;
        OX_LOG_ERROR(text);
    }
}

void AsciiLog::roll() {
    closeFile();
    if (!openFile()) std::cerr << "Failed to open log file: " << _filename << std::endl;
    _handlers.notify(LogEventHandler::LOG_ROLLED);
}

}  // namespace Orbanex
