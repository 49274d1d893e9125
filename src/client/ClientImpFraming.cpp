#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <memory>

#include "api/ClientConnectMessage.h"
#include "api/ClientDisconnectMessage.h"
#include "api/ImHereMessage.h"
#include "api/MsgFactory.h"
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

namespace {

// The largest body a peer accepts.
constexpr size_t MAX_BODY_SIZE = ClientImp::MAX_FRAME_LENGTH - ClientImp::MIN_FRAME_LENGTH;

// Whether msg encodes to a body a peer accepts. Encodes it into a buffer of its own, made only
// on this rare path (a message that did not fit the output buffer's free space).
bool fitsOneFrame(const OXMessage& msg) {
    const std::unique_ptr<char[]> scratch(new char[MAX_BODY_SIZE]);
    try {
        OXMessage::encodeMessage(msg, scratch.get(), MAX_BODY_SIZE);
    } catch (const Tarvik::EncodeError&) {
        return false;
    }
    return true;
}

}  // namespace

APIResult::Type ClientImp::send(const ShpOXMessage& msg) {
    const MsgType_t id = msg->getMsgType();
    if (id != ClientDisconnectMessage::ID && isStopRequested()) return APIResult::IS_STOPPING;
    const bool needsLogin =
        id != VersionMessage::ID && id != ClientConnectMessage::ID && id != RuThereMessage::ID;
    if (needsLogin && !isConnected()) return APIResult::NOT_CONNECTED;

    boost::lock_guard<boost::mutex> lock(_sendlock);
    // Asked again under the send lock: a request that passed the test above just before the
    // connection was lost must not be framed into the next connection ahead of its login. The
    // connection is marked lost before its buffers are reset for the next one (under this lock).
    // Nor may one follow close()'s goodbye, which is framed under the hold that sets _closing.
    if (needsLogin && (_closing || !isConnected())) return APIResult::NOT_CONNECTED;
    return frame(msg);
}

APIResult::Type ClientImp::frame(const ShpOXMessage& msg) {
    const MsgType_t id = msg->getMsgType();
    if (_debugMessages && id != RuThereMessage::ID && id != ImHereMessage::ID) {
        // Masked: the login's text would put the password into the text and binary logs.
        OX_LOG_INFO("send: " << *forLog(msg));
    }
    // The server has stopped reading: what waits is dropped, and the session stops.
    const auto bufferFull = [this] {
        OX_LOG_ERROR("Buffer full; stopping.");
        _outbuffer.clear();
        return failAndStop(APIResult::BUFFER_FULL);
    };
    _outbuffer.mark();
    const size_t free = _outbuffer.remaining();
    if (free < _bufferMargin) return bufferFull();

    // The encoder is bounded by the free space and by the largest body a peer accepts, so a
    // message can neither overrun the buffer nor go out behind a length the server refuses.
    // One that no frame can carry is refused alone and the session goes on; one that a frame
    // could carry but the free space cannot is the full buffer above, whatever the margin says,
    // or it would be refused again and again against a server that does not read.
    char* const head = _outbuffer.current();
    const size_t room = std::min(free - MsgHead::SIZE, MAX_BODY_SIZE);
    size_t bodySize = 0;
    try {
        bodySize = OXMessage::encodeMessage(*msg, head + MsgHead::SIZE, room);
    } catch (const Tarvik::EncodeError&) {
        if (room == MAX_BODY_SIZE || !fitsOneFrame(*msg)) return APIResult::INVALID_PARAMETER;
        return bufferFull();
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

ShpOXMessage ClientImp::forLog(const ShpOXMessage& msg) {
    if (!msg || msg->getMsgType() != ClientConnectMessage::ID) return msg;
    const boost::shared_ptr<ClientConnectMessage> shown =
        boost::make_shared<ClientConnectMessage>(msg->getRef<ClientConnectMessage>());
    shown->password = PASSWORD_MASK;
    return shown;
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
    while (::write(_wpipe, &wake, 1) < 0 && errno == EINTR) {
    }
}

void ClientImp::clearBuffers() {
    _inbuffer.clear();
    boost::lock_guard<boost::mutex> lock(_sendlock);
    _outbuffer.clear();
}

void ClientImp::decodeMessages() {
    for (;;) {
        _inbuffer.mark();
        if (_inbuffer.remaining() < MsgHead::SIZE) return;
        char* const head = _inbuffer.current();
        MsgHead header;
        Tarvik::FastCodec codec(head, head + MsgHead::SIZE);
        header.read(codec);
        if (header.length < MIN_FRAME_LENGTH || header.length > MAX_FRAME_LENGTH) {
            OX_LOG_ERROR("Invalid message length.");
            discardInput();
            failAndStop(APIResult::PROTOCOL_ERROR);
            return;
        }
        const size_t frameSize = header.length + 2u;
        if (_inbuffer.remaining() < frameSize) return;
        // The decoder sees this frame's body and nothing after it: a short body cannot read
        // into the next frame, and one with bytes left over is refused, not half taken.
        const ShpOXMessage msg =
            decodeBody(header.id, head + MsgHead::SIZE, header.length - MsgHead::LENGTH_OVERHEAD);
        if (!msg) {
            OX_LOG_ERROR("Could not decode message!");
            discardInput();
            failAndStop(APIResult::PROTOCOL_ERROR);
            return;
        }
        _inbuffer.advancePosition(frameSize);
        dispatchMessage(msg, msg.get(), msg->getMsgType());
    }
}

ShpOXMessage ClientImp::decodeBody(MsgType_t id, char* body, size_t length) {
    // An empty body holds no message, as for decodeMessage.
    if (length == 0) return ShpOXMessage();
    auto kept =
        std::find_if(_decoded.begin(), _decoded.end(),
                     [id](const std::pair<MsgType_t, ShpOXMessage>& m) { return m.first == id; });
    // Held elsewhere too (a handler of the session kept it): decoding into it would change a
    // message under its holder, so it is left to them and a new one kept instead.
    if (kept == _decoded.end() || kept->second.use_count() != 1) {
        ShpOXMessage fresh = MsgFactory::createMessage(id);
        if (!fresh) return ShpOXMessage();
        if (kept == _decoded.end()) {
            _decoded.emplace_back(id, fresh);
            kept = _decoded.end() - 1;
        } else {
            kept->second = fresh;
        }
    }
    // Every generated read overwrites each field and sizes each list anew, so nothing of the
    // previous frame survives in a message that decodes.
    if (!OXMessage::decodeInto(*kept->second, body, length)) return ShpOXMessage();
    return kept->second;
}

void ClientImp::discardInput() {
    // Cleared and then compacted by the loop, the buffer would count its whole capacity as
    // received bytes; flipped empty, compacting leaves it empty.
    _inbuffer.clear();
    _inbuffer.flip();
}

}  // namespace ZURAV
