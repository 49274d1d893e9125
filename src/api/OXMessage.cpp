#include "api/OXMessage.h"

#include <ostream>
#include <sstream>
#include <string>

#include "api/APIPrivate.h"
#include "api/MsgFactory.h"
#include "common/FastOStream.h"
#include "framework/CodecError.h"
#include "framework/MsgHead.h"

namespace ZURAV {

size_t OXMessage::encodeMessage(const OXMessage& msg, char* buffer, size_t maxsize) {
    if (maxsize == 0) throw Tarvik::EncodeError("encodeMessage: no room for a message body");
    // A body longer than a frame's 16-bit length can describe is refused like any other overflow,
    // instead of going out behind a length that wrapped.
    const size_t room = maxsize < Tarvik::MsgHead::MAX_BODY ? maxsize : Tarvik::MsgHead::MAX_BODY;
    FastCodec codec(buffer, buffer + room);
    msg.write(&codec);
    return codec.size();
}

ShpOXMessage OXMessage::decodeMessage(MsgType_t id, const char* buffer, size_t length) {
    // Every message encodes to at least one byte, so an empty body holds no message.
    if (length == 0) return ShpOXMessage();
    ShpOXMessage msg = MsgFactory::createMessage(id);
    if (!msg || !decodeInto(*msg, buffer, length)) return ShpOXMessage();
    return msg;
}

bool OXMessage::decodeInto(OXMessage& msg, const char* buffer, size_t length) {
    if (length == 0) return false;
    // A decoding codec only reads from its range.
    char* begin = const_cast<char*>(buffer);
    FastCodec codec(begin, begin + length);
    try {
        msg.read(&codec);
    } catch (const Tarvik::DecodeError&) {
        return false;
    }
    return codec.remaining() == 0;
}

std::ostream& operator<<(std::ostream& os, const OXMessage& msg) {
    msg.dump(os, false);
    return os;
}

Orbanex::FastOStream& operator<<(Orbanex::FastOStream& os, const OXMessage& msg) {
    std::ostringstream text;
    msg.dump(text, false);
    const std::string s = text.str();
    os.write(s.data(), s.size());
    return os;
}

}  // namespace ZURAV
