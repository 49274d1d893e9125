#pragma once

#include <cstdint>

#include "common/Atomic.h"

namespace Orbanex {

// A pointer with a change counter (tag), 16 bytes on a 16-byte boundary, so that both are read
// and replaced together by one double-width compare-and-swap. Every successful cas() of a shared
// TagPtr gives it a new tag, so a pointer that was taken away and put back (the ABA case) no
// longer matches an expected value read before.
//
// A shared TagPtr is read with load(): two atomic 8-byte loads, pointer first. The pair may be
// torn (pointer and tag of different moments); the cas() that follows then fails and the caller
// reads again.
template <typename T>
class alignas(16) TagPtr {
  public:
    typedef uintptr_t TagType;

    constexpr TagPtr() : _x{Pair{nullptr, 0}} {}
    constexpr TagPtr(T* ptr, TagType tag) : _x{Pair{ptr, tag}} {}

    T* get() const { return _x.pair.ptr; }
    TagType tag() const { return _x.pair.tag; }
    T& operator*() const { return *_x.pair.ptr; }
    T* operator->() const { return _x.pair.ptr; }
    bool isnull() const { return _x.pair.ptr == nullptr; }
    explicit operator bool() const { return !isnull(); }

    // Equal when both pointer and tag are.
    bool operator==(const TagPtr& o) const {
        return _x.pair.ptr == o._x.pair.ptr && _x.pair.tag == o._x.pair.tag;
    }
    bool operator!=(const TagPtr& o) const { return !(*this == o); }

    // Plain store of both halves: only for a TagPtr no other thread can see yet.
    void donotuse_set(T* ptr, TagType tag) { _x.pair = Pair{ptr, tag}; }

    // Replaces both halves at once, whatever they hold, by retrying a compare-and-swap against
    // the value last read until one succeeds.
    void atomic_set(T* ptr, TagType tag) {
        for (TagPtr seen = load(); !cas(seen, ptr, tag); seen = load()) {
        }
    }
    void atomic_set(const TagPtr& value) { atomic_set(value.get(), value.tag()); }

    TagPtr load() const {
        T* ptr = __atomic_load_n(&_x.pair.ptr, __ATOMIC_SEQ_CST);
        TagType tag = __atomic_load_n(&_x.pair.tag, __ATOMIC_SEQ_CST);
        return TagPtr(ptr, tag);
    }

    // Replaces this by {newptr, expected tag + 1} when it equals expected.
    bool cas(const TagPtr& expected, T* newptr) {
        return cas(expected, newptr, expected.tag() + 1);
    }

    bool cas(const TagPtr& expected, T* newptr, TagType newtag) {
        return Atomic::cas2(&_x.both, Atomic::combine(bits(expected.get()), expected.tag()),
                            Atomic::combine(bits(newptr), newtag));
    }

    bool cas(const TagPtr& expected, const TagPtr& desired) {
        return cas(expected, desired.get(), desired.tag());
    }

  private:
    struct Pair {
        T* ptr;
        TagType tag;
    };
    union Rep {
        Pair pair;
        Atomic::cas2_t both;
    };

    static Atomic::cas_t bits(T* p) { return reinterpret_cast<uintptr_t>(p); }

    Rep _x;
};

static_assert(sizeof(TagPtr<int>) == 16, "a TagPtr is swapped as one 16-byte word");

}  // namespace Orbanex
