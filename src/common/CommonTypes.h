#pragma once

#include <cstdint>

namespace Orbanex {

// Nanoseconds since 1970-01-01 00:00:00 UTC; negative values lie before 1970. The time type of
// every clock reading, log entry, binary log record and message time stamp.
typedef int64_t Timestamp_t;

}  // namespace Orbanex
