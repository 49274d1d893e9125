#pragma once

#include <cstddef>
#include <iosfwd>

#include "framework/BufferAllocator.h"
#include "framework/MsgType.h"

namespace Tarvik {

class FastCodec;
class MsgDescriptor;
class MsgProtocol;

// A pool of message blocks, known to a block only by pointer; nothing here creates or uses one.
class MsgBlockPool {};

// The control header of a message block. A catalogue message never lives on the heap: it lives
// in a block that the caller provides, laid out as
//
//   bytes                          content
//   [0, 128)                       this header (OFFSET bytes reserved for it)
//   [128, 128 + size of the type)  the message object, the first allocation of the region
//   following bytes, to bufsize    storage of the message's strings and lists, in the order
//                                  taken (8-byte aligned); storage replaced by growth stays,
//                                  booked as released
//
// The region behind the header is managed by the header's BufferAllocator. A block is raw
// memory until initialize(), then holds one live message of one type until finalize(), after
// which initialize() may use it again for any type. The header is never destroyed.
//
// A block and its message belong to one thread at a time; nothing here locks. The reader and
// writer counts are plain diagnostic counters. finalize() updates the type's shared counters
// atomically, since pooled messages are retired on whichever thread drops the last reference.
class MsgControl {
  public:
    static const int OFFSET = 128;

    // Turns the raw block buf of bufsize bytes into a block holding a new, empty message of type
    // id of protocol and returns its header (at buf). site names the creator in allocation
    // errors. Throws std::runtime_error for an id the protocol does not know (the block is left
    // untouched) and std::out_of_range when the message object does not fit. buf must be 8-byte
    // aligned and bufsize larger than OFFSET.
    static MsgControl* initialize(const char* site, char* buf, size_t bufsize, MsgBlockPool* pool,
                                  const MsgProtocol* protocol, MsgType_t id);

    // The header of the block at buffer.
    static MsgControl* get(char* buffer);

    // size is at most INT_MAX (an assertion): the allocator counts in int.
    MsgControl(const char* site, char* buffer, char* msgbuf, size_t size, MsgDescriptor* desc,
               MsgBlockPool* pool);

    // Retires the block: adds its used and released bytes to the type's counters and skips the
    // message's destructor (everything it holds lies in the block). dumpStats has no effect.
    void finalize(bool dumpStats);

    MsgType_t getId() const { return _id; }
    short getIndex() const { return _index; }
    MsgDescriptor* getDescriptor() { return _descriptor; }
    MsgProtocol* getProtocol() { return _protocol; }
    MsgBlockPool* getPool() { return _pool; }

    // Where the message object lies.
    char* getMessageBuffer() const { return const_cast<char*>(_alloc.buffer()); }
    // Bytes still free in the block; negative once an allocation has been refused.
    ptrdiff_t getRemainingBytes() const { return _alloc.remaining(); }

    // Encode or decode the message through the descriptor; the block must be live (an
    // assertion after finalize()).
    void write(FastCodec& c) const;
    void read(FastCodec& c);

    // Diagnostic reader/writer declarations, no locking. An acquire that conflicts reports the
    // conflict on standard error and returns -1 but still counts, so every acquire is paired
    // with a release whatever it returned.
    int acquireReader();
    int acquireWriter();
    void releaseReader() { --_readers; }
    void releaseWriter() { --_writers; }

    void dumpAlloc(std::ostream& oss) const { _alloc.dump(oss); }

  private:
    MsgControl(const MsgControl&) = delete;
    MsgControl& operator=(const MsgControl&) = delete;

    void reportConflict(const char* acquiring) const;

    BufferAllocator _alloc;
    MsgProtocol* _protocol;
    MsgDescriptor* _descriptor;
    char* _buffer;
    MsgBlockPool* _pool;
    MsgType_t _id;
    short _index;
    short _readers;
    short _writers;
};

}  // namespace Tarvik
