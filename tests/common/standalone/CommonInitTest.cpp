#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "common/CallSites.h"
#include "common/CommonInit.h"
#include "common/Stats.h"
#include "common/TableFormatter.h"
#include "common/ThreadRegistry.h"
#include "common/TimeUtil.h"

using Orbanex::CallSiteTracker;
using Orbanex::CommonInit;
using Orbanex::StatsMgr;
using Orbanex::TableFormatter;
using Orbanex::ThreadRegistry;

namespace {

std::string epochText() {
    char buf[32];
    Orbanex::TimeUtil::formatString(0, buf, sizeof buf, true, false, ':', '.', ',', true);
    return buf;
}

size_t threadRows() {
    TableFormatter t;
    ThreadRegistry::dumpDebug(t);
    return t.cells().size();
}

size_t siteRows() {
    TableFormatter t;
    CallSiteTracker::dump(t);
    return t.cells().size();
}

}  // namespace

// One test: the start-up count is process-wide and only moves forward through the steps.
TEST(CommonInit, OnlyTheOutermostPairStartsAndStopsTheLayer) {
    ::setenv("TZ", "America/New_York", 1);
    ::tzset();
    ASSERT_EQ(epochText(), "1969-12-31.19:00:00");
    EXPECT_EQ(StatsMgr::instance(), nullptr);

    CommonInit::initialize();
    EXPECT_STREQ(::getenv("TZ"), "Universal");
    EXPECT_EQ(epochText(), "1970-01-01.00:00:00");
    StatsMgr* mgr = StatsMgr::instance();
    ASSERT_NE(mgr, nullptr);

    // A nested initialise does nothing: neither TZ nor the statistics manager change.
    ::setenv("TZ", "Asia/Tokyo", 1);
    CommonInit::initialize();
    EXPECT_STREQ(::getenv("TZ"), "Asia/Tokyo");
    EXPECT_EQ(StatsMgr::instance(), mgr);
    ::setenv("TZ", "Universal", 1);
    ::tzset();

    ThreadRegistry::registerThread("ZURAV");
    CallSiteTracker::registerSite("site.cpp:1");
    mgr->getTimer("t").add(1000);

    CommonInit::finalize();  // the nested one: nothing stops
    EXPECT_EQ(StatsMgr::instance(), mgr);
    EXPECT_EQ(threadRows(), 1u);
    EXPECT_EQ(siteRows(), 1u);

    CommonInit::finalize();  // the last one stops the layer
    EXPECT_EQ(StatsMgr::instance(), nullptr);
    EXPECT_EQ(threadRows(), 0u);
    EXPECT_EQ(siteRows(), 0u);
    EXPECT_STREQ(::getenv("TZ"), "Universal") << "TZ stays as initialize set it";

    CommonInit::finalize();  // unmatched: ignored, so the count does not go below zero
    ::setenv("TZ", "Asia/Tokyo", 1);
    CommonInit::initialize();  // the layer starts again
    EXPECT_STREQ(::getenv("TZ"), "Universal");
    EXPECT_NE(StatsMgr::instance(), nullptr);
    CommonInit::finalize();
    EXPECT_EQ(StatsMgr::instance(), nullptr);
}
