#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/BufferAllocator.h"
#include "framework/bufstring.h"

namespace test_support {

// A heap region of exactly `capacity` bytes with its bump allocator, for containers used
// outside a message block. On the heap so that ASan sees any access past the region.
class TestBlock {
  public:
    explicit TestBlock(int capacity, const char* name = "TestMessage", const char* site = "test")
        : _bytes(static_cast<size_t>(capacity)), _alloc(_bytes.data(), capacity, site, name) {}

    Tarvik::BufferAllocator& alloc() { return _alloc; }
    const void* begin() const { return _bytes.data(); }
    const void* end() const { return _bytes.data() + _bytes.size(); }
    bool holds(const void* p) const { return p >= begin() && p < end(); }

  private:
    std::vector<char> _bytes;
    Tarvik::BufferAllocator _alloc;
};

// Raw memory for a message block: 8-byte aligned, on the heap so that ASan sees any access past
// its end (size is a multiple of 8).
class RawBlock {
  public:
    explicit RawBlock(size_t size) : _words(size / 8) {}

    char* data() { return reinterpret_cast<char*>(_words.data()); }
    size_t size() const { return _words.size() * 8; }
    const void* begin() const { return _words.data(); }
    const void* end() const { return _words.data() + _words.size(); }
    bool holds(const void* p) const { return p >= begin() && p < end(); }

  private:
    std::vector<uint64_t> _words;
};

// The characters a block string stores, its NUL included ("" for one without storage).
inline std::string stored(const bufstl::bufstring& s) {
    const bufstl::bufvector<char>& v = s;
    return std::string(v.begin(), v.end());
}

inline size_t capacity(const bufstl::bufstring& s) {
    return static_cast<const bufstl::bufvector<char>&>(s).capacity();
}

}  // namespace test_support
