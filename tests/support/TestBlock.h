#pragma once

#include <cstddef>
#include <vector>

#include "framework/BufferAllocator.h"

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

}  // namespace test_support
