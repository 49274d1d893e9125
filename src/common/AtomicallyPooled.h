#pragma once

#include <cstddef>
#include <limits>
#include <memory>

#include "common/AtomicFreeList.h"
#include "common/OXAssert.h"

namespace Orbanex {

// Base class that gives T (derived as `class T : public AtomicallyPooled<T>`) class-level
// operator new and delete over one static lock-free pool per type. The pool is
// constant-initialised with no cap in effect (the largest size_t, kept as 4294967295 in 32 bits),
// so objects may be created from any unit's static initialisers; it is destroyed at exit, which
// frees the cached blocks.
//
// Every block has exactly sizeof(T) bytes, so a class derived from T that is larger than T must
// not use these operators: operator new asserts on such a request.
template <typename T, typename Alloc = std::allocator<T>>
class AtomicallyPooled {
  public:
    typedef AtomicFreeList<T, Alloc> Pool;

    static void initialize(size_t maxsize) { pool.setMaxSize(maxsize); }
    static void preAllocate(size_t n) { pool.preAllocate(n); }
    static void finalize() { pool.clear(); }
    static Pool& getAtomicPool() { return pool; }

    static void* operator new(size_t size) {
        OX_ASSERT(size <= sizeof(T));
        return pool.allocate();
    }
    static void operator delete(void* p) { pool.deallocate(static_cast<T*>(p)); }

    static Pool pool;

  protected:
    AtomicallyPooled() = default;
    ~AtomicallyPooled() = default;
};

template <typename T, typename Alloc>
OX_CONSTINIT AtomicFreeList<T, Alloc> AtomicallyPooled<T, Alloc>::pool(
    0, std::numeric_limits<size_t>::max());

}  // namespace Orbanex
