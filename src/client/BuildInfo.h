#pragma once

#include "api/OXMessage.h"

namespace ZURAV {

// The VersionMessage that opens every login: program "ZURAV", this build's version numbers (cut
// to 8 bits) and identity, the API signature as protosig and the internal protocol's signature
// as extra1, "cpp" as extra3, sync size 0; the other texts empty. Needs the library initialised
// (OXInit::initialize()), whose catalogue holds the protocol's signature.
ShpOXMessage getVersionMessage();

}  // namespace ZURAV
