#include "framework/MsgProtocol.h"

namespace Tarvik {

MsgProtocol::~MsgProtocol() {}

const char* MsgProtocol::getDefinition() const { return 0; }

}  // namespace Tarvik
