#include "framework/MsgControl.h"

#include <climits>
#include <cstdint>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>

#include "common/Atomic.h"
#include "common/OXAssert.h"
#include "framework/MsgDescriptor.h"
#include "framework/MsgProtocol.h"

namespace Tarvik {

static_assert(sizeof(MsgControl) <= static_cast<size_t>(MsgControl::OFFSET),
              "the header must fit the bytes reserved for it");
static_assert(alignof(MsgControl) <= BufferAllocator::ALIGNMENT &&
                  MsgControl::OFFSET % BufferAllocator::ALIGNMENT == 0,
              "the header at the block's start and the message behind it must be aligned");

namespace {

// The region size as the allocator takes it; a larger one would be cut silently.
int regionSize(size_t size) {
    OX_ASSERT(size <= static_cast<size_t>(INT_MAX));
    return static_cast<int>(size);
}

}  // namespace

MsgControl* MsgControl::initialize(const char* site, char* buf, size_t bufsize, MsgBlockPool* pool,
                                   const MsgProtocol* protocol, MsgType_t id) {
    OX_ASSERT(buf != 0 && bufsize > 0);
    OX_ASSERT(protocol != 0);
    // The header is an object at buf, and the message an object at buf + OFFSET.
    OX_ASSERT(reinterpret_cast<uintptr_t>(buf) % BufferAllocator::ALIGNMENT == 0);
    OX_ASSERT(bufsize > static_cast<size_t>(OFFSET) && bufsize <= static_cast<size_t>(INT_MAX));

    MsgDescriptor* desc = protocol->getDescriptor(id);
    if (desc == 0) {
        throw std::runtime_error("Invalid id '" + std::to_string(id) + "' for protocol '" +
                                 protocol->getName() + "'");
    }
    MsgControl* control =
        ::new (buf) MsgControl(site, buf, buf + OFFSET, bufsize - OFFSET, desc, pool);
    char* msg = control->_alloc.allocate(desc->size());
    desc->construct(msg, control->_alloc);
    return control;
}

MsgControl* MsgControl::get(char* buffer) {
    OX_ASSERT(buffer != 0);
    return reinterpret_cast<MsgControl*>(buffer);
}

MsgControl::MsgControl(const char* site, char* buffer, char* msgbuf, size_t size,
                       MsgDescriptor* desc, MsgBlockPool* pool)
    : _alloc(msgbuf, regionSize(size), site, desc != 0 ? desc->name() : ""),
      _protocol(desc != 0 ? desc->protocol() : 0),
      _descriptor(desc),
      _buffer(buffer),
      _pool(pool),
      _id(0),
      _index(0),
      _readers(0),
      _writers(0) {
    OX_ASSERT(_buffer != 0);
    OX_ASSERT(_descriptor != 0);
    OX_ASSERT(_protocol != 0);
    OX_ASSERT(msgbuf != 0 && size > 0);
    _id = _descriptor->id();
    _index = _descriptor->index();
}

void MsgControl::finalize(bool /*dumpStats*/) {
    OX_ASSERT(_buffer != 0 && _descriptor != 0);
    MsgStats& stats = _descriptor->getStats();
    Orbanex::Atomic::add(&stats.nalloc, _alloc.size());
    Orbanex::Atomic::add(&stats.ndealloc, _alloc.unused_size());
    Orbanex::Atomic::setmax(&stats.max_size, _alloc.size());
    _descriptor->nodestroy();
    _buffer = 0;
    _pool = 0;
    _protocol = 0;
    _descriptor = 0;
}

// A retired block has no descriptor: using its message is a broken calling order.
void MsgControl::write(FastCodec& c) const {
    OX_ASSERT(_descriptor != 0);
    _descriptor->write(_alloc.buffer(), c);
}

void MsgControl::read(FastCodec& c) {
    OX_ASSERT(_descriptor != 0);
    _descriptor->read(_alloc.buffer(), c);
}

int MsgControl::acquireReader() {
    ++_readers;
    if (_writers > 0) {
        reportConflict("reader");
        return -1;
    }
    return 0;
}

int MsgControl::acquireWriter() {
    ++_writers;
    if (_writers > 1 || _readers > 0) {
        reportConflict("writer");
        return -1;
    }
    return 0;
}

void MsgControl::reportConflict(const char* acquiring) const {
    OX_ASSERT(_descriptor != 0);
    std::cerr << "R/W conflict on acquiring " << acquiring << " ("
              << "readers = " << _readers << ", "
              << "writers = " << _writers << ") detected for '" << _descriptor->name() << "'."
              << std::endl;
}

}  // namespace Tarvik
