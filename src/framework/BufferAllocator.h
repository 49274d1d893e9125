#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "common/CallSites.h"

namespace Tarvik {

// Bump allocator over the region of one message block (everything behind the block's control
// header). Taking memory moves the end forward; giving memory back only counts the bytes, which
// are not reused until the block's owner reuses the whole block. Owns no memory.
//
// Every allocation starts on an ALIGNMENT boundary, so records placed behind odd-sized strings
// are properly aligned objects; the padding is skipped before an allocation and counts as used.
//
// A refused request still moves the end: once the block is exhausted every later request is
// refused too, and size() includes the refused bytes.
//
// Not thread-safe: a block and its allocator belong to one thread at a time.
class BufferAllocator {
  public:
    typedef size_t size_type;
    typedef char* pointer;

    static constexpr size_t ALIGNMENT = 8;

    // site and name are kept as pointers (not copied); they name the block's creator and its
    // message type in the exhaustion error. max_size must not be negative (an assertion).
    BufferAllocator(char* buffer, int max_size, const char* site, const char* name);

    BufferAllocator() = delete;
    BufferAllocator(const BufferAllocator&) = delete;
    BufferAllocator& operator=(const BufferAllocator&) = delete;

    // The next num bytes, aligned; hint is ignored. Throws std::out_of_range when they do not
    // fit in the region.
    pointer allocate(size_type num, const void* /*hint*/ = 0) { return take(num, _site); }
    // The same, naming the given call site instead of the block's creator in the error.
    pointer allocate(size_type num, DECL_CALLSITE site) { return take(num, site.location); }
    // Only adds num to the released-byte count.
    void deallocate(pointer p, size_type num);

    // Bytes handed out so far, padding, released and refused bytes included.
    size_type size() const { return offset(_end); }
    // The whole capacity of the region, whatever is used.
    size_type max_size() const { return offset(_end_of_buffer); }
    // Bytes handed back, which are not reusable.
    size_type unused_size() const { return static_cast<size_type>(_nbytes_deallocated); }
    // Bytes still free; negative once a request has been refused.
    ptrdiff_t remaining() const {
        return static_cast<ptrdiff_t>(max_size()) - static_cast<ptrdiff_t>(size());
    }

    char* buffer() { return _begin; }
    const char* buffer() const { return _begin; }
    char* end() { return _end; }

    void dump(std::ostream& oss) const;

  private:
    // Offsets rather than pointer differences: after a refusal _end lies beyond the region.
    size_type offset(const char* p) const {
        return static_cast<size_type>(reinterpret_cast<uintptr_t>(p) -
                                      reinterpret_cast<uintptr_t>(_begin));
    }
    pointer take(size_type num, const char* site);
    [[noreturn]] void exhausted(const char* site) const;

    char* _begin;
    char* _end;
    char* _end_of_buffer;
    int _nbytes_deallocated;
    const char* _site;
    const char* _name;
};

}  // namespace Tarvik
