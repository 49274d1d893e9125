#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "api/ClientConnectMessage.h"
#include "api/ClientDisconnectMessage.h"
#include "api/ImHereMessage.h"
#include "api/RuThereMessage.h"
#include "api/VersionMessage.h"
#include "client/ClientImp.h"
#include "common/TimeUtil.h"
#include "framework/CodecError.h"
#include "framework/FastCodec.h"
#include "framework/MsgHead.h"
#include "logging/Log.h"

OX_LOG_DECLARE_LOGGER("API")

namespace ZURAV {

using Tarvik::MsgHead;

APIResult::Type ClientImp::send(const ShpOXMessage& msg) {
    const MsgType_t id = msg->getMsgType();
    if (id != ClientDisconnectMessage::ID && isStopRequested()) return APIResult::IS_STOPPING;
    if (id != VersionMessage::ID && id != ClientConnectMessage::ID && id != RuThereMessage::ID &&
        !isConnected()) {
        return APIResult::NOT_CONNECTED;
    }

    boost::lock_guard<boost::mutex> lock(_sendlock);
    if (_debugMessages && id != RuThereMessage::ID && id != ImHereMessage::ID) {
        OX_LOG_INFO("send: " << *msg);
    }
    _outbuffer.mark();
    const size_t free = _outbuffer.remaining();
    if (free < _bufferMargin) {
        OX_LOG_ERROR("Buffer full; stopping.");
        _outbuffer.clear();
        return failAndStop(APIResult::BUFFER_FULL);
    }

    // The encoder is bounded by the free space and by the largest body a peer accepts, so an
    // oversized message can neither overrun the buffer nor go out behind a length the server
    // refuses; it is refused alone and the session goes on.
    char* const head = _outbuffer.current();
    const size_t room = std::min(free - MsgHead::SIZE, MAX_FRAME_LENGTH - MIN_FRAME_LENGTH);
    size_t bodySize = 0;
    try {
        bodySize = OXMessage::encodeMessage(*msg, head + MsgHead::SIZE, room);
    } catch (const Tarvik::EncodeError&) {
        return APIResult::INVALID_PARAMETER;
    }
    MsgHead header;
    header.length = static_cast<uint16_t>(bodySize + MsgHead::LENGTH_OVERHEAD);
    header.id = id;
    header.nsecs = Orbanex::TimeUtil::now();
    Tarvik::FastCodec codec(head, head + MsgHead::SIZE);
    header.write(codec);
    _outbuffer.advancePosition(MsgHead::SIZE + bodySize);

    const APIResult::Type result = flushOutBuffer();
    if (result != APIResult::OK) {
        OX_LOG_ERROR("Error writing to socket: " << systemError(errno));
        return result;
    }
    if (_outbuffer.position() != 0) notifySelector();
    return APIResult::OK;
}

APIResult::Type ClientImp::flushOutBuffer() {
    _outbuffer.flip();
    ssize_t n;
    do {
        n = ::send(_wsock, _outbuffer.buffer(), _outbuffer.limit(), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
        _outbuffer.advancePosition(static_cast<size_t>(n));
        _outbuffer.compact();
        return APIResult::OK;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        _outbuffer.compact();
        return APIResult::OK;
    }
    const int error = errno;
    _outbuffer.clear();
    const APIResult::Type result = failAndStop(APIResult::SOCKERR_WRITING);
    errno = error;  // for the caller's report
    return result;
}

void ClientImp::notifySelector() {
    const char wake = 0;
    // Nothing to do on failure: a full pipe (EAGAIN) means the loop has a wake-up pending.
    if (::write(_wpipe, &wake, 1) < 0) return;
}

void ClientImp::clearBuffers() {
    _inbuffer.clear();
    boost::lock_guard<boost::mutex> lock(_sendlock);
    _outbuffer.clear();
}

}  // namespace ZURAV
