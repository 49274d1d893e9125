#include "logging/AsciiLog.h"

#include <unistd.h>

#include <exception>
#include <iostream>

namespace Orbanex {

AsciiLog::AsciiLog()
    : _maxFileSize(1048576),
      _currFileSize(0),
      _rollover(true),
      _enable(false),
      _writeFailed(false) {}

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
    if (_logFile.is_open()) {
        _logFile.flush();
        _logFile.close();
    }
    _logFile.clear();
    _enable = false;
    _currFileSize = 0;
}

bool AsciiLog::openFile() {
    _currFileSize = 0;
    _writeFailed = false;
    const int fd = BinaryLog::createLogFile(_basename, ".txt", 0666, _filename);
    if (fd == -1) return false;
    ::close(fd);
    _logFile.clear();
    _logFile.open(_filename.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
    return _logFile.is_open();
}

void AsciiLog::write(const char* data, size_t size) {
    if (!_enable) return;
    try {
        if (_rollover && size + _currFileSize >= _maxFileSize) roll();
        writeNoRoll(data, size);
    } catch (const std::exception&) {
        std::cerr << "Failed to write to the log file" << std::endl;
    }
}

void AsciiLog::writeNoRoll(const char* data, size_t size) {
    _logFile.write(data, static_cast<std::streamsize>(size));
    _logFile.flush();
    _currFileSize += size;
    if (!_logFile) {
        // Lines are being lost: say so once per failure, and try again with the next line.
        if (!_writeFailed) std::cerr << "Failed to write to the log file" << std::endl;
        _writeFailed = true;
        _logFile.clear();
    } else {
        _writeFailed = false;
    }
}

void AsciiLog::flush() {
    if (_logFile.is_open()) _logFile.flush();
}

void AsciiLog::roll() {
    if (_logFile.is_open()) {
        _logFile.flush();
        _logFile.close();
    }
    if (!openFile()) std::cerr << "Failed to open log file: " << _filename << std::endl;
    _handlers.notify(LogEventHandler::LOG_ROLLED);
}

}  // namespace Orbanex
