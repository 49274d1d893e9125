#include "logging/LogCallGate.h"

#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <boost/thread/mutex.hpp>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "logging/Log.h"

namespace Orbanex {

namespace {

// The system's expedited membarrier: one call makes every running thread of the process pass a
// full barrier. Registered once, before the first slot is handed out, so that a slot's expedited
// flag and heavy() agree.
class AsymmetricBarrier {
  public:
    static bool enable() {
        static const bool registered =
            ::syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
        return registered;
    }
    // waitIdle(), between the detaching (before the call) and reading the slots.
    static void heavy() {
        if (enable() && ::syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) != 0) {
            // Registered but refused: the calls that skipped their barrier cannot be waited for
            // safely, so the one safe answer left is to stop.
            std::abort();
        }
    }
};

// Every slot ever made, the free ones and the key whose destructor gives a thread's slot back.
// Never destroyed: threads may end (and give their slots back) after static destruction.
struct Registry {
    boost::mutex mutex;
    CallGate::Slot* all = nullptr;
    CallGate::Slot* free = nullptr;
    pthread_key_t key;
    bool keyMade = false;
    bool keyTried = false;
};

Registry& registry() {
    static Registry* const r = new Registry;
    return *r;
}

}  // namespace

CallGate::Slot CallGate::_late{true};
std::atomic<void (*)()> CallGate::_passedHook{nullptr};
std::atomic<void (*)()> CallGate::_waitingHook{nullptr};

CallGate::Slot* CallGate::takeSlot() {
    Registry& r = registry();
    boost::unique_lock<boost::mutex> lock(r.mutex);
    if (!r.keyTried) {
        r.keyTried = true;
        r.keyMade = ::pthread_key_create(&r.key, &CallGate::giveBack) == 0;
    }
    // Without the key a slot could not be given back: every call takes the late slot.
    if (!r.keyMade) return &_late;
    Slot* slot = r.free;
    if (slot != nullptr) {
        r.free = slot->nextFree;
    } else {
        slot = new (std::nothrow) Slot(false);
        // This call goes through the late slot; the next one tries again.
        if (slot == nullptr) return &_late;
        slot->expedited = AsymmetricBarrier::enable();
        slot->next = r.all;
        r.all = slot;
    }
    if (::pthread_setspecific(r.key, slot) != 0) {
        slot->nextFree = r.free;
        r.free = slot;
        return &_late;
    }
    _threadSlot = slot;
    return slot;
}

void CallGate::giveBack(void* p) {
    Slot* const slot = static_cast<Slot*>(p);
    _threadSlot = &_late;
    Registry& r = registry();
    boost::unique_lock<boost::mutex> lock(r.mutex);
    slot->nextFree = r.free;
    r.free = slot;
}

void CallGate::waitIdle() {
    AsymmetricBarrier::heavy();
    void (*const waiting)() = _waitingHook.load(std::memory_order_relaxed);
    const auto waitFor = [waiting](const Slot& slot) {
        if (slot.depth.load(std::memory_order_seq_cst) == 0) return;
        if (waiting != nullptr) waiting();
        while (slot.depth.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
    };
    Registry& r = registry();
    boost::unique_lock<boost::mutex> lock(r.mutex);
    waitFor(_late);
    for (const Slot* slot = r.all; slot != nullptr; slot = slot->next) waitFor(*slot);
}

void CallGate::setTestHooks(void (*passed)(), void (*waiting)()) {
    _passedHook.store(passed, std::memory_order_relaxed);
    _waitingHook.store(waiting, std::memory_order_relaxed);
}

// --- RetiredLoggers ---------------------------------------------------------------------------

namespace {

struct Retired {
    boost::mutex mutex;
    std::vector<Logger*> loggers;
};

Retired& retired() {
    static Retired* const r = new Retired;
    return *r;
}

}  // namespace

Logger* RetiredLoggers::take(const std::string& name) {
    Retired& r = retired();
    boost::unique_lock<boost::mutex> lock(r.mutex);
    for (auto it = r.loggers.begin(); it != r.loggers.end(); ++it) {
        if ((*it)->getName() == name) {
            Logger* const logger = *it;
            r.loggers.erase(it);
            return logger;
        }
    }
    return nullptr;
}

void RetiredLoggers::keep(Logger* logger) {
    Retired& r = retired();
    boost::unique_lock<boost::mutex> lock(r.mutex);
    r.loggers.push_back(logger);
}

Logger* RetiredLoggers::named(const char* name) {
    Retired& r = retired();
    boost::unique_lock<boost::mutex> lock(r.mutex);
    for (Logger* logger : r.loggers) {
        if (logger->getName() == name) return logger;
    }
    Logger* const logger = new Logger(nullptr, name, LogLevel::LOGDEBUG);
    r.loggers.push_back(logger);
    return logger;
}

}  // namespace Orbanex
