#include "logging/LoggingInit.h"

#include "logging/Log.h"
#include "logging/LogBufferedQueue.h"

namespace Orbanex {

unsigned int LoggingInit::_initialized = 0;

void LoggingInit::initialize() {
    if (_initialized++ != 0) return;
    LogEntry::initialize(MAX_CACHED_ENTRIES);
    LogManager::initialize();
}

void LoggingInit::finalize() {
    // Unbalanced: the count would wrap and block every later start.
    if (_initialized == 0) return;
    if (--_initialized != 0) return;
    LogManager::finalize();
    LogEntry::finalize();
}

}  // namespace Orbanex
