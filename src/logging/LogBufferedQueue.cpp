#include "logging/LogBufferedQueue.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <new>
#include <stdexcept>

namespace Orbanex {

LogEntry ENTRY_FLUSH;
LogEntry ENTRY_ROLL;
LogEntry ENTRY_STOP;
LogEntry ENTRY_BADALLOC;
LogEntry ENTRY_SYNC;

const boost::posix_time::time_duration LogBufferedQueue::TIMEOUT_NOW =
    boost::posix_time::microseconds(1);
const boost::posix_time::time_duration LogBufferedQueue::TIMEOUT_NEVER =
    boost::posix_time::microseconds(0);

namespace {
// The locked stage's first capacity: the most entries it holds without growing.
constexpr size_t FIFO_INITIAL_SLOTS = 1024;
}  // namespace

LogBufferedQueue::Fifo::Fifo() : _slots(FIFO_INITIAL_SLOTS), _head(0), _count(0) {}

void LogBufferedQueue::Fifo::grow() {
    std::vector<LogEntry*> slots(_slots.size() * 2);
    for (size_t i = 0; i < _count; ++i) slots[i] = _slots[(_head + i) & (_slots.size() - 1)];
    _slots.swap(slots);
    _head = 0;
}

LogBufferedQueue::LogBufferedQueue(int maxBufferedEntries, Timestamp_t flushTimeout)
    : _maxBufferedEntries(1),
      _flushTimeout(flushTimeout),
      _mainThreadID(pthread_self()),
      _lockedSize(0),
      _takenSize(0),
      _consumerWaits(false) {
    configure(maxBufferedEntries, flushTimeout);
}

LogBufferedQueue::~LogBufferedQueue() {
    // Entries nobody will write still hold pooled memory (and messages): give them back.
    while (!_taken.empty()) {
        release(_taken.front());
        _taken.pop();
    }
    while (!_readQueue.empty()) {
        release(_readQueue.front());
        _readQueue.pop();
    }
    for (LogEntry* e : _writeBuffer) release(e);
}

void LogBufferedQueue::configure(int maxBufferedEntries, Timestamp_t flushTimeout) {
    _flushTimeout.store(flushTimeout, std::memory_order_relaxed);
    if (maxBufferedEntries < 0) throw std::length_error("vector::reserve");
    if (maxBufferedEntries == 0) {
        _maxBufferedEntries.store(1, std::memory_order_relaxed);
        return;
    }
    _maxBufferedEntries.store(static_cast<size_t>(maxBufferedEntries), std::memory_order_relaxed);
    // The buffer is the owner's: another thread must not move it under the owner's feet.
    if (isOwnerThread()) _writeBuffer.reserve(static_cast<size_t>(maxBufferedEntries));
}

bool LogBufferedQueue::isOwnerThread() const {
    return pthread_equal(pthread_self(), _mainThreadID) != 0;
}

void LogBufferedQueue::push(LogEntry* entry) {
    if (!isOwnerThread()) {
        bool wake;
        {
            boost::unique_lock<boost::mutex> lock(_readMutex);
            _readQueue.push(entry);
            _lockedSize.store(static_cast<int>(_readQueue.size()), std::memory_order_relaxed);
            wake = takeWaiter();
        }
        if (wake) _itemAvailable.notify_one();
        return;
    }
    _writeBuffer.push_back(entry);
    const bool full = _writeBuffer.size() >= _maxBufferedEntries.load(std::memory_order_relaxed);
    const bool urgent = entry->level == LogLevel::LOGCRITICAL ||
                        entry->level == LogLevel::LOGERROR || entry->level == LogLevel::LOGWARN;
    // Unsigned arithmetic: the difference of two arbitrary time stamps must not overflow.
    const Timestamp_t age =
        static_cast<Timestamp_t>(static_cast<uint64_t>(entry->timestamp) -
                                 static_cast<uint64_t>(_writeBuffer.front()->timestamp));
    if (full || urgent || age > _flushTimeout.load(std::memory_order_relaxed)) flush();
}

void LogBufferedQueue::flush() {
    if (!isOwnerThread() || _writeBuffer.empty()) return;
    handOver();
}

void LogBufferedQueue::takeOverBuffer() { handOver(); }

void LogBufferedQueue::handOver() {
    bool wake;
    {
        boost::unique_lock<boost::mutex> lock(_readMutex);
        if (_writeBuffer.empty()) return;
        for (LogEntry* e : _writeBuffer) _readQueue.push(e);
        _lockedSize.store(static_cast<int>(_readQueue.size()), std::memory_order_relaxed);
        _writeBuffer.clear();
        wake = takeWaiter();
    }
    if (wake) _itemAvailable.notify_one();
}

bool LogBufferedQueue::takeWaiter() {
    const bool waiting = _consumerWaits;
    _consumerWaits = false;
    return waiting;
}

bool LogBufferedQueue::tryPop(LogEntry*& entry) { return popImpl(entry, TIMEOUT_NOW); }

bool LogBufferedQueue::waitPop(LogEntry*& entry, Timestamp_t timeout) {
    const boost::posix_time::time_duration d = boost::posix_time::microseconds(timeout / 1000);
    return popImpl(entry, d);
}

bool LogBufferedQueue::waitPop(LogEntry*& entry) { return popImpl(entry, TIMEOUT_NEVER); }

LogEntry* LogBufferedQueue::waitPop() {
    LogEntry* entry = nullptr;
    popImpl(entry, TIMEOUT_NEVER);
    return entry;
}

bool LogBufferedQueue::popImpl(LogEntry*& entry, const boost::posix_time::time_duration& timeout) {
    if (_taken.empty()) {
        boost::unique_lock<boost::mutex> lock(_readMutex);
        if (_readQueue.empty()) {
            if (&timeout == &TIMEOUT_NOW) return false;
            if (&timeout == &TIMEOUT_NEVER) {
                while (_readQueue.empty()) {
                    _consumerWaits = true;
                    _itemAvailable.wait(lock);
                }
            } else {
                const boost::system_time deadline = boost::get_system_time() + timeout;
                _consumerWaits = true;
                _itemAvailable.timed_wait(lock, deadline);
            }
            _consumerWaits = false;
            if (_readQueue.empty()) return false;
        }
        // Everything at once; the pushers keep the empty ring's room.
        _readQueue.swap(_taken);
        _takenSize.store(static_cast<int>(_taken.size()), std::memory_order_relaxed);
        _lockedSize.store(0, std::memory_order_relaxed);
    }
    entry = _taken.front();
    _taken.pop();
    _takenSize.store(static_cast<int>(_taken.size()), std::memory_order_relaxed);
    return true;
}

LogEntry* LogBufferedQueue::acquire() {
    try {
        return new LogEntry;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void LogBufferedQueue::release(LogEntry* entry) {
    if (entry == nullptr || isSentinel(entry)) return;
    entry->shpMsg.reset();
    delete entry;
}

}  // namespace Orbanex
