#pragma once

// The library's messages of the benchmark shapes (Shapes.h), for the rows outside ZuravBench.cpp.

#include "api/MktDataMessage.h"

namespace Bench {

// MD2 and MD10: the MktDataMessage of the shape with that many entries.
ZURAV::MktDataMessage mdMessage(int entries);

}  // namespace Bench
