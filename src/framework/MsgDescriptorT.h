#pragma once

#include <cstddef>
#include <new>

#include "framework/BufferAllocator.h"
#include "framework/MsgDescriptor.h"

namespace Tarvik {

// The descriptor of message class T. T provides: static constants ID (MsgType_t) and INDEX
// (short); a constructor from BufferAllocator& that builds an empty message bound to that block;
// a destructor that books its container storage as released; const write(FastCodec&) and
// read(FastCodec&) of every field in declaration order; copy assignment into its own block; and
// const checkbounds(const void* begin, const void* end).
//
// Forwards each operation to T and counts nothing itself; destroying a descriptor releases
// nothing. name is kept as a pointer, not copied.
template <typename T>
class MsgDescriptorT : public MsgDescriptor {
    static_assert(alignof(T) <= BufferAllocator::ALIGNMENT,
                  "a message is placed in its block on an ALIGNMENT boundary");

  public:
    MsgDescriptorT(const char* name, MsgProtocol* protocol)
        : MsgDescriptor(protocol), _name(name), _stats() {}

    const char* name() const override { return _name; }
    MsgType_t id() const override { return T::ID; }
    short index() const override { return T::INDEX; }
    size_t size() const override { return sizeof(T); }

    void construct(void* p, BufferAllocator& alloc) override {
        if (p != 0) ::new (p) T(alloc);
    }
    void destroy(void* p) override { static_cast<T*>(p)->~T(); }
    void nodestroy() override {}

    void write(const void* p, FastCodec& c) const override { static_cast<const T*>(p)->write(c); }
    void read(void* p, FastCodec& c) const override { static_cast<T*>(p)->read(c); }
    void copy(void* dst, const void* src) const override {
        *static_cast<T*>(dst) = *static_cast<const T*>(src);
    }
    void checkbounds(void* p, const void* begin, const void* end) const override {
        static_cast<const T*>(p)->checkbounds(begin, end);
    }

    MsgStats& getStats() override { return _stats; }

  private:
    const char* _name;
    MsgStats _stats;
};

}  // namespace Tarvik
