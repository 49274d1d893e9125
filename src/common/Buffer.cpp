#include "common/Buffer.h"

namespace Orbanex {

Buffer::Buffer() : Buffer(1) {}

Buffer::Buffer(size_t size)
    : _buffer(new char[size]),
      _mark(0),
      _position(0),
      _limit(size),
      _capacity(size),
      _usesExternalBuffer(false) {}

Buffer::~Buffer() {
    release();
    _buffer = nullptr;
}

void Buffer::release() {
    if (!_usesExternalBuffer) delete[] _buffer;
}

void Buffer::reset(size_t size) {
    char* fresh = new char[size]();
    release();
    _buffer = fresh;
    _capacity = size;
    _usesExternalBuffer = false;
    clear();
}

void Buffer::reset(char* p, size_t size) {
    release();
    _buffer = p;
    _capacity = size;
    _usesExternalBuffer = true;
    if (size != 0) std::memset(_buffer, 0, size);
    clear();
}

}  // namespace Orbanex
