#include "common/CommonInit.h"

#include <stdlib.h>
#include <time.h>

#include "common/CallSites.h"
#include "common/Stats.h"
#include "common/ThreadRegistry.h"

namespace Orbanex {

int CommonInit::_initialized = 0;

void CommonInit::initialize() {
    if (_initialized++ != 0) return;
    ::setenv("TZ", "Universal", 1);
    ::tzset();
    ThreadRegistry::initialize();
    CallSiteTracker::initialize();
    StatsMgr::initialize();
    StatsMgr::instance()->calibrate();
}

void CommonInit::finalize() {
    if (_initialized == 0) return;
    if (--_initialized != 0) return;
    StatsMgr::finalize();
    CallSiteTracker::finalize();
    ThreadRegistry::finalize();
}

}  // namespace Orbanex
