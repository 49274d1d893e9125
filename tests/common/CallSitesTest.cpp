#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/CallSites.h"
#include "common/TableFormatter.h"

using Orbanex::CallSite;
using Orbanex::CallSiteTracker;
using Orbanex::TableFormatter;

namespace {

std::vector<TableFormatter::RowVec> dumpedRows() {
    TableFormatter t;
    CallSiteTracker::dump(t);
    EXPECT_EQ(t.header(), (TableFormatter::RowVec{"location", "count"}));
    std::vector<TableFormatter::RowVec> rows = t.cells();
    std::sort(rows.begin(), rows.end());
    return rows;
}

const CallSite& takesASite(DECL_CALLSITE site) { return site; }

}  // namespace

TEST(CallSites, MacroNamesTheFileAndLine) {
    const int line = __LINE__ + 1;
    const CallSite site = takesASite(CALLSITE);
    EXPECT_EQ(std::string(site.location), std::string(__FILE__) + ":" + std::to_string(line));
    EXPECT_EQ(site.calls, 0);
    EXPECT_STREQ(STRINGIFY(__LINE__), std::to_string(__LINE__).c_str());
}

TEST(CallSites, CountsPerLocationPointer) {
    CallSiteTracker::finalize();
    EXPECT_TRUE(dumpedRows().empty());

    static const char a[] = "a.cpp:1";
    static const char b[] = "b.cpp:2";
    static const char sameTextAsB[] = "b.cpp:2";
    const CallSite& first = CallSiteTracker::registerSite(a);
    const CallSite& again = CallSiteTracker::registerSite(a);
    EXPECT_EQ(&first, &again);
    EXPECT_EQ(again.calls, 2);
    EXPECT_EQ(again.location, a);
    CallSiteTracker::registerSite(b);
    CallSiteTracker::registerSite(sameTextAsB);
    CallSiteTracker::registerSite(nullptr);
    EXPECT_EQ(CallSiteTracker::registerSite(nullptr).calls, 2);

    const std::vector<TableFormatter::RowVec> expected = {
        {"", "2"}, {"a.cpp:1", "2"}, {"b.cpp:2", "1"}, {"b.cpp:2", "1"}};
    EXPECT_EQ(dumpedRows(), expected);

    CallSiteTracker::finalize();
    EXPECT_TRUE(dumpedRows().empty());
    EXPECT_EQ(CallSiteTracker::registerSite(a).calls, 1) << "registration starts afresh";
    CallSiteTracker::finalize();
}
