#include "logging/Message.h"

#include <iostream>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "catalogue/OXProtocol.h"
#include "catalogue/OXProtocolWriter.h"
#include "common/FastOStream.h"
#include "framework/CodecError.h"
#include "framework/FastCodec.h"
#include "framework/MsgControl.h"
#include "framework/MsgDescriptor.h"
#include "framework/MsgProtocol.h"

namespace Orbanex {

std::atomic<unsigned int> Message::_catalogueGeneration{0};

Message::Message(const CallSite& cs, Tarvik::MsgType_t type)
    : _refcount(),
      _msgType(type),
      _generation(_catalogueGeneration.load(std::memory_order_acquire)),
      _protocol(__protocol),
      _ctrl(nullptr) {
    if (_protocol == nullptr) {
        throw std::runtime_error("Message: the catalogue is not initialised (type " +
                                 std::to_string(type) + ")");
    }
    _ctrl = Tarvik::MsgControl::initialize(cs.location, _buffer, MESSAGE_BUFFER_SIZE, nullptr,
                                           _protocol, type);
}

Message::~Message() {
    // The descriptor belongs to the catalogue that made this message; once that catalogue is
    // gone the block is only memory.
    if (_generation == _catalogueGeneration.load(std::memory_order_acquire) &&
        _protocol == __protocol) {
        _ctrl->finalize(false);
    }
}

void Message::addref() { _refcount.data.fetch_add(1, std::memory_order_relaxed); }

void Message::release() {
    if (_refcount.data.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

const char* Message::getMsgName() const { return getDescriptor()->name(); }

void* Message::getPayload() const { return _ctrl->getMessageBuffer(); }

Tarvik::MsgDescriptor* Message::getDescriptor() const { return _ctrl->getDescriptor(); }

ShpMessage Message::createMessage(const CallSite& cs, Tarvik::MsgType_t type) {
    return ShpMessage(new Message(cs, type));
}

ShpMessage Message::copyMessage(const CallSite& cs, Tarvik::MsgType_t type, void* payload, size_t) {
    ShpMessage copy(new Message(cs, type));
    copy->getDescriptor()->copy(copy->getPayload(), payload);
    return copy;
}

ShpMessage Message::copyMessage(const CallSite& cs, const ShpMessage& msg) {
    return copyMessage(cs, msg->getMsgType(), msg->getPayload(), 0);
}

size_t Message::encodeMessage(const ShpMessage& msg, char* buffer, size_t maxsize) {
    // Every body holds at least one byte, so an empty buffer cannot hold it.
    if (maxsize == 0) throw Tarvik::EncodeError("Message: no room for the body");
    Tarvik::FastCodec codec(buffer, buffer + maxsize);
    msg->_ctrl->write(codec);
    return codec.size();
}

ShpMessage Message::decodeMessage(const CallSite& cs, Tarvik::MsgType_t id, const char* buffer,
                                  size_t length) {
    try {
        if (buffer == nullptr || length == 0) {
            throw Tarvik::DecodeError("empty message body");
        }
        ShpMessage msg(new Message(cs, id));
        char* begin = const_cast<char*>(buffer);
        Tarvik::FastCodec codec(begin, begin + length);
        msg->_ctrl->read(codec);
        // The body is exactly one message: bytes left over mean it was something else.
        if (codec.remaining() != 0) {
            throw Tarvik::DecodeError(std::to_string(codec.remaining()) +
                                      " bytes left over after the message");
        }
        return msg;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        std::cerr << "Error decoding message of type '" << id << "': " << e.what() << std::endl;
        throw OXProtocolError(e.what());
    }
}

void Message::dump(FastOStream& fos, bool pretty) const {
    fos << '<' << getMsgName() << ' ';
    ACodec codec(fos);
    AsciiWriter writer(codec, pretty, static_cast<int>(fos.size()));
    writer.dispatch(_buffer);
    fos << '>';
}

void Message::dump(std::ostream& os, bool pretty) const {
    std::unique_ptr<char[]> text(new char[DUMP_BUFFER_SIZE]);
    FastOStream fos(text.get(), text.get() + DUMP_BUFFER_SIZE);
    dump(fos, pretty);
    os << fos.ends();
}

void Message::initialize() { AtomicallyPooled<Message>::initialize(4294967295u); }

void Message::finalize() { AtomicallyPooled<Message>::finalize(); }

}  // namespace Orbanex
