#pragma once

#include <cstddef>

#include "common/Atomic.h"
#include "framework/MsgType.h"

namespace Tarvik {

class BufferAllocator;
class FastCodec;
class MsgProtocol;

// Counters of one message type, shared by all its blocks. Only MsgControl::finalize updates
// nalloc, ndealloc and max_size, atomically, from whichever thread retires a block; the other
// counters are declared and never updated.
struct MsgStats {
    typedef Orbanex::Atomic::cas_t cas_t;

    cas_t nconstruct = 0;
    cas_t ndestroy = 0;
    cas_t ncopy = 0;
    cas_t nwrite = 0;
    cas_t nread = 0;
    // Bytes taken from blocks by retired messages of the type.
    cas_t nalloc = 0;
    // Bytes those messages handed back inside their blocks.
    cas_t ndealloc = 0;
    // The most bytes one retired message of the type took.
    cas_t max_size = 0;
    cas_t nundress = 0;
};

// Everything particular to one message type, reached by a message block that holds an untyped
// message: name, id, index and size, and construction, destruction, coding, copying and bounds
// checking of a message of the type at a given address. MsgDescriptorT is the implementation.
//
// Created and owned by the protocol implementation, read-only afterwards (but for the counters
// and the type object), so any thread may use it; it must outlive every block that uses it.
class MsgDescriptor {
  public:
    virtual ~MsgDescriptor();

    virtual const char* name() const = 0;
    virtual MsgType_t id() const = 0;
    // Position in the protocol, 0 to one less than the number of types.
    virtual short index() const = 0;
    virtual size_t size() const = 0;
    // Builds an empty message at p, its strings and lists bound to alloc.
    virtual void construct(void* p, BufferAllocator& alloc) = 0;
    virtual void destroy(void* p) = 0;
    // Called instead of destroy() when a block is retired.
    virtual void nodestroy() = 0;
    virtual void write(const void* p, FastCodec& c) const = 0;
    virtual void read(void* p, FastCodec& c) const = 0;
    // Assigns the message at src to the one at dst, into dst's own block.
    virtual void copy(void* dst, const void* src) const = 0;
    // Stops the program unless the message at p and all it holds lie in [begin, end).
    virtual void checkbounds(void* p, const void* begin, const void* end) const = 0;
    virtual MsgStats& getStats() = 0;

    MsgProtocol* protocol() { return _protocol; }
    // An opaque pointer a user may attach; not synchronised.
    void* getTypeObject() const { return _typeObject; }
    void setTypeObject(void* typeObject) { _typeObject = typeObject; }

  protected:
    explicit MsgDescriptor(MsgProtocol* protocol) : _protocol(protocol), _typeObject(0) {}

    MsgProtocol* _protocol;
    void* _typeObject;
};

}  // namespace Tarvik
