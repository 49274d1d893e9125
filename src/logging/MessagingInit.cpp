#include "logging/MessagingInit.h"

#include "catalogue/OXProtocol.h"
#include "logging/Message.h"

namespace Orbanex {

unsigned int MessagingInit::_initialized = 0;

void MessagingInit::initialize() {
    if (_initialized++ != 0) return;
    Message::initialize();
    Orbanex::initialize();
    Message::_catalogueGeneration.fetch_add(1, std::memory_order_acq_rel);
    Message::preAllocate(PREALLOCATED_MESSAGES);
}

void MessagingInit::finalize() {
    // Unbalanced: the count would wrap and block every later start.
    if (_initialized == 0) return;
    if (--_initialized != 0) return;
    // Messages still held elsewhere must not reach the descriptors deleted next.
    Message::_catalogueGeneration.fetch_add(1, std::memory_order_acq_rel);
    Orbanex::finalize();
    Message::finalize();
}

}  // namespace Orbanex
