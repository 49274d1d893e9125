#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/OXAssert.h"

// Expanded inside each positioning operation, so that a failure names that operation.
#define OX_BUFFER_CHECK_INVARIANTS()    \
    do {                                \
        OX_ASSERT(_mark <= _position);  \
        OX_ASSERT(_position <= _limit); \
        OX_ASSERT(_limit <= _capacity); \
    } while (false)

namespace Orbanex {

// Fixed-capacity byte array with a read/write window, used as a channel buffer: bytes are put
// in at the position, flip() turns the written bytes into the readable window, bytes are taken
// out from the position, and compact() moves the unread rest to the front for more writing.
//
// Invariant: mark <= position <= limit <= capacity. Every positioning operation stores its new
// value and then asserts the invariant, so a broken window stops the program at once instead of
// letting a read or write run outside the array.
//
// The array is owned (and freed) unless it was adopted through reset(char*, size_t).
// Not thread-safe; not copyable.
class Buffer {
  public:
    Buffer();
    explicit Buffer(size_t size);
    ~Buffer();

    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // Replaces the array by an owned one of size zero bytes, then clear().
    void reset(size_t size);
    // Adopts p (not owned, left alone by the destructor) as an array of size bytes, zero-fills
    // it, then clear().
    void reset(char* p, size_t size);

    char* buffer() const { return _buffer; }
    char* current() const { return _buffer + _position; }
    // One past the last byte of the window.
    char* end() const { return _buffer + _limit; }
    size_t capacity() const { return _capacity; }
    size_t limit() const { return _limit; }
    size_t position() const { return _position; }
    size_t remaining() const { return _limit - _position; }
    bool hasRemaining() const { return _position < _limit; }

    void setPosition(size_t n) {
        _position = n;
        OX_BUFFER_CHECK_INVARIANTS();
    }
    // A step past the limit fails the check "_position <= _limit". Only a step so large that the
    // sum would wrap round past zero, and so land back inside the window, is refused before it
    // is applied.
    void advancePosition(size_t n) {
        if (n > SIZE_MAX - _position) OX_ASSERT(n <= _capacity - _position);
        _position += n;
        OX_BUFFER_CHECK_INVARIANTS();
    }
    // Below zero the position wraps to a value above the limit and fails the check; only a step
    // that would wrap so far round that it lands back inside the array is refused first.
    void decrementPosition(size_t n) {
        if (n > _position && n - _position > SIZE_MAX - _capacity) OX_ASSERT(n <= _capacity);
        _position -= n;
        OX_BUFFER_CHECK_INVARIANTS();
    }
    void setLimit(size_t n) {
        _limit = n;
        OX_BUFFER_CHECK_INVARIANTS();
    }

    void clear() {
        _position = 0;
        _mark = 0;
        _limit = _capacity;
    }
    void flip() {
        _limit = _position;
        _position = 0;
        _mark = 0;
    }
    // Moves the unread bytes [position, limit) to the front; the window then opens for writing
    // after them.
    void compact() {
        OX_ASSERT(_position <= _limit);
        const size_t unread = _limit - _position;
        if (unread != 0) std::memmove(_buffer, _buffer + _position, unread);
        _position = unread;
        _limit = _capacity;
        _mark = 0;
        OX_BUFFER_CHECK_INVARIANTS();
    }
    void mark() { _mark = _position; }
    void reset() { _position = _mark; }
    // Position back to 0; the mark stays, so a later positioning call may find it above the
    // position.
    void rewind() { _position = 0; }

  private:
    void release();

    char* _buffer;
    size_t _mark;
    size_t _position;
    size_t _limit;
    size_t _capacity;
    bool _usesExternalBuffer;
};

}  // namespace Orbanex

#undef OX_BUFFER_CHECK_INVARIANTS
