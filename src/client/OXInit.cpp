#include "client/OXInit.h"

#include "api/ProtoInit.h"
#include "common/CommonInit.h"
#include "common/ThreadRegistry.h"
#include "logging/LoggingInit.h"

namespace ZURAV {

void OXInit::initialize() {
    Orbanex::CommonInit::initialize();
    Orbanex::ThreadRegistry::initialize();
    Orbanex::ThreadRegistry::registerThread("ZURAV");
    Orbanex::LoggingInit::initialize();
    ProtoInit::initialize();
}

void OXInit::finalize() {
    ProtoInit::finalize();
    Orbanex::LoggingInit::finalize();
    Orbanex::ThreadRegistry::finalize();
    Orbanex::CommonInit::finalize();
}

}  // namespace ZURAV
