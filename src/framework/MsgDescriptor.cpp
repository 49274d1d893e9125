#include "framework/MsgDescriptor.h"

namespace Tarvik {

MsgDescriptor::~MsgDescriptor() {}

}  // namespace Tarvik
