#pragma once

#include <pthread.h>

#include <atomic>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/noncopyable.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "catalogue/LogLevel.h"
#include "common/AtomicallyPooled.h"
#include "common/CommonTypes.h"
#include "logging/Message.h"

#define OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE 16384

namespace Orbanex {

// One log entry on its way from the thread that logged to the logger thread. Pooled: new and
// delete take it from and return it to a lock-free pool, so a steady flow of entries allocates
// nothing. The text pointers are not owned: the logger's name outlives its entries and the
// others are literals.
struct LogEntry : public AtomicallyPooled<LogEntry> {
    // The fields come first and the text last, so that a short entry touches only the memory at
    // its start: the thread that logs and the logger thread meet on a few cache lines of the
    // 16 KiB entry, not on both of its ends.
    Timestamp_t timestamp = 0;
    pthread_t threadid = 0;
    // ThreadRegistry::threadSerial() of that thread: tells it from a later thread that the system
    // gives the same id once it has ended. 0 in the sentinels.
    uint64_t threadserial = 0;
    LogLevel::Type level = LogLevel::LOGMESSAGE;
    int lineno = 0;
    const char* logger = nullptr;
    const char* filename = nullptr;
    const char* function = nullptr;
    // An attached catalogue message, written as a record of its own; empty when none.
    ShpMessage shpMsg;
    // NUL-terminated, at most OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE - 1 characters. Left
    // uninitialised in a new entry (the logger writes it); zero in the static sentinels.
    char description[OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE];
};

// The requests to the logger thread and the stand-in for an entry that could not be allocated,
// told apart by address only; never returned to the pool. ENTRY_SYNC is a flush whose sender
// waits until the logger thread has reached it.
extern LogEntry ENTRY_FLUSH;
extern LogEntry ENTRY_ROLL;
extern LogEntry ENTRY_STOP;
extern LogEntry ENTRY_BADALLOC;
extern LogEntry ENTRY_SYNC;

inline bool isSentinel(const LogEntry* e) {
    return e == &ENTRY_FLUSH || e == &ENTRY_ROLL || e == &ENTRY_STOP || e == &ENTRY_BADALLOC ||
           e == &ENTRY_SYNC;
}

// The two-stage queue between the threads that log and the logger thread.
//
// Locked stage: a FIFO under _readMutex, from which the logger thread (the one consumer) pops.
// The consumer takes every entry the FIFO holds in one step under the lock and pops them one by
// one without it, so the threads that push meet the consumer on the lock once per such step
// instead of once per entry; entries so taken still count as queued until popped.
// Unlocked stage: a private buffer of the owner thread, the thread that constructed the queue.
// The owner appends to it without a lock and hands it over whole, in order, when it holds
// _maxBufferedEntries entries, when a CRITICAL, ERROR or WARN entry arrives, when an entry is more
// than _flushTimeout newer than the oldest buffered one, or on flush().
//
// Routing is by the calling thread, never by the entry: the owner's pushes go to its buffer,
// every other thread's (sentinels included) to the locked stage. So a request pushed by another
// thread reaches the consumer, and no thread ever touches a buffer it does not own.
//
// Threads: push() from any thread; flush() acts on the owner thread only and does nothing
// elsewhere; takeOverBuffer() from any thread once the owner can no longer push or flush; the pop
// operations from the consumer only; size() and empty() from any thread (size() without a lock).
// _readMutex orders after any lock the callers hold (it is the innermost lock of the logging
// layer).
//
// The locked stage allocates only when it grows past the most entries it has held, so a steady
// flow of entries allocates nothing on the push path.
class LogBufferedQueue : private boost::noncopyable {
  public:
    // The waits of popImpl, recognised by identity: TIMEOUT_NOW does not wait, TIMEOUT_NEVER
    // waits without limit. Any other duration, zero included, is a timed wait.
    static const boost::posix_time::time_duration TIMEOUT_NOW;
    static const boost::posix_time::time_duration TIMEOUT_NEVER;

    // The calling thread becomes the owner of the unlocked stage.
    LogBufferedQueue(int maxBufferedEntries, Timestamp_t flushTimeout);
    // Entries left in either stage go back to the pool. Only after every producer and the
    // consumer are done with the queue.
    ~LogBufferedQueue();

    // A count of 0 is taken as 1; a negative count throws std::length_error. Buffered entries
    // stay where they are. Meant for the owner thread; elsewhere the new settings apply all the
    // same and the owner's buffer grows to the new size when it needs to.
    void configure(int maxBufferedEntries, Timestamp_t flushTimeout);

    void push(LogEntry* entry);
    // Hands the owner's buffer over to the locked stage, so that the consumer gets it at once: for
    // an owner about to block or to stay quiet. Does nothing on any other thread, and takes no
    // lock when the buffer is empty.
    void flush();
    // As flush(), from any thread: for the one that shuts logging down while the owner may still
    // live. Only once the owner can no longer push or flush (the caller makes sure of that).
    void takeOverBuffer();

    bool tryPop(LogEntry*& entry);
    // Waits at most timeout nanoseconds, truncated to whole microseconds.
    bool waitPop(LogEntry*& entry, Timestamp_t timeout);
    bool waitPop(LogEntry*& entry);
    LogEntry* waitPop();
    bool popImpl(LogEntry*& entry, const boost::posix_time::time_duration& timeout);

    // Entries in the locked stage, not yet popped; the owner's buffer is not counted. Takes no
    // lock: exact on the consumer, from any other thread as it stood at some moment of the call.
    int size() const {
        return _lockedSize.load(std::memory_order_relaxed) +
               _takenSize.load(std::memory_order_relaxed);
    }
    bool empty() const { return size() == 0; }
    // Entries in the owner's buffer. Owner thread only (or once the owner is done logging).
    size_t buffered() const { return _writeBuffer.size(); }
    bool isOwnerThread() const;

    // A pooled entry, or null when the pool cannot allocate.
    static LogEntry* acquire();
    static void release(LogEntry* entry);

  private:
    // A FIFO of entries in a ring that doubles when full and never shrinks.
    class Fifo {
      public:
        Fifo();
        bool empty() const { return _count == 0; }
        size_t size() const { return _count; }
        LogEntry* front() const { return _slots[_head]; }
        void push(LogEntry* entry) {
            if (_count == _slots.size()) grow();
            _slots[(_head + _count) & (_slots.size() - 1)] = entry;
            ++_count;
        }
        void pop() {
            _head = (_head + 1) & (_slots.size() - 1);
            --_count;
        }
        void swap(Fifo& other) {
            _slots.swap(other._slots);
            std::swap(_head, other._head);
            std::swap(_count, other._count);
        }

      private:
        void grow();

        std::vector<LogEntry*> _slots;  // a power of two long
        size_t _head;
        size_t _count;
    };

    // Moves the owner's buffer to the locked stage.
    void handOver();
    // Under _readMutex: whether the consumer waits for an entry, the flag cleared. The one that
    // takes it wakes the consumer once the lock is released, so that the consumer does not wake
    // only to wait for the lock; pushes that find nobody waiting wake nobody.
    bool takeWaiter();

    // Written by configure, read by the owner's push.
    std::atomic<size_t> _maxBufferedEntries;
    std::atomic<Timestamp_t> _flushTimeout;
    const pthread_t _mainThreadID;
    Fifo _readQueue;
    Fifo _taken;                   // the consumer's: entries taken from _readQueue, not yet popped
    std::atomic<int> _lockedSize;  // _readQueue.size(), written under _readMutex
    std::atomic<int> _takenSize;   // _taken.size(), written by the consumer
    std::vector<LogEntry*> _writeBuffer;
    bool _consumerWaits;  // under _readMutex: the consumer is (about to be) in a wait
    boost::mutex _readMutex;
    boost::condition_variable_any _itemAvailable;
};

}  // namespace Orbanex
