#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

#include "framework/BufferAllocator.h"

namespace bufstl {

// Binds a container to the BufferAllocator of its message block: every element array the
// container takes comes from that block, and giving one back only counts its bytes there.
//
// Bound once, at construction, and never reseated. Only the vector core copies a proxy (its
// copy constructor is protected); there is no default constructor and no assignment, so a
// container can neither be made unbound nor moved to another block.
template <typename T>
class alloc_proxy {
    static_assert(alignof(T) <= Tarvik::BufferAllocator::ALIGNMENT,
                  "elements are placed in the block on an ALIGNMENT boundary");

  public:
    typedef Tarvik::BufferAllocator buffer_alloc;
    typedef T value_type;
    typedef T* pointer;
    typedef const T* const_pointer;
    typedef T& reference;
    typedef const T& const_reference;
    typedef size_t size_type;
    typedef ptrdiff_t difference_type;

    template <typename U>
    struct rebind {
        typedef alloc_proxy<U> other;
    };

    explicit alloc_proxy(buffer_alloc& alloc) : _alloc(alloc) {}

    buffer_alloc& get_init() const { return _alloc; }

    // The block's whole capacity in elements, whatever is already used.
    size_type max_size() const { return _alloc.max_size() / sizeof(T); }

    // No check against max_size() here; the vector core does it before growing.
    pointer allocate(size_type n, const void* hint = 0) {
        return reinterpret_cast<pointer>(_alloc.allocate(n * sizeof(T), hint));
    }
    void deallocate(pointer p, size_type n) {
        _alloc.deallocate(reinterpret_cast<char*>(p), n * sizeof(T));
    }

    // An empty element bound to the block (class elements only).
    void construct(pointer p, buffer_alloc& alloc) { ::new (static_cast<void*>(p)) T(alloc); }

    // A copy of x. Class elements (records, strings) are built bound to this proxy's block and
    // then assigned, so that everything the copy holds lands in this block; if the assignment
    // throws, the half-built element is destroyed (its storage counted as released).
    void construct(pointer p, const T& x) {
        if constexpr (std::is_class<T>::value) {
            ::new (static_cast<void*>(p)) T(_alloc);
            try {
                *p = x;
            } catch (...) {
                p->~T();
                throw;
            }
        } else {
            ::new (static_cast<void*>(p)) T(x);
        }
    }

    void destroy(pointer p) { p->~T(); }

  protected:
    alloc_proxy(const alloc_proxy& other) : _alloc(other._alloc) {}

  private:
    alloc_proxy() = delete;
    alloc_proxy& operator=(const alloc_proxy&) = delete;

    buffer_alloc& _alloc;
};

}  // namespace bufstl
