#pragma once

#include <cstdint>

// The double-width compare-and-swap behind the lock-free pool. The pool's head is a pointer with
// a change counter, 16 bytes swapped as one; a CAS that falls back to a lock (libatomic) would
// make the pool neither lock-free nor safe to use from a signal or a static initialiser. The build
// passes -mcx16 on x86-64, which lets the compiler emit cmpxchg16b inline; without it (or on a
// machine without a native 16-byte CAS) the library refuses to build.
#if !defined(__GCC_HAVE_SYNC_COMPARE_AND_SWAP_16)
#error "a native 16-byte compare-and-swap is required (build with -mcx16 on x86-64)"
#endif

namespace Orbanex {

class Atomic {
  public:
    typedef uint64_t cas_t;
    __extension__ typedef unsigned __int128 cas2_t;

    // Replaces *target by newValue when it holds oldValue; true when it did. Full barrier.
    // target must lie on a 16-byte boundary.
    static bool cas2(volatile cas2_t* target, cas2_t oldValue, cas2_t newValue) {
        return __sync_bool_compare_and_swap(target, oldValue, newValue);
    }

    static bool cas2(volatile cas2_t* target, cas_t oldLow, cas_t oldHigh, cas_t newLow,
                     cas_t newHigh) {
        return cas2(target, combine(oldLow, oldHigh), combine(newLow, newHigh));
    }

    // Atomic addition to a 64-bit word; returns the new value. Counters only: no ordering with
    // other memory is implied.
    static cas_t add(cas_t* target, cas_t value) {
        return __atomic_add_fetch(target, value, __ATOMIC_RELAXED);
    }

    // Raises *target to value when value is larger; returns the value *target then holds.
    static cas_t setmax(cas_t* target, cas_t value) {
        cas_t seen = __atomic_load_n(target, __ATOMIC_RELAXED);
        while (seen < value && !__atomic_compare_exchange_n(target, &seen, value, true,
                                                            __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
        }
        return seen < value ? value : seen;
    }

    static constexpr cas2_t combine(cas_t low, cas_t high) {
        return static_cast<cas2_t>(high) << 64 | low;
    }
};

}  // namespace Orbanex
