#pragma once

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/filesystem.hpp>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "common/TimeUtil.h"
#include "logging/Log.h"

namespace logtest {

// 2024-03-05 14:07:09.123456 UTC.
constexpr Orbanex::Timestamp_t T0 = 1709647629123456000LL;

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        _path = (boost::filesystem::temp_directory_path() /
                 boost::filesystem::unique_path("zurav-log-%%%%-%%%%-%%%%"))
                    .string();
        boost::filesystem::create_directories(_path);
    }
    ~TempDir() {
        boost::system::error_code ec;
        boost::filesystem::remove_all(_path, ec);
    }
    const std::string& path() const { return _path; }
    std::string base(const std::string& name = "ZURAV") const { return _path + "/" + name; }

    // The names of the files in the directory with that extension, sorted.
    std::vector<std::string> files(const std::string& ext) const {
        std::vector<std::string> names;
        for (auto& e : boost::filesystem::directory_iterator(_path)) {
            if (e.path().extension() == ext) names.push_back(e.path().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string _path;
};

inline std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    for (std::string l; std::getline(ss, l);) out.push_back(l);
    return out;
}

// Local time is UTC and the clock stands at T0 for the test's duration.
class FixedClock {
  public:
    explicit FixedClock(Orbanex::Timestamp_t t = T0) {
        setenv("TZ", "UTC", 1);
        tzset();
        set(t);
    }
    ~FixedClock() { set(0); }
    // Written directly: setOverrideTime would also report to the real system log.
    void set(Orbanex::Timestamp_t t) { Orbanex::TimeUtil::overrideSystemTime.store(t); }
};

// A system log that keeps its lines; it can hold the logger thread back inside write().
class RecordingSysLog : public Orbanex::SysLogSink {
  public:
    struct Line {
        int priority;
        std::string text;
    };

    RecordingSysLog() { _previous = Orbanex::SysLogSink::install(this); }
    ~RecordingSysLog() override { Orbanex::SysLogSink::install(_previous); }

    void open(const char* ident, int, int facility) override {
        std::lock_guard<std::mutex> lock(_mutex);
        _ident = ident;
        _facility = facility;
        ++_opens;
    }
    void close() override {
        std::lock_guard<std::mutex> lock(_mutex);
        ++_closes;
    }
    void write(int priority, const char* line) override {
        std::unique_lock<std::mutex> lock(_mutex);
        _lines.push_back(Line{priority, line});
        _cond.notify_all();
        if (_throwOn != nullptr && std::string(line).find(_throwOn) != std::string::npos) {
            throw std::runtime_error("sink refuses the line");
        }
        if (_holding) {
            _held = true;
            _cond.notify_all();
            _cond.wait(lock, [this] { return !_holding; });
        }
    }

    // The next write() waits until release(); waitHeld() returns once a write is waiting.
    void hold() {
        std::lock_guard<std::mutex> lock(_mutex);
        _holding = true;
        _held = false;
    }
    void waitHeld() {
        std::unique_lock<std::mutex> lock(_mutex);
        _cond.wait(lock, [this] { return _held; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(_mutex);
        _holding = false;
        _cond.notify_all();
    }
    // Waits until the sink holds at least n lines.
    void waitForLines(size_t n) {
        std::unique_lock<std::mutex> lock(_mutex);
        _cond.wait(lock, [this, n] { return _lines.size() >= n; });
    }
    void throwOn(const char* marker) {
        std::lock_guard<std::mutex> lock(_mutex);
        _throwOn = marker;
    }

    std::vector<Line> lines() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _lines;
    }
    std::string ident() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _ident;
    }
    int opens() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _opens;
    }

  private:
    Orbanex::SysLogSink* _previous;
    mutable std::mutex _mutex;
    std::condition_variable _cond;
    std::vector<Line> _lines;
    std::string _ident;
    int _facility = 0;
    int _opens = 0;
    int _closes = 0;
    bool _holding = false;
    bool _held = false;
    const char* _throwOn = nullptr;
};

// Counts the events it hears.
class CountingHandler : public Orbanex::LogEventHandler {
  public:
    void onLogEvent(int event) override {
        std::lock_guard<std::mutex> lock(_mutex);
        ++_counts[event == 0 ? 0 : 1];
    }
    int count(int event) const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _counts[event == 0 ? 0 : 1];
    }

  private:
    mutable std::mutex _mutex;
    int _counts[2] = {0, 0};
};

// A disk behind the write seams of both log files: it takes the bytes of setSpace() and then
// refuses with ENOSPC, the write that reaches the limit being cut short as on a real full disk;
// setChunk() caps the bytes of one call (short writes). Unlimited and unchunked at first. The
// logger thread may write while the test changes it. One at a time.
class Disk {
  public:
    static constexpr size_t UNLIMITED = static_cast<size_t>(-1);

    Disk() {
        _current().store(this);
        _previousText = Orbanex::AsciiLog::setWriteFunction(&Disk::write);
        _previousBinary = Orbanex::BinaryLog::setWriteFunction(&Disk::write);
    }
    ~Disk() {
        Orbanex::AsciiLog::setWriteFunction(_previousText);
        Orbanex::BinaryLog::setWriteFunction(_previousBinary);
        _current().store(nullptr);
    }
    void setSpace(size_t bytes) {
        std::lock_guard<std::mutex> lock(_mutex);
        _space = bytes;
    }
    void setChunk(size_t bytes) {
        std::lock_guard<std::mutex> lock(_mutex);
        _chunk = bytes;
    }
    // Calls of the seam so far.
    size_t calls() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _calls;
    }

  private:
    static std::atomic<Disk*>& _current() {
        static std::atomic<Disk*> disk{nullptr};
        return disk;
    }
    static ssize_t write(int fd, const void* data, size_t size) {
        Disk* d = _current().load();
        size_t n = size;
        {
            std::lock_guard<std::mutex> lock(d->_mutex);
            ++d->_calls;
            n = std::min(std::min(n, d->_chunk), d->_space);
            if (d->_space != UNLIMITED) d->_space -= n;
        }
        if (n == 0 && size != 0) {
            errno = ENOSPC;
            return -1;
        }
        return ::write(fd, data, n);
    }

    mutable std::mutex _mutex;
    size_t _space = UNLIMITED;
    size_t _chunk = UNLIMITED;
    size_t _calls = 0;
    Orbanex::BinaryLog::WriteFunction _previousText = nullptr;
    Orbanex::BinaryLog::WriteFunction _previousBinary = nullptr;
};

}  // namespace logtest

#include "catalogue/OXProtocol.h"
#include "framework/MsgLogFile.h"
#include "logging/Message.h"

namespace logtest {

// One record of a binary log file, read back with the framework's reader.
struct Record {
    Tarvik::MsgType_t id;
    int64_t nsecs;
    uint16_t length;
    int64_t offset;
    Orbanex::ShpMessage msg;  // decoded; empty for an empty body

    template <class M>
    const M& as() const {
        return *static_cast<const M*>(msg->getPayload());
    }
};

// Every record of the file, in order. Fails the test unless the records lie back to back and
// cover the whole file.
inline std::vector<Record> readRecords(const std::string& name) {
    std::vector<Record> out;
    std::unique_ptr<Tarvik::MsgLogFile> file(
        Tarvik::MsgLogFile::open(name.c_str(), Orbanex::__protocol));
    EXPECT_NE(file, nullptr) << name;
    if (!file) return out;
    int64_t expectedOffset = 0;
    for (Tarvik::MsgIterator it(file.get()); !it.done(); ++it) {
        Record r{it.id(), it.nsecs(), it.length(), it.tell(), Orbanex::ShpMessage()};
        EXPECT_EQ(r.offset, expectedOffset);
        expectedOffset = r.offset + r.length + 2;
        if (r.length > 10) {
            r.msg = Orbanex::Message::decodeMessage(CALLSITE, r.id, it.getCurrent() + 12,
                                                    r.length - 10);
        }
        out.push_back(std::move(r));
    }
    EXPECT_EQ(expectedOffset, static_cast<int64_t>(file->length())) << name;
    return out;
}

inline std::vector<Tarvik::MsgType_t> ids(const std::vector<Record>& records) {
    std::vector<Tarvik::MsgType_t> out;
    for (const Record& r : records) out.push_back(r.id);
    return out;
}

}  // namespace logtest
