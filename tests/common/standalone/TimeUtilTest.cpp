// Formatting and time-zone arithmetic of TimeUtil. These tests set TZ, which is process-wide,
// so they run in an executable of their own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "common/FastOStream.h"
#include "common/TimeUtil.h"

using Orbanex::StaticOStream;
using Orbanex::Timestamp_t;
using Orbanex::TimeUtil;

namespace {

constexpr Timestamp_t SEC = TimeUtil::ONE_SEC;
// 2024-03-05 14:07:09.123456789 UTC: 09:07:09 in New York (EST, UTC-5).
constexpr Timestamp_t MARCH5 = 1709647629 * SEC + 123456789;
// 2024-07-01 12:00:00 UTC: 08:00:00 in New York (EDT, UTC-4).
constexpr Timestamp_t JULY1 = 1719835200 * SEC;

void setZone(const char* zone) {
    if (zone != nullptr) {
        setenv("TZ", zone, 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

std::string format(Timestamp_t t, bool date, bool millis, char timesep, char dateTimeSep,
                   char milliSep, bool time) {
    char buf[32];
    std::memset(buf, '#', sizeof buf);
    const int n = TimeUtil::formatString(t, buf, sizeof buf, date, millis, timesep, dateTimeSep,
                                         milliSep, time);
    EXPECT_GT(n, 0);
    EXPECT_EQ(buf[n - 1], '\0');
    EXPECT_EQ(std::strlen(buf) + 1, static_cast<size_t>(n));
    return buf;
}

std::string logPrefix(Timestamp_t t) { return format(t, true, true, ':', '.', ',', true); }

class TimeUtilZone : public ::testing::Test {
  protected:
    void SetUp() override { setZone("UTC"); }
    void TearDown() override { TimeUtil::setOverrideTime(0); }
};

}  // namespace

// One instant in every layout that the library and its log files use.
TEST_F(TimeUtilZone, LayoutsOfOneInstant) {
    const struct {
        const char* label;
        std::function<std::string()> produce;
        const char* expected;
    } cases[] = {
        {"text log line", [] { return logPrefix(MARCH5); }, "2024-03-05.14:07:09,123456"},
        {"system log, time only", [] { return format(MARCH5, false, true, ':', '.', ',', true); },
         ".14:07:09,123456"},
        {"binary log file name", [] { return format(MARCH5, true, false, '\0', '.', ',', true); },
         "2024-03-05.140709"},
        {"thread statistics", [] { return format(MARCH5, true, false, ':', '.', ',', true); },
         "2024-03-05.14:07:09"},
        {"date only", [] { return format(MARCH5, true, false, ':', '.', ',', false); },
         "2024-03-05"},
        {"formatPQTimestamp",
         [] {
             char buf[27];
             EXPECT_EQ(TimeUtil::formatPQTimestamp(MARCH5, buf, sizeof buf), 27);
             return std::string(buf);
         },
         "2024-03-05 14:07:09.123456"},
        {"formatPQDate",
         [] {
             char buf[27];
             EXPECT_EQ(TimeUtil::formatPQDate(MARCH5, buf, sizeof buf), 11);
             return std::string(buf);
         },
         "2024-03-05"},
        {"toString", [] { return TimeUtil::toString(MARCH5); }, "2024-03-05 14:07:09.123456"},
        {"dumpString",
         [] {
             StaticOStream<64> os;
             os << '[';
             TimeUtil::dumpString(MARCH5, os);
             os << ']' << Orbanex::fends;
             return std::string(os.buffer());
         },
         "[2024-03-05 14:07:09.123456]"},
        {"toFIX",
         [] {
             StaticOStream<64> os;
             TimeUtil::toFIX(MARCH5, os, false);
             os << '|';
             TimeUtil::toFIX(MARCH5, os, true);
             return std::string(os.buffer(), os.size());
         },
         "20240305-14:07:09.123|20240305"},
        {"toFIX to a standard stream",
         [] {
             std::ostringstream os;
             TimeUtil::toFIX(MARCH5, os, false);
             return os.str();
         },
         "20240305-14:07:09.123"},
        {"timeval",
         [] {
             timeval tv{};
             TimeUtil::convertTo(MARCH5, tv);
             std::ostringstream os;
             os << tv;
             return os.str();
         },
         "2024-03-05.14:07:09,123456"},
        {"before 1970", [] { return TimeUtil::toString(-1500); }, "1969-12-31 23:59:59.999998"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.produce(), c.expected);
    }
}

TEST_F(TimeUtilZone, FormattingFollowsTheLocalZone) {
    setZone("America/New_York");
    EXPECT_EQ(logPrefix(MARCH5), "2024-03-05.09:07:09,123456");
    EXPECT_EQ(logPrefix(JULY1), "2024-07-01.08:00:00,000000");
}

// Buffers of exactly the given size: AddressSanitizer catches a byte written past them.
TEST_F(TimeUtilZone, FormatStringHonoursItsSize) {
    for (size_t size : {27, 26, 11, 10, 1}) {
        SCOPED_TRACE(size);
        std::unique_ptr<char[]> buf(new char[size]);
        const int n = TimeUtil::formatPQTimestamp(MARCH5, buf.get(), size);
        EXPECT_EQ(n, static_cast<int>(size));
        EXPECT_EQ(std::string(buf.get()), std::string("2024-03-05 14:07:09.123456", size - 1));
    }
    char untouched = '#';
    EXPECT_EQ(TimeUtil::formatPQTimestamp(MARCH5, &untouched, 0), 0);
    EXPECT_EQ(untouched, '#');

    std::unique_ptr<char[]> small(new char[12]);
    Orbanex::FastOStream os(small.get(), small.get() + 12);
    TimeUtil::dumpString(MARCH5, os);
    TimeUtil::toFIX(MARCH5, os, false);
    EXPECT_EQ(std::string(small.get(), os.size()), "2024-03-05 1");
}

// The NUL after the text stays just past the cursor whenever text and NUL fit.
TEST_F(TimeUtilZone, DumpStringLeavesTheNulPastTheCursorWhenItFits) {
    const std::string text = "2024-03-05 14:07:09.123456";
    const struct {
        size_t room;
        std::string written;  // the buffer's bytes after the call
        size_t size;
    } cases[] = {
        {40, text + '\0' + std::string(13, '#'), 26},
        {27, text + '\0', 26},
        {26, text, 26},  // no room for the NUL: the cursor stops at the end
        {12, text.substr(0, 12), 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.room);
        std::unique_ptr<char[]> buf(new char[c.room]);
        std::memset(buf.get(), '#', c.room);
        Orbanex::FastOStream os(buf.get(), buf.get() + c.room);
        TimeUtil::dumpString(MARCH5, os);
        EXPECT_EQ(os.size(), c.size);
        EXPECT_EQ(std::string(buf.get(), c.room), c.written);
    }
}

TEST_F(TimeUtilZone, TimeTillLogoutCountsToTheNextNewYorkWallClockTime) {
    EXPECT_EQ(TimeUtil::getTimeTillLogout(true, 24, 0, 0), -1);
    EXPECT_EQ(TimeUtil::getTimeTillLogout(true, 0, 60, 0), -1);
    EXPECT_EQ(TimeUtil::getTimeTillLogout(true, 0, 0, 60), -1);
    EXPECT_EQ(TimeUtil::getTimeTillLogout(true, -1, 0, 0), -1);

    TimeUtil::setOverrideTime(MARCH5);  // 09:07:09 EST
    EXPECT_EQ(TimeUtil::getTimeTillLogout(true, 9, 7, 9), 0);
    EXPECT_EQ(TimeUtil::getTimeTillLogout(false, 9, 7, 8), TimeUtil::ONE_DAY - SEC);
    EXPECT_EQ(TimeUtil::getTimeTillLogout(true, 10, 0, 0), 3171 * SEC);
    EXPECT_EQ(TimeUtil::getTimeTillLogout(true, 0, 0, 0), (14 * 3600 + 52 * 60 + 51) * SEC);

    TimeUtil::setOverrideTime(JULY1);  // 08:00:00 EDT
    EXPECT_EQ(TimeUtil::getTimeTillLogout(true, 8, 0, 0), 0);
    EXPECT_EQ(TimeUtil::getTimeTillLogout(true, 17, 0, 0), 9 * 3600 * SEC);
}

// The temporary zone switch restores TZ and re-reads it, so later local-time conversions use
// the process's zone again.
TEST_F(TimeUtilZone, ZoneSwitchesRestoreTheProcessZone) {
    TimeUtil::setOverrideTime(MARCH5);
    TimeUtil::getTimeTillLogout(true, 17, 0, 0);
    ASSERT_NE(std::getenv("TZ"), nullptr);
    EXPECT_STREQ(std::getenv("TZ"), "UTC");
    EXPECT_EQ(logPrefix(MARCH5), "2024-03-05.14:07:09,123456");

    setZone("Asia/Tokyo");
    TimeUtil::tzDiff("UTC", "America/New_York");
    EXPECT_STREQ(std::getenv("TZ"), "Asia/Tokyo");
    EXPECT_EQ(logPrefix(MARCH5), "2024-03-05.23:07:09,123456");

    setZone(nullptr);
    TimeUtil::getTimeTillLogout(true, 17, 0, 0);
    EXPECT_EQ(std::getenv("TZ"), nullptr);
}

// tzDiff fixes its instant at the first call: moving the clock into summer time afterwards does
// not change the offset.
TEST_F(TimeUtilZone, TzDiffUsesTheInstantOfItsFirstCall) {
    TimeUtil::setOverrideTime(MARCH5);
    EXPECT_EQ(TimeUtil::tzDiff("UTC", "America/New_York"), -5 * TimeUtil::ONE_HOUR);
    EXPECT_EQ(TimeUtil::tzDiff("America/New_York", "UTC"), 5 * TimeUtil::ONE_HOUR);
    EXPECT_EQ(TimeUtil::tzDiff("UTC", "Asia/Tokyo"), 9 * TimeUtil::ONE_HOUR);

    TimeUtil::setOverrideTime(JULY1);
    EXPECT_EQ(TimeUtil::tzDiff("UTC", "America/New_York"), -5 * TimeUtil::ONE_HOUR);
}
