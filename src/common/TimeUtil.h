#pragma once

#include <sys/time.h>

#include <atomic>
#include <cstddef>
#include <ctime>
#include <iosfwd>
#include <string>

#include "common/CommonTypes.h"

namespace boost {
namespace posix_time {
class time_duration;
}  // namespace posix_time
}  // namespace boost

namespace Orbanex {

class FastOStream;

// Clock, conversions, formatting and parsing of Timestamp_t values.
//
// Formatting works in the process's local time zone, which the common layer's start-up sets to
// UTC; parsing yields UTC. getTimeTillLogout and tzDiff switch TZ for the duration of one call
// without a lock (the environment has none): a local-time conversion on another thread at that
// moment may see the temporary zone. Everything else keeps no state and runs on any thread.
//
// The clock has two switches for tests and debugging: a non-zero overrideSystemTime replaces
// every clock reading of the process, and dateOffsetDbg_ns is added to every reading of the
// real clock (never to the override).
class TimeUtil {
  public:
    static constexpr Timestamp_t ZERO = 0;
    static constexpr Timestamp_t ONE_DAY = 86400000000000;
    static constexpr Timestamp_t ONE_HOUR = 3600000000000;
    static constexpr Timestamp_t ONE_MIN = 60000000000;
    static constexpr Timestamp_t ONE_SEC = 1000000000;
    static constexpr Timestamp_t ONE_MSEC = 1000000;
    static constexpr Timestamp_t ONE_USEC = 1000;
    static constexpr Timestamp_t ONE_NSEC = 1;
    static constexpr Timestamp_t HALF_SEC = 500000000;
    static constexpr Timestamp_t FIFTY_MS = 50000000;

    // Written through setOverrideTime; 0 means the real clock.
    static std::atomic<Timestamp_t> overrideSystemTime;
    static std::atomic<Timestamp_t> dateOffsetDbg_ns;

    // Called for every log entry and every message sent or received.
    static Timestamp_t now() {
        const Timestamp_t fake = overrideSystemTime.load(std::memory_order_relaxed);
        if (fake != 0) return fake;
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        return ts.tv_sec * ONE_SEC + ts.tv_nsec + dateOffsetDbg_ns.load(std::memory_order_relaxed);
    }

    // The clock at microsecond resolution.
    static Timestamp_t gettimeofday();

    // One clock reading (as now()) into timestamp, and the start of its UTC day into date, or
    // with firstDayOfWeek the start of the preceding Sunday (the day itself on a Sunday).
    static void nowDate(Timestamp_t& timestamp, Timestamp_t& date, bool firstDayOfWeek);

    // Nanoseconds until the next hh:mm:ss on the New York wall clock, in [0, ONE_DAY); -1 unless
    // 0 <= hh <= 23, 0 <= mm <= 59 and 0 <= ss <= 59. today is not used.
    static Timestamp_t getTimeTillLogout(bool today, int hh, int mm, int ss);

    // Replaces the UTC time of day of t by hh:mm:ss and its sub-second part by ns.
    static void setTime(Timestamp_t& t, int hh, int mm, int ss, int ns);

    // A non-zero value is reported to the system log at LOG_CRIT.
    static void setOverrideTime(Timestamp_t fakeTime);
    static Timestamp_t getOverrideTime();

    // One nanosleep; an interruption ends it early.
    static void nanosleep(Timestamp_t nanos);

    static Timestamp_t convertFrom(const timeval& tv);
    static void convertTo(Timestamp_t t, timeval& tv);
    // Whole milliseconds; the sub-millisecond part is dropped.
    static void convertTo(Timestamp_t t, boost::posix_time::time_duration& d);

    // The parsers read fixed character positions; separators are not checked. Each returns 0
    // for text too short for its layout, and for a result outside the Timestamp_t range.
    // YYYYMMDD-HH:MM:SS[.fraction], at least 17 characters.
    static Timestamp_t parseFIX(const std::string& s);
    // YYYY-MM-DD[ HH:MM:SS[.fraction]], at least 10 characters; dateOnly ignores the time.
    // Fraction digits past the ninth are dropped.
    static Timestamp_t parseTimestampString(const char* p, bool dateOnly);
    // Midnight UTC of YYYYMMDD; 0 also for a year below 1900, a month below 1 or a negative
    // day. Months and days beyond their range roll over.
    static Timestamp_t parseYYYYMMDD(const char* p);
    // Duration of HH:MM:SS[.fraction] (the seconds read as a floating-point number).
    static Timestamp_t parseHH_MM_SSsss(const char* p);

    // YYYYMMDD-HH:MM:SS.mmm, or YYYYMMDD when dateOnly, in local time; no NUL.
    static void toFIX(Timestamp_t t, FastOStream& fos, bool dateOnly);
    static void toFIX(Timestamp_t t, std::ostream& os, bool dateOnly);

    // Local time in the layout [YYYY-MM-DD][<dateTimeSep>HH<timesep>MM<timesep>SS]
    // [<milliSep>uuuuuu] and a NUL; a NUL timesep is left out, and dateTimeSep is written
    // whenever time is. Returns the characters written including the NUL. The longest text
    // takes 27 bytes; with less than that in maxsz the text is cut to maxsz - 1 characters.
    static int formatString(Timestamp_t t, char* buffer, size_t maxsz, bool date, bool millis,
                            char timesep, char dateTimeSep, char milliSep, bool time);
    // YYYY-MM-DD HH:MM:SS.uuuuuu
    static int formatPQTimestamp(Timestamp_t t, char* buffer, size_t maxsz);
    // YYYY-MM-DD
    static int formatPQDate(Timestamp_t t, char* buffer, size_t maxsz);
    // The formatPQTimestamp text at the cursor, which moves past the text only. When the NUL
    // fits too, it stays in the buffer just past the cursor; a text that does not fit is cut at
    // the end of the buffer.
    static void dumpString(Timestamp_t t, FastOStream& fos);
    static std::string toString(Timestamp_t t);

    // Offset of zone to minus zone from, in nanoseconds, at an instant fixed by the first call
    // in the process.
    static Timestamp_t tzDiff(const char* from, const char* to);
};

}  // namespace Orbanex

// YYYY-MM-DD.HH:MM:SS,uuuuuu in local time. Declared beside timeval so that lookup finds it
// from any namespace.
std::ostream& operator<<(std::ostream& os, const timeval& tv);
