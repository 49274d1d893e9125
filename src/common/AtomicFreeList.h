#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <typeinfo>

#include "common/CacheLine.h"
#include "common/OXAssert.h"
#include "common/TagPtr.h"

// Constant initialisation of a pool object is part of its contract (see AtomicFreeList below);
// the compiler checks it where it can.
#if defined(__clang__)
#define OX_CONSTINIT [[clang::require_constant_initialization]]
#elif defined(__GNUC__) && __GNUC__ >= 10
#define OX_CONSTINIT __constinit
#else
#define OX_CONSTINIT
#endif

namespace Orbanex {

namespace detail {
// Builds the free-list's over-threshold report and hands it to the callback.
void reportLiveObjects(void (*callback)(const char*), const char* poolTypeName, size_t live,
                       size_t threshold);
}  // namespace detail

// A lock-free cache of raw memory for objects of type T: a stack of freed blocks whose head is a
// TagPtr replaced by one 16-byte compare-and-swap. allocate() pops a cached block or takes a new
// one from the heap; deallocate() pushes a block back, or frees it when the cache already holds
// maxsize blocks (0: no cap).
//
// Threads: allocate() and deallocate() may run on any number of threads at once; nothing waits
// except by retrying a failed compare-and-swap. preAllocate() may too. clear() (and so the
// destructor) must not overlap any other operation on the same pool. setErrorThreshold() is meant
// for start-up, before the pool is shared; setMaxSize() may run at any time.
//
// Static initialisation: the constructor is constexpr for preallocateNodes 0, so a pool at
// namespace scope is constant-initialised and usable from any other unit's static initialisers,
// whatever their order.
//
// Memory layout: each block is a Node, a 16-byte link followed by the object's storage, both
// aligned for T (at least 16 bytes; an over-aligned T gets its own alignment from the heap). The
// link lives outside the object so that a thread that read a stale head may still load a block's
// link (atomically) while another thread already uses the object: the stale value only makes its
// compare-and-swap fail. A block is given back to the heap by the cap only when no allocate() is
// between reading the head and swapping it (_poppers is 0); otherwise it stays cached, so no
// thread ever reads the link of freed memory. The cap is therefore approximate under contention.
template <typename T, typename Alloc = std::allocator<T>>
class AtomicFreeList {
  public:
    typedef void (*ErrorCb)(const char*);

    constexpr AtomicFreeList(size_t preallocateNodes, size_t maxsize)
        : _errorThreshold(0),
          _errorCallback(nullptr),
          _totalloc(0),
          _totdealloc(0),
          _pool(),
          _size(0u),
          _maxsize(static_cast<uint32_t>(maxsize)),
          _poppers(0u) {
        if (preallocateNodes != 0) preAllocate(preallocateNodes);
    }

    ~AtomicFreeList() { clear(); }

    AtomicFreeList(const AtomicFreeList&) = delete;
    AtomicFreeList& operator=(const AtomicFreeList&) = delete;

    // Memory for one T, not constructed. Throws std::bad_alloc when the heap has none.
    T* allocate() {
        _poppers.data.fetch_add(1, std::memory_order_seq_cst);
        for (TagPtr<Node> head = _pool.data.load(); !head.isnull(); head = _pool.data.load()) {
            Node* next = head.get()->next.load(std::memory_order_relaxed);
            if (_pool.data.cas(head, next)) {
                prefetch(next);
                _poppers.data.fetch_sub(1, std::memory_order_release);
                _size.data.fetch_sub(1, std::memory_order_relaxed);
                return head.get()->object();
            }
        }
        _poppers.data.fetch_sub(1, std::memory_order_release);
        return basic_allocate();
    }

    // Takes back the memory of a T that was destroyed; p must come from this pool's allocate().
    void deallocate(T* p) {
        if (p == nullptr) return;
        const uint32_t cap = _maxsize.load(std::memory_order_relaxed);
        if (cap != 0 && _size.data.load(std::memory_order_relaxed) >= cap &&
            _poppers.data.load(std::memory_order_seq_cst) == 0) {
            freeNode(Node::of(p));
            return;
        }
        basic_deallocate(p);
    }

    // Puts n newly allocated blocks in the cache (beyond the cap they go back to the heap).
    void preAllocate(size_t n) {
        for (size_t i = 0; i < n; ++i) deallocate(basic_allocate());
    }

    // Returns every cached block to the heap.
    void clear() {
        TagPtr<Node> head = _pool.data.load();
        while (!_pool.data.cas(head, nullptr)) head = _pool.data.load();
        for (Node* n = head.get(); n != nullptr;) {
            Node* next = n->next.load(std::memory_order_relaxed);
            freeNode(n);
            _size.data.fetch_sub(1, std::memory_order_relaxed);
            n = next;
        }
    }

    void setMaxSize(size_t maxsize) {
        _maxsize.store(static_cast<uint32_t>(maxsize), std::memory_order_relaxed);
    }

    // Above threshold live objects (0: never), every tenth of the threshold reached is reported to
    // callback. A threshold without a callback is a broken invariant once it is exceeded.
    void setErrorThreshold(size_t threshold, ErrorCb callback) {
        _errorThreshold = threshold;
        _errorCallback = callback;
    }

    size_t size() const { return _size.data.load(std::memory_order_relaxed); }
    size_t maxsize() const { return _maxsize.load(std::memory_order_relaxed); }
    size_t totalloc() const { return _totalloc.load(std::memory_order_relaxed); }
    size_t totdealloc() const { return _totdealloc.load(std::memory_order_relaxed); }
    size_t live() const {
        return static_cast<uint32_t>(_totalloc.load(std::memory_order_relaxed) -
                                     _totdealloc.load(std::memory_order_relaxed));
    }

  private:
    // A block is aligned for T, and never less than the 16 bytes the heap gives. (Spelled out
    // here: Node is only defined once T is complete.)
    struct alignas(alignof(T) > 16 ? alignof(T) : 16) Node {
        std::atomic<Node*> next;
        alignas(alignof(T) > 16 ? alignof(T) : 16) unsigned char storage[sizeof(T)];

        T* object() { return reinterpret_cast<T*>(storage); }
        static Node* of(T* p) {
            return reinterpret_cast<Node*>(reinterpret_cast<unsigned char*>(p) -
                                           offsetof(Node, storage));
        }
    };

    // Starts loading the next block to be handed out, for writing: a block comes back from
    // the thread that last freed it, so its first lines are in that thread's cache, and the
    // next allocate() would otherwise wait for them (the link first, then the object's first
    // fields). A hint only: it never faults, whatever becomes of the block meanwhile.
    static void prefetch(const Node* n) {
        if (n == nullptr) return;
        constexpr size_t LINES = sizeof(Node) < 3 * 64 ? (sizeof(Node) + 63) / 64 : 3;
        for (size_t i = 0; i < LINES; ++i) {
            __builtin_prefetch(reinterpret_cast<const char*>(n) + i * 64, 1);
        }
    }

    typedef typename std::allocator_traits<Alloc>::template rebind_alloc<Node> NodeAlloc;
    typedef std::allocator_traits<NodeAlloc> NodeTraits;

    // The checks sit in a member function so that the pool may be declared while T is still
    // incomplete (T deriving from AtomicallyPooled<T>).
    T* basic_allocate() {
        static_assert(std::is_standard_layout<Node>::value, "Node::of needs offsetof");
        const uint32_t total = _totalloc.fetch_add(1, std::memory_order_relaxed) + 1;
        if (_errorThreshold != 0 &&
            _errorThreshold <
                static_cast<uint32_t>(total - _totdealloc.load(std::memory_order_relaxed))) {
            checkSize();
        }
        NodeAlloc alloc;
        Node* n = NodeTraits::allocate(alloc, 1);
        ::new (static_cast<void*>(n)) Node;
        return n->object();
    }

    void basic_deallocate(T* p) {
        Node* n = Node::of(p);
        // Counted before the push, so that a concurrent pop never takes the count below zero.
        _size.data.fetch_add(1, std::memory_order_relaxed);
        TagPtr<Node> head = _pool.data.load();
        for (;;) {
            n->next.store(head.get(), std::memory_order_relaxed);
            if (_pool.data.cas(head, n)) return;
            head = _pool.data.load();
        }
    }

    void freeNode(Node* n) {
        _totdealloc.fetch_add(1, std::memory_order_relaxed);
        n->~Node();
        NodeAlloc alloc;
        NodeTraits::deallocate(alloc, n, 1);
    }

    void checkSize() const {
        const size_t threshold = _errorThreshold;
        const size_t livenow = live();
        if (threshold == 0 || livenow <= threshold) return;
        if (threshold / 10 != 0 && livenow % (threshold / 10) != 0) return;
        OX_ASSERT(_errorCallback);
        detail::reportLiveObjects(_errorCallback, typeid(this).name(), livenow, threshold);
    }

    size_t _errorThreshold;
    ErrorCb _errorCallback;
    std::atomic<uint32_t> _totalloc;
    std::atomic<uint32_t> _totdealloc;
    CacheLine<TagPtr<Node>> _pool;
    CacheLine<std::atomic<unsigned int>> _size;
    std::atomic<uint32_t> _maxsize;
    // allocate() calls between their first read of the head and their last use of a link.
    CacheLine<std::atomic<uint32_t>> _poppers;
};

}  // namespace Orbanex
