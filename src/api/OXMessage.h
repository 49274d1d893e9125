#pragma once

#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <iosfwd>

#include "api/APITypes.h"
#include "framework/MsgType.h"

namespace Orbanex {
class FastOStream;
}

namespace ZURAV {

typedef Tarvik::MsgType_t MsgType_t;

class OXMessage;
// The handle in which messages are created, queued, decoded and dispatched; a message is bound
// to it as its concrete class. The empty handle stands for no message.
typedef boost::shared_ptr<OXMessage> ShpOXMessage;

// Abstract base of the generated API messages. A message body is its fields back to back in
// declaration order, with nothing around them; the type id travels in the frame header only.
// No shared state: messages are plain values owned by one thread at a time.
class OXMessage {
  protected:
    OXMessage() = default;
    OXMessage(const OXMessage&) = default;
    OXMessage& operator=(const OXMessage&) = default;
    virtual ~OXMessage() = default;

  public:
    virtual MsgType_t getMsgType() const = 0;
    // The whole text, "<" class name " " group ">", in the pretty layout whatever `pretty` says.
    virtual void dump(std::ostream& os, bool pretty) const = 0;
    // codec: the Tarvik::FastCodec to read from or to write to.
    virtual void read(void* codec) = 0;
    virtual void write(void* codec) const = 0;
    // writer: the TextWriter that takes the message's group.
    virtual void dump(void* writer) const = 0;

    // Writes the body of msg at buffer and returns its size. Never writes past maxsize: a body
    // that does not fit (maxsize 0 included), or that is longer than a frame can carry (65525
    // bytes), raises Tarvik::EncodeError.
    static size_t encodeMessage(const OXMessage& msg, char* buffer, size_t maxsize);
    // A new message of the class with type id `id` read from exactly the `length` bytes at
    // buffer, the body of one frame. The empty handle for an id without a class and for a body
    // that is empty, ends early, is malformed or has bytes left over; no read leaves the range.
    static ShpOXMessage decodeMessage(MsgType_t id, const char* buffer, size_t length);
    // Reads msg from exactly the `length` bytes at buffer, with the checks of decodeMessage;
    // false where decodeMessage gives the empty handle. Every field and list of msg is
    // overwritten by a read that succeeds; after a failure msg holds no meaningful value.
    static bool decodeInto(OXMessage& msg, const char* buffer, size_t length);

    // The message seen as its concrete class T, unchecked; undress has no effect.
    template <class T>
    T* getPtr(bool undress = false) {
        (void)undress;
        return static_cast<T*>(this);
    }
    template <class T>
    T& getRef() {
        return static_cast<T&>(*this);
    }
};

// Writes msg.dump(os, false).
std::ostream& operator<<(std::ostream& os, const OXMessage& msg);
// Appends the same text to the cursor; a text that does not fit is cut at the cursor's end.
Orbanex::FastOStream& operator<<(Orbanex::FastOStream& os, const OXMessage& msg);

}  // namespace ZURAV
