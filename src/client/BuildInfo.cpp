#include "client/BuildInfo.h"

#include <cstdint>

#include "api/MsgFactory.h"
#include "api/VersionMessage.h"
#include "catalogue/OXProtocol.h"
#include "common/OXAssert.h"
#include "common/OXVersion.h"

namespace ZURAV {

ShpOXMessage getVersionMessage() {
    OX_ASSERT(Orbanex::__protocol != nullptr);
    namespace V = Orbanex::Version;
    const ShpOXMessage sm = MsgFactory::createMessage(VersionMessage::ID);
    VersionMessage& msg = sm->getRef<VersionMessage>();
    msg.program = "ZURAV";
    msg.version_major = static_cast<int8_t>(V::VERSION_MAJOR);
    msg.version_minor = static_cast<int8_t>(V::VERSION_MINOR);
    msg.version_micro = static_cast<int8_t>(V::VERSION_MICRO);
    msg.revision = V::REVISION;
    msg.commitdate = V::COMMITDATE;
    msg.build = V::BUILD;
    msg.arch = V::ARCH;
    msg.host = V::HOST;
    msg.date = V::DATE;
    msg.compiler = V::COMPILER;
    msg.defines = V::DEFINES;
    msg.builduser = V::USER;
    msg.distribution = V::DISTRIBUTION;
    msg.platform = V::VERBOSE_PLATFORM;
    msg.protosig = Orbanex::__protocol->getSignatureAPI();
    msg.syncSize = 0;
    msg.extra1 = Orbanex::__protocol->getSignature();
    msg.extra3 = "cpp";
    return sm;
}

}  // namespace ZURAV
