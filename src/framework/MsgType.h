#pragma once

#include <cstdint>

namespace Tarvik {

// Message type id: the same id names a message type in the frame header, in the internal
// catalogue and in the API model.
typedef uint16_t MsgType_t;

}  // namespace Tarvik
