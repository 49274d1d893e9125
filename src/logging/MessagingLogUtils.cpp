#include "logging/MessagingLogUtils.h"

#include <unistd.h>

#include <exception>
#include <new>

#include "catalogue/OXProtocol.h"
#include "common/OXVersion.h"
#include "framework/MsgControl.h"
#include "framework/MsgLogFile.h"
#include "framework/MsgProtocol.h"

namespace Orbanex {

namespace {
const char* text(const char* s) { return s != nullptr ? s : ""; }
}  // namespace

ShpMessage getVersionMessage(int syncSize) {
    ShpMessage msg = Message::createMessage(CALLSITE, VersionMessage::ID);
    VersionMessage& v = *static_cast<VersionMessage*>(msg->getPayload());
    v.program.assign("Sondrel");
    v.version_major = static_cast<int8_t>(Version::VERSION_MAJOR);
    v.version_minor = static_cast<int8_t>(Version::VERSION_MINOR);
    v.version_micro = static_cast<int8_t>(Version::VERSION_MICRO);
    v.version_extra.assign("");
    v.revision.assign(text(Version::REVISION));
    v.commitdate.assign(text(Version::COMMITDATE));
    v.branch.assign("");
    v.build.assign(text(Version::BUILD));
    v.arch.assign(text(Version::ARCH));
    v.host.assign(text(Version::HOST));
    v.date.assign(text(Version::DATE));
    v.time.assign("");
    v.compiler.assign(text(Version::COMPILER));
    v.defines.assign(text(Version::DEFINES));
    v.builduser.assign(text(Version::USER));
    v.distribution.assign(text(Version::DISTRIBUTION));
    v.platform.assign(text(Version::VERBOSE_PLATFORM));
    v.protosig.assign(text(__protocol->getSignatureAPI()));
    v.syncSize = syncSize;
    v.extra1.assign(text(__protocol->getSignature()));
    v.extra2.assign(std::to_string(getpid()).c_str());
    v.extra3.assign("cpp");
    v.extra4.assign("");
    v.extra5.assign("");
    return msg;
}

ShpMessage getProtocolDefinitionMessage() {
    ShpMessage msg = Message::createMessage(CALLSITE, ProtocolDefinitionMessage::ID);
    size_t length = 0;
    const void* definition = __protocol->getCompressedDefinition(length);
    static_cast<ProtocolDefinitionMessage*>(msg->getPayload())
        ->proto.assign(static_cast<const char*>(definition), length);
    return msg;
}

bool getLogSignature(Tarvik::MsgLogFile* file, std::string& signature) {
    if (file == nullptr || file->end() == nullptr) return false;
    Tarvik::MsgIterator it(file);
    if (it.done() || it.id() != VersionMessage::ID) return false;
    alignas(16) char block[Message::MESSAGE_BUFFER_SIZE];
    try {
        Tarvik::MsgControl* control = it.decode(block, sizeof block);
        if (control == nullptr) return false;
        signature = static_cast<VersionMessage*>(static_cast<void*>(control->getMessageBuffer()))
                        ->extra1.c_str();
        control->finalize(false);
        return true;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // A record that does not decode carries no signature.
        return false;
    }
}

}  // namespace Orbanex
