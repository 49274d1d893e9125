#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

#include "common/TimeUtil.h"

using Orbanex::Timestamp_t;
using Orbanex::TimeUtil;

namespace {

constexpr Timestamp_t SEC = TimeUtil::ONE_SEC;

// 2016-01-02 00:00:00 UTC and 2016-01-02 03:04:05 UTC.
constexpr Timestamp_t JAN2 = 1451692800 * SEC;
constexpr Timestamp_t JAN2_030405 = 1451703845 * SEC;

// Clock tests move the process clock; each leaves it as it found it.
class TimeUtilClock : public ::testing::Test {
  protected:
    void TearDown() override {
        TimeUtil::setOverrideTime(0);
        TimeUtil::dateOffsetDbg_ns = 0;
    }

    static Timestamp_t realNow() {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        return ts.tv_sec * SEC + ts.tv_nsec;
    }
};

}  // namespace

TEST_F(TimeUtilClock, OverrideReplacesEveryReading) {
    TimeUtil::setOverrideTime(JAN2_030405 + 7);
    EXPECT_EQ(TimeUtil::getOverrideTime(), JAN2_030405 + 7);
    EXPECT_EQ(TimeUtil::now(), JAN2_030405 + 7);
    EXPECT_EQ(TimeUtil::gettimeofday(), JAN2_030405 + 7);

    TimeUtil::dateOffsetDbg_ns = TimeUtil::ONE_DAY;  // never applied to the override
    EXPECT_EQ(TimeUtil::now(), JAN2_030405 + 7);

    TimeUtil::setOverrideTime(0);
    TimeUtil::dateOffsetDbg_ns = 0;
    const Timestamp_t before = realNow();
    const Timestamp_t now = TimeUtil::now();
    const Timestamp_t micros = TimeUtil::gettimeofday();
    const Timestamp_t after = realNow();
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
    EXPECT_LE(before - before % TimeUtil::ONE_USEC, micros);
    EXPECT_LE(micros, after);
    EXPECT_EQ(micros % TimeUtil::ONE_USEC, 0);
}

TEST_F(TimeUtilClock, DebugOffsetShiftsTheRealClock) {
    TimeUtil::dateOffsetDbg_ns = TimeUtil::ONE_DAY;
    const Timestamp_t before = realNow();
    const Timestamp_t now = TimeUtil::now();
    const Timestamp_t micros = TimeUtil::gettimeofday();
    const Timestamp_t after = realNow();
    EXPECT_LE(before + TimeUtil::ONE_DAY, now);
    EXPECT_LE(now, after + TimeUtil::ONE_DAY);
    EXPECT_LE(before + TimeUtil::ONE_DAY - TimeUtil::ONE_USEC, micros);
    EXPECT_LE(micros, after + TimeUtil::ONE_DAY);
}

TEST_F(TimeUtilClock, NowDateGivesTheStartOfTheUtcDayOrWeek) {
    const struct {
        const char* label;
        Timestamp_t now;
        Timestamp_t day;
        Timestamp_t week;
    } cases[] = {
        // Wednesday 2024-03-06 13:45:10.5; the week starts on Sunday 2024-03-03.
        {"wednesday", 1709732710 * SEC + TimeUtil::HALF_SEC, 1709683200 * SEC, 1709424000 * SEC},
        {"sunday", 1710028800 * SEC + 1, 1710028800 * SEC, 1710028800 * SEC},
        // Friday 2100-01-01 05:00, far past the 32-bit second count.
        {"after 2038", 4102462800 * SEC, 4102444800 * SEC, 4102012800 * SEC},
        // Wednesday 1969-12-31 12:00.
        {"before 1970", -43200 * SEC, -86400 * SEC, -4 * 86400 * SEC},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TimeUtil::setOverrideTime(c.now);
        Timestamp_t timestamp = 0;
        Timestamp_t date = 0;
        TimeUtil::nowDate(timestamp, date, false);
        EXPECT_EQ(timestamp, c.now);
        EXPECT_EQ(date, c.day);
        TimeUtil::nowDate(timestamp, date, true);
        EXPECT_EQ(date, c.week);
    }
}

TEST(TimeUtil, SetTimeReplacesTheTimeOfDay) {
    Timestamp_t t = 1709732710 * SEC + 123456789;  // 2024-03-06 13:45:10.123456789
    TimeUtil::setTime(t, 1, 2, 3, 4);
    EXPECT_EQ(t, 1709686923 * SEC + 4);  // 2024-03-06 01:02:03.000000004
}

TEST(TimeUtil, Conversions) {
    timeval tv{};
    TimeUtil::convertTo(1999999999, tv);
    EXPECT_EQ(tv.tv_sec, 1);
    EXPECT_EQ(tv.tv_usec, 999999);
    EXPECT_EQ(TimeUtil::convertFrom(tv), 1999999000);

    boost::posix_time::time_duration d;
    TimeUtil::convertTo(1999999, d);
    EXPECT_EQ(d, boost::posix_time::milliseconds(1));
}

TEST(TimeUtil, ParseTimestampString) {
    const struct {
        const char* text;
        bool dateOnly;
        Timestamp_t expected;
    } cases[] = {
        {"2016-01-02", false, JAN2},
        {"2016-01-02 03:04:05", true, JAN2},
        {"2016-01-02 03:04:05", false, JAN2_030405},
        {"2016-01-02T03:04:05", false, JAN2_030405},  // separators are not checked
        {"2016-01-02 03:04:05.5", false, JAN2_030405 + 500000000},
        {"2016-01-02 03:04:05.000001", false, JAN2_030405 + 1000},
        {"2016-01-02 03:04:05.123456789", false, JAN2_030405 + 123456789},
        {"2016-01-02 03:04:05.1234567891234", false, JAN2_030405 + 123456789},
        {"1969-12-31 23:59:59", false, -SEC},
        {"2016-01-0", false, 0},
        {"", false, 0},
        {nullptr, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
        EXPECT_EQ(TimeUtil::parseTimestampString(c.text, c.dateOnly), c.expected);
    }
}

TEST(TimeUtil, ParseFixAndItsParts) {
    EXPECT_EQ(TimeUtil::parseFIX("20160102-03:04:05"), JAN2_030405);
    EXPECT_EQ(TimeUtil::parseFIX("20160102-03:04:05.250"), JAN2_030405 + 250000000);
    EXPECT_EQ(TimeUtil::parseFIX("20160102-03:04:0"), 0);  // 16 characters
    EXPECT_EQ(TimeUtil::parseFIX(""), 0);

    const struct {
        const char* text;
        Timestamp_t expected;
    } dates[] = {
        {"20160102", JAN2},
        {"20160100", 1451520000 * SEC},  // day 0 rolls back to 2015-12-31
        {"20161301", 1483228800 * SEC},  // month 13 rolls over to 2017-01-01
        {"18991231", 0},
        {"20160002", 0},
        {"2016010", 0},   // too short
        {"99991231", 0},  // beyond the Timestamp_t range (year 2262)
        {nullptr, 0},
    };
    for (const auto& c : dates) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
        EXPECT_EQ(TimeUtil::parseYYYYMMDD(c.text), c.expected);
    }

    const struct {
        const char* text;
        Timestamp_t expected;
    } times[] = {
        {"03:04:05", 11045 * SEC},
        {"03:04:05.5", 11045 * SEC + 500000000},
        {"03:04:5", 0},  // too short
        {"00:00:1e300", 0},
        {nullptr, 0},
    };
    for (const auto& c : times) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
        EXPECT_EQ(TimeUtil::parseHH_MM_SSsss(c.text), c.expected);
    }
}
