#include "framework/Codec.h"

namespace Tarvik {

Codec::~Codec() = default;

}  // namespace Tarvik
