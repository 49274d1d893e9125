#include "logging/BinaryLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <system_error>

#include "catalogue/OXProtocol.h"
#include "common/TimeUtil.h"
#include "framework/CodecError.h"
#include "framework/FastCodec.h"
#include "framework/MsgControl.h"
#include "framework/MsgHead.h"
#include "logging/Log.h"
#include "logging/MessagingLogUtils.h"

OX_LOG_DECLARE_LOGGER("BinaryLog")

namespace Orbanex {

namespace {
// Files of one base name a process may open within one second before giving up.
constexpr int MAX_NAME_SUFFIX = 1000;

ssize_t systemWrite(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

std::atomic<BinaryLog::WriteFunction> gWrite{&systemWrite};
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

BinaryLog::WriteFunction BinaryLog::setWriteFunction(WriteFunction fn) {
    return gWrite.exchange(fn != nullptr ? fn : &systemWrite);
}

BinaryLog::BinaryLog()
    : _maxFileSize(1048576),
      _currFileSize(0),
      _syncSize(0),
      _minPadSize(MIN_PAD_SIZE),
      _rollover(true),
      _enable(false),
      _preamble(false),
      _fd(-1),
      _lastOpenAttempt(0),
      _failureReported(false),
      _maxWriteTime(0),
      _record(new char[MAX_RECORD_SIZE]) {}

BinaryLog::~BinaryLog() { closeFile(); }

bool BinaryLog::configure(const std::string& basename, size_t maxFileSize, size_t syncSize,
                          bool rollover, bool enable, bool preamble) {
    close();
    // A pad record cannot be shorter than its header, and its padding must fit a message block.
    if (syncSize != 0 && (syncSize < MIN_PAD_SIZE || syncSize > MAX_SYNC_SIZE)) {
        std::cerr << "Error: binary log sync size " << syncSize << " is outside " << MIN_PAD_SIZE
                  << " to " << MAX_SYNC_SIZE << "." << std::endl;
        return false;
    }
    _basename = basename;
    _rollover = rollover;
    _preamble = preamble;
    _maxFileSize = maxFileSize * 1024;
    _syncSize = syncSize;
    _enable = enable;
    _failureReported = false;
    // Without a file the log stays enabled: a later record opens one (see reopen()).
    return openFile();
}

void BinaryLog::close() {
    closeFile();
    _enable = false;
}

void BinaryLog::write(const char* data, size_t size) {
    if (!_enable) return;
    bool written = false;
    try {
        if (_fd == -1) reopen();
        if (_fd != -1 && _rollover && _currFileSize + size >= _maxFileSize) roll();
        if (_fd != -1 && _syncSize != 0) {
            // Bytes to the next boundary; a whole interval on a boundary, where a record starts
            // an interval whatever its size.
            const size_t room = _syncSize - _currFileSize % _syncSize;
            if (room != _syncSize && (room < _minPadSize || size + _minPadSize > room)) pad();
        }
        written = writeNoRoll(data, size);
    } catch (const std::exception&) {
        std::cerr << "Failed to write to the log file " << std::endl;
    }
    if (!written) _handlers.notify(LogEventHandler::LOG_ENTRY_LOST);
}

void BinaryLog::reopen() {
    const Timestamp_t now = TimeUtil::now();
    // A clock set back counts as time passed: the log never waits for it to catch up.
    if (now >= _lastOpenAttempt && now - _lastOpenAttempt < TimeUtil::ONE_SEC) return;
    if (openFile()) _handlers.notify(LogEventHandler::LOG_ROLLED);
}

size_t BinaryLog::frameMessage(const ShpMessage& msg, Timestamp_t nsecs, char* buffer,
                               size_t maxsize) {
    const size_t limit = maxsize < MAX_RECORD_SIZE ? maxsize : MAX_RECORD_SIZE;
    if (limit <= Tarvik::MsgHead::SIZE)
        throw Tarvik::EncodeError("BinaryLog: no room for a record");
    Tarvik::FastCodec body(buffer + Tarvik::MsgHead::SIZE, buffer + limit);
    msg->getControl()->write(body);
    Tarvik::MsgHead head;
    head.length = static_cast<uint16_t>(body.size() + Tarvik::MsgHead::LENGTH_OVERHEAD);
    head.id = msg->getMsgType();
    head.nsecs = nsecs;
    Tarvik::FastCodec out(buffer, buffer + Tarvik::MsgHead::SIZE);
    head.write(out);
    return Tarvik::MsgHead::SIZE + body.size();
}

void BinaryLog::writeMessage(const ShpMessage& msg) {
    const size_t size = frameMessage(msg, TimeUtil::now(), _record.get(), MAX_RECORD_SIZE);
    writeNoRoll(_record.get(), size);
}

void BinaryLog::pad() {
    if (_syncSize == 0 || _fd == -1) return;
    size_t boundary = _currFileSize - _currFileSize % _syncSize + _syncSize;
    if (boundary - _currFileSize < _minPadSize) boundary += _syncSize;
    const size_t count = boundary - _currFileSize - _minPadSize;
    ShpMessage msg = Message::createMessage(CALLSITE, PadMessage::ID);
    const std::string padding(count, 'x');
    static_cast<PadMessage*>(msg->getPayload())->padding.assign(padding.data(), count);
    writeMessage(msg);
}

int BinaryLog::writeWhole(WriteFunction fn, int fd, const char* data, size_t size, size_t keep,
                          const std::string& filename) {
    size_t done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t n = fn(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // No progress counts as an error, so the loop cannot spin.
            error = n < 0 ? errno : EIO;
            break;
        }
    }
    // Some of the bytes reached the file: cut them back, so the file ends where it ended.
    if (error != 0 && done != 0 && ::ftruncate(fd, static_cast<off_t>(keep)) != 0) {
        std::cerr << "Failed to cut back a partial write of '" << filename << "'" << std::endl;
    }
    return error;
}

bool BinaryLog::writeNoRoll(const char* data, size_t size) {
    if (_fd == -1) return false;
    const Timestamp_t start = TimeUtil::now();
    const int error = writeWhole(gWrite.load(), _fd, data, size, _currFileSize, _filename);
    const Timestamp_t elapsed = TimeUtil::now() - start;
    if (elapsed > _maxWriteTime) _maxWriteTime = elapsed;
    if (error == 0) {
        _currFileSize += size;
        return true;
    }
    ::close(_fd);
    _fd = -1;
    // The next attempt to open a file comes a second from now, not with the next record.
    _lastOpenAttempt = TimeUtil::now();
    const std::string text = error == ENOSPC ? "File system is full. Could not write log file '" +
                                                   _filename + "'. Closing."
                                             : "Error writing to log file: '" + _filename + "'.";
    if (reportFailure(error == ENOSPC, text)) std::cerr << text << std::endl;
    return false;
}

bool BinaryLog::reportFailure(bool critical, const std::string& text) {
    if (_failureReported) return false;
    _failureReported = true;
    if (critical) {
        OX_LOG_CRITICAL(text);
    } else {
        OX_LOG_ERROR(text);
    }
    return true;
}

bool BinaryLog::openFile() {
    // Each file counts its own size and sync boundaries from its start.
    _currFileSize = 0;
    _lastOpenAttempt = TimeUtil::now();
    _fd = createLogFile(_basename, ".dat", 0744, _filename);
    if (_fd == -1) {
        const std::string text = "Error: Failed to open log file '" + _filename +
                                 "': " + std::system_category().message(errno);
        if (reportFailure(true, text)) std::cerr << text << "\n" << std::endl;
        return false;
    }
    if (_preamble) {
        try {
            writePreamble();
        } catch (const std::exception& e) {
            // Without the catalogue there are no records to write: no file either.
            std::cerr << "Error: Failed to start log file '" << _filename << "': " << e.what()
                      << std::endl;
            if (_fd != -1) ::close(_fd);
            _fd = -1;
        }
        // A preamble that could not be written (the write closed the file) leaves no file.
        if (_fd == -1) {
            ::unlink(_filename.c_str());
            _currFileSize = 0;
            return false;
        }
    }
    _failureReported = false;
    return true;
}

void BinaryLog::writePreamble() {
    writeMessage(getVersionMessage(static_cast<int>(_syncSize)));
    writeMessage(getProtocolDefinitionMessage());
}

void BinaryLog::writePostscript() {
    writeMessage(Message::createMessage(CALLSITE, ProtocolDefinitionMessage::ID));
}

void BinaryLog::closeFile() {
    if (_fd == -1) return;
    try {
        writePostscript();
    } catch (const std::exception&) {
        std::cerr << "Failed to write to the log file " << std::endl;
    }
    flush();
    if (_fd != -1) ::close(_fd);
    _fd = -1;
    _currFileSize = 0;
}

void BinaryLog::roll() {
    closeFile();
    openFile();
    _handlers.notify(LogEventHandler::LOG_ROLLED);
}

int BinaryLog::remove() {
    if (_fd != -1) {
        ::close(_fd);
        _fd = -1;
    }
    return remove(_filename);
}

int BinaryLog::remove(const std::string& name) { return ::remove(name.c_str()); }

}  // namespace Orbanex
