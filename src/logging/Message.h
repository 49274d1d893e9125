#pragma once

#include <atomic>
#include <boost/intrusive_ptr.hpp>
#include <boost/noncopyable.hpp>
#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "common/AtomicallyPooled.h"
#include "common/CacheLine.h"
#include "common/CallSites.h"
#include "framework/MsgType.h"

namespace Tarvik {
class MsgControl;
class MsgDescriptor;
class MsgProtocol;
}  // namespace Tarvik

namespace Orbanex {

class FastOStream;
class Message;

void intrusive_ptr_add_ref(Message* m);
void intrusive_ptr_release(Message* m);

typedef boost::intrusive_ptr<Message> ShpMessage;

// One catalogue message in a 32 KiB arena inside a pooled, reference-counted object: the
// arena holds the message block (control header, the message object, then the storage of its
// strings and lists). Handles (ShpMessage) share a Message; the last one to go retires the
// block and returns the object to a lock-free pool, so a steady flow of messages allocates
// nothing.
//
// Threads: handles may be taken and dropped on any thread (the count is atomic and alone on its
// cache line). The content is not synchronised: the creator fills it before handing the message
// to another thread through something that orders memory (the log queue's mutex).
//
// Lifetime against the catalogue: a message made while the catalogue is initialised uses its
// descriptor. A message released after messaging was finalised skips the descriptor (gone by
// then) and only returns its memory.
class alignas(CACHE_LINE_SIZE) Message : private boost::noncopyable,
                                         public AtomicallyPooled<Message> {
  public:
    static constexpr size_t MESSAGE_BUFFER_SIZE = 32 * 1024;

    // An empty message of type in the arena. Throws std::runtime_error for an id the catalogue
    // does not know ("Invalid id '<id>' for protocol '<name>'") and when the catalogue is not
    // initialised.
    Message(const CallSite& cs, Tarvik::MsgType_t type);
    virtual ~Message();

    void addref();
    void release();
    uint16_t getcount() const { return _refcount.data.load(std::memory_order_relaxed); }

    Tarvik::MsgType_t getMsgType() const { return _msgType; }
    const char* getMsgName() const;
    Tarvik::MsgControl* getControl() const { return _ctrl; }
    void* getPayload() const;
    Tarvik::MsgDescriptor* getDescriptor() const;

    static ShpMessage createMessage(const CallSite& cs, Tarvik::MsgType_t type);
    // A new message of type holding a copy of the message of that type at payload (sz is not
    // used), deep-copied into the new arena.
    static ShpMessage copyMessage(const CallSite& cs, Tarvik::MsgType_t type, void* payload,
                                  size_t sz);
    static ShpMessage copyMessage(const CallSite& cs, const ShpMessage& msg);

    // The body (no frame header) into [buffer, buffer + maxsize); returns its size. A body that
    // does not fit throws Tarvik::EncodeError, writing nothing beyond the buffer.
    static size_t encodeMessage(const ShpMessage& msg, char* buffer, size_t maxsize);
    // A message of type id decoded from exactly the length bytes at buffer. Every decoding
    // failure (an unknown id, an empty, truncated or malformed body, bytes left over, a message
    // too large for the arena) is written to standard error as "Error decoding message of type
    // '<id>': <text>" and thrown as OXProtocolError; only std::bad_alloc passes unchanged.
    static ShpMessage decodeMessage(const CallSite& cs, Tarvik::MsgType_t id, const char* buffer,
                                    size_t length);

    // The message as text: '<', the type name, a blank, the catalogue's rendering (pretty:
    // indented over several lines) and '>'. Text that does not fit the stream is cut.
    void dump(FastOStream& fos, bool pretty) const;
    // The same through a text buffer of DUMP_BUFFER_SIZE bytes.
    void dump(std::ostream& os, bool pretty) const;
    static constexpr size_t DUMP_BUFFER_SIZE = 262144;

    // The cap of cached blocks (none in practice) and the release of every cached block.
    static void initialize();
    static void finalize();

  private:
    // Counts the catalogue's lifetimes: a message knows the one it was made in.
    static std::atomic<unsigned int> _catalogueGeneration;
    friend class MessagingInit;

    CacheLine<std::atomic<uint16_t>> _refcount;
    Tarvik::MsgType_t _msgType;
    unsigned int _generation;
    const Tarvik::MsgProtocol* _protocol;
    alignas(16) char _buffer[MESSAGE_BUFFER_SIZE];
    Tarvik::MsgControl* _ctrl;
};

inline void intrusive_ptr_add_ref(Message* m) { m->addref(); }
inline void intrusive_ptr_release(Message* m) { m->release(); }

}  // namespace Orbanex

#define CREATE_MESSAGE(TYP) ::Orbanex::Message::createMessage(CALLSITE, TYP::ID)
#define COPY_MESSAGE(MSG) ::Orbanex::Message::copyMessage(CALLSITE, MSG)
