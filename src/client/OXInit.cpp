#include "client/OXInit.h"

#include "api/ProtoInit.h"
#include "common/CommonInit.h"
#include "common/ThreadRegistry.h"
#include "logging/LoggingInit.h"
#include "logging/MessagingInit.h"

namespace ZURAV {

void OXInit::initialize() {
    Orbanex::CommonInit::initialize();
    Orbanex::ThreadRegistry::initialize();
    Orbanex::ThreadRegistry::registerThread("ZURAV");
    Orbanex::MessagingInit::initialize();
    Orbanex::LoggingInit::initialize();
    ProtoInit::initialize();
}

void OXInit::finalize() {
    ProtoInit::finalize();
    Orbanex::LoggingInit::finalize();
    Orbanex::MessagingInit::finalize();
    Orbanex::ThreadRegistry::finalize();
    Orbanex::CommonInit::finalize();
}

}  // namespace ZURAV
