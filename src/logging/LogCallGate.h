#pragma once

#include <atomic>
#include <string>

namespace Orbanex {

class Logger;

// The log calls in flight, so that a log manager being destroyed can wait until none still uses
// it; and the loggers whose manager has gone.
//
// The contract: a log call passes the gate (holds a Pass), then reads its logger's manager, and
// uses the manager only while it holds the Pass. The manager's destructor detaches its loggers
// (a seq_cst store of a null manager into each), then calls waitIdle(). Every call then either
// reads the null manager, or is waited for: waitIdle() returns only once it has left. This holds
// whenever the call comes in its thread's life, thread_local destructors and thread-specific
// (pthread key) destructors included.
//
// How the calls are counted:
// - A thread's calls mark a slot of its own (a depth, nested calls counted), written by that
//   thread alone: a plain store on entry, a release store on leaving. The thread finds its slot
//   through a trivially destructible thread_local pointer, which stays readable until the thread
//   is gone, whatever destructors run before.
// - Slots are never freed, so waitIdle() may read any of them at any time. A thread takes one at
//   its first call (from the free list, or a new one) and gives it back when it ends, through the
//   destructor of a thread-specific value: those run after every thread_local destructor of the
//   thread, so its calls from thread_local destructors still use the slot. Slots are reused, so
//   there are never more than the threads that log at one time (plus the rare thread whose
//   first call comes in the last round of thread-specific destructors, which keeps its slot).
// - A call that comes after its thread gave its slot back (from a later thread-specific
//   destructor) uses the shared late slot, counted with seq_cst read-modify-writes: dearer, and
//   paid only there. So does a call that could not get a slot (no memory, no key).
//
// Why a call that marked its slot and then read an attached manager is waited for: on each side a
// full barrier stands between the two steps (call: mark the slot, read the manager; destructor:
// detach, read the slots), so at least one side sees the other's first step. The calls pay for no
// barrier instruction of their own where the system has the expedited membarrier: waitIdle() then
// makes every running thread of the process pass a full barrier, which serves as the calls'
// barrier too (a barrier instruction per call would cost a cache miss per call). Without it each
// call exchanges its slot's depth (a full barrier). The late slot's read-modify-write and the
// manager's detaching store and reading load are all seq_cst: their single total order gives the
// same either-or.
//
// Threads: any thread may pass the gate at any time, before any manager exists and after the
// last is gone. waitIdle() holds the registry's lock while it waits, so a thread taking or giving
// back a slot meanwhile waits for it; a thread that takes its slot afterwards reads the manager
// after the detaching store (through that lock) and finds its logger detached.
class CallGate {
  public:
    // One cache line per slot: threads that log at once do not share one.
    struct alignas(64) Slot {
        constexpr explicit Slot(bool late) : depth(0), shared(late) {}

        std::atomic<int> depth;    // calls in progress on the slot
        const bool shared;         // the late slot: counted with read-modify-writes
        bool expedited = false;    // the membarrier stands in for the calls' barrier
        Slot* next = nullptr;      // every slot made, in the registry's list
        Slot* nextFree = nullptr;  // while on the free list
    };

    // The calling thread inside the gate, for the Pass's lifetime. Never throws.
    class Pass {
      public:
        Pass() : _slot(mine()) {
            if (_slot->shared) {
                _depth = -1;
                _slot->depth.fetch_add(1, std::memory_order_seq_cst);
            } else {
                _depth = _slot->depth.load(std::memory_order_relaxed);
                if (_slot->expedited) {
                    _slot->depth.store(_depth + 1, std::memory_order_relaxed);
                    std::atomic_signal_fence(std::memory_order_seq_cst);
                } else {
                    _slot->depth.exchange(_depth + 1, std::memory_order_seq_cst);
                }
            }
        }
        ~Pass() {
            if (_depth < 0) {
                _slot->depth.fetch_sub(1, std::memory_order_release);
            } else {
                _slot->depth.store(_depth, std::memory_order_release);
            }
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

      private:
        Slot* const _slot;
        int _depth;  // the slot's depth before this call; -1 on the late slot
    };

    // Returns once every call that may have read an attached manager has left the gate. For the
    // manager's destructor, after it has detached its loggers. The calls are short (an entry is
    // queued or dropped), so the wait yields instead of blocking.
    static void waitIdle();

    // Test seams, null by default: passed() is called by a log call once it has passed the gate
    // and read its manager; waiting() by waitIdle() each time it finds a call it must wait for.
    static void setTestHooks(void (*passed)(), void (*waiting)());
    static void passed() {
        if (void (*const hook)() = _passedHook.load(std::memory_order_relaxed)) hook();
    }

  private:
    static Slot* mine() {
        Slot* const slot = _threadSlot;
        return slot != nullptr ? slot : takeSlot();
    }
    // The thread's first call: a slot of its own, or the late slot when none can be had.
    static Slot* takeSlot();
    // Destructor of the thread-specific value: the slot goes back to the free list, and the
    // thread's later calls use the late slot.
    static void giveBack(void* slot);

    static inline thread_local Slot* _threadSlot = nullptr;
    static Slot _late;
    static std::atomic<void (*)()> _passedHook;
    static std::atomic<void (*)()> _waitingHook;
};

// Loggers whose manager has gone, or that no manager has taken yet, kept for the next manager's
// logger of the same name. Never destroyed: a thread may still hold one of them at process exit.
// Any thread; one lock of its own, taken after the manager's.
class RetiredLoggers {
  public:
    // Removes and returns the kept logger of that name, or null.
    static Logger* take(const std::string& name);
    static void keep(Logger* logger);
    // The kept logger of that name, made detached when there is none; it stays kept.
    static Logger* named(const char* name);
};

}  // namespace Orbanex
