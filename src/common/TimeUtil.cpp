#include "common/TimeUtil.h"

#include <syslog.h>

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <ostream>

#include "common/FastOStream.h"
#include "common/Util.h"

namespace Orbanex {

std::atomic<Timestamp_t> TimeUtil::overrideSystemTime{0};
std::atomic<Timestamp_t> TimeUtil::dateOffsetDbg_ns{0};

namespace {

// Longest formatString text: YYYY-MM-DD.HH:MM:SS,uuuuuu and the NUL.
constexpr size_t FORMAT_MAX = 27;
// Longest toFIX text: YYYYMMDD-HH:MM:SS.mmm.
constexpr size_t FIX_MAX = 21;

// Division rounding toward negative infinity, so that times before 1970 break down into a
// whole second (or day) and a non-negative remainder.
Timestamp_t floorDiv(Timestamp_t t, Timestamp_t unit) {
    const Timestamp_t q = t / unit;
    return (t % unit < 0) ? q - 1 : q;
}

Timestamp_t floorMod(Timestamp_t t, Timestamp_t unit) { return t - floorDiv(t, unit) * unit; }

// secs * 10^9 + nanos, or 0 when that leaves the Timestamp_t range.
Timestamp_t toNanos(int64_t secs, int64_t nanos) {
    constexpr int64_t MAX = std::numeric_limits<int64_t>::max();
    constexpr int64_t MIN = std::numeric_limits<int64_t>::min();
    if (secs > MAX / TimeUtil::ONE_SEC || secs < MIN / TimeUtil::ONE_SEC) return 0;
    const int64_t base = secs * TimeUtil::ONE_SEC;
    if ((nanos > 0 && base > MAX - nanos) || (nanos < 0 && base < MIN - nanos)) return 0;
    return base + nanos;
}

tm localTime(Timestamp_t t) {
    const time_t secs = static_cast<time_t>(floorDiv(t, TimeUtil::ONE_SEC));
    tm broken{};
    localtime_r(&secs, &broken);
    return broken;
}

char* putNumber(char* p, int value, int width) {
    return p + Util::itoa_fixed(value, p, width, 10, '0');
}

// formatString into a buffer of at least FORMAT_MAX bytes.
int format(Timestamp_t t, char* out, bool date, bool millis, char timesep, char dateTimeSep,
           char milliSep, bool time) {
    const tm broken = localTime(t);
    char* p = out;
    if (date) {
        p = putNumber(p, broken.tm_year + 1900, 4);
        *p++ = '-';
        p = putNumber(p, broken.tm_mon + 1, 2);
        *p++ = '-';
        p = putNumber(p, broken.tm_mday, 2);
    }
    if (time) {
        *p++ = dateTimeSep;
        p = putNumber(p, broken.tm_hour, 2);
        if (timesep != '\0') *p++ = timesep;
        p = putNumber(p, broken.tm_min, 2);
        if (timesep != '\0') *p++ = timesep;
        p = putNumber(p, broken.tm_sec, 2);
    }
    if (millis) {
        *p++ = milliSep;
        p = putNumber(p, static_cast<int>(floorMod(t, TimeUtil::ONE_SEC) / TimeUtil::ONE_USEC), 6);
    }
    *p++ = '\0';
    return static_cast<int>(p - out);
}

// Sets TZ for its lifetime and restores the previous value (or its absence) afterwards.
// tzset() follows every change: the C library reads TZ only then.
class ScopedZone {
  public:
    explicit ScopedZone(const char* zone) {
        const char* previous = std::getenv("TZ");
        _wasSet = previous != nullptr;
        if (_wasSet) _previous = previous;
        set(zone);
    }
    ~ScopedZone() {
        if (_wasSet) {
            setenv("TZ", _previous.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

    void set(const char* zone) {
        if (zone != nullptr) {
            setenv("TZ", zone, 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    bool _wasSet;
    std::string _previous;
};

}  // namespace

Timestamp_t TimeUtil::gettimeofday() {
    const Timestamp_t fake = overrideSystemTime.load(std::memory_order_relaxed);
    if (fake != 0) return fake;
    timeval tv;
    ::gettimeofday(&tv, nullptr);
    return convertFrom(tv) + dateOffsetDbg_ns.load(std::memory_order_relaxed);
}

void TimeUtil::nowDate(Timestamp_t& timestamp, Timestamp_t& date, bool firstDayOfWeek) {
    timestamp = now();
    Timestamp_t days = floorDiv(timestamp, ONE_DAY);
    // 1970-01-01 was a Thursday (weekday 4, counting from Sunday).
    if (firstDayOfWeek) days -= floorMod(days + 4, 7);
    date = days * ONE_DAY;
}

Timestamp_t TimeUtil::getTimeTillLogout(bool, int hh, int mm, int ss) {
    if (hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59) return -1;
    const time_t t = static_cast<time_t>(floorDiv(now(), ONE_SEC));
    tm wall{};
    {
        ScopedZone zone("America/New_York");
        localtime_r(&t, &wall);
    }
    Timestamp_t diff =
        ((ss - wall.tm_sec) + (mm - wall.tm_min) * 60 + (hh - wall.tm_hour) * 3600) * ONE_SEC;
    if (diff < 0) diff += ONE_DAY;
    return diff;
}

void TimeUtil::setTime(Timestamp_t& t, int hh, int mm, int ss, int ns) {
    const time_t secs = static_cast<time_t>(floorDiv(t, ONE_SEC));
    tm broken{};
    gmtime_r(&secs, &broken);
    broken.tm_hour = hh;
    broken.tm_min = mm;
    broken.tm_sec = ss;
    t = timegm(&broken) * ONE_SEC + ns;
}

void TimeUtil::setOverrideTime(Timestamp_t fakeTime) {
    overrideSystemTime.store(fakeTime, std::memory_order_relaxed);
    if (fakeTime != 0) {
        openlog(nullptr, LOG_PID, LOG_DAEMON);
        syslog(LOG_CRIT, "Overriding system time: value now %ld", static_cast<long>(fakeTime));
        closelog();
    }
}

Timestamp_t TimeUtil::getOverrideTime() {
    return overrideSystemTime.load(std::memory_order_relaxed);
}

void TimeUtil::nanosleep(Timestamp_t nanos) {
    timespec ts;
    ts.tv_sec = static_cast<time_t>(nanos / ONE_SEC);
    ts.tv_nsec = static_cast<long>(nanos % ONE_SEC);
    ::nanosleep(&ts, nullptr);
}

Timestamp_t TimeUtil::convertFrom(const timeval& tv) {
    return (static_cast<Timestamp_t>(tv.tv_sec) * 1000000 + tv.tv_usec) * ONE_USEC;
}

void TimeUtil::convertTo(Timestamp_t t, timeval& tv) {
    tv.tv_sec = static_cast<time_t>(t / ONE_SEC);
    tv.tv_usec = static_cast<suseconds_t>((t % ONE_SEC) / ONE_USEC);
}

void TimeUtil::convertTo(Timestamp_t t, boost::posix_time::time_duration& d) {
    d = boost::posix_time::milliseconds(t / ONE_MSEC);
}

Timestamp_t TimeUtil::parseFIX(const std::string& s) {
    if (s.size() < 17) return 0;
    const Timestamp_t date = parseYYYYMMDD(s.c_str());
    const Timestamp_t time = parseHH_MM_SSsss(s.c_str() + 9);
    if ((time > 0 && date > std::numeric_limits<Timestamp_t>::max() - time) ||
        (time < 0 && date < std::numeric_limits<Timestamp_t>::min() - time)) {
        return 0;
    }
    return date + time;
}

Timestamp_t TimeUtil::parseTimestampString(const char* p, bool dateOnly) {
    if (p == nullptr) return 0;
    const size_t len = std::strlen(p);
    if (len <= 9) return 0;
    tm broken{};
    broken.tm_year = Util::atoi(p, p + 3) - 1900;
    broken.tm_mon = Util::atoi(p + 5, p + 6) - 1;
    broken.tm_mday = Util::atoi(p + 8, p + 9);
    int64_t secs = timegm(&broken);
    if (len <= 18 || dateOnly) return toNanos(secs, 0);
    secs += Util::atoi(p + 11, p + 12) * 3600 + Util::atoi(p + 14, p + 15) * 60 +
            Util::atoi(p + 17, p + 18);
    if (len <= 20) return toNanos(secs, 0);
    // The fraction runs from character 20 to the end; nine digits are nanoseconds, a shorter
    // fraction is scaled up and a longer one cut.
    char digits[10] = {};
    std::memcpy(digits, p + 20, len - 20 < 9 ? len - 20 : 9);
    int64_t fraction = std::atoi(digits);
    for (size_t n = len; n < 29; ++n) fraction *= 10;
    return toNanos(secs, fraction);
}

Timestamp_t TimeUtil::parseYYYYMMDD(const char* p) {
    if (p == nullptr || strnlen(p, 8) < 8) return 0;
    const int year = Util::atoi(p, p + 3);
    const int month = Util::atoi(p + 4, p + 5);
    const int day = Util::atoi(p + 6, p + 7);
    if (year < 1900 || month < 1 || day < 0) return 0;
    tm broken{};
    broken.tm_year = year - 1900;
    broken.tm_mon = month - 1;
    broken.tm_mday = day;
    return toNanos(timegm(&broken), 0);
}

Timestamp_t TimeUtil::parseHH_MM_SSsss(const char* p) {
    if (p == nullptr || strnlen(p, 8) < 8) return 0;
    const double secs =
        Util::atoi(p, p + 1) * 3600.0 + Util::atoi(p + 3, p + 4) * 60.0 + std::atof(p + 6);
    const double nanos = secs * 1e9;
    // Also false for NaN; 2^63 is the first double beyond the range.
    if (!(nanos > -9223372036854775808.0 && nanos < 9223372036854775808.0)) return 0;
    return static_cast<Timestamp_t>(nanos);
}

void TimeUtil::toFIX(Timestamp_t t, FastOStream& fos, bool dateOnly) {
    const tm broken = localTime(t);
    char text[FIX_MAX];
    char* p = putNumber(text, broken.tm_year + 1900, 4);
    p = putNumber(p, broken.tm_mon + 1, 2);
    p = putNumber(p, broken.tm_mday, 2);
    if (!dateOnly) {
        *p++ = '-';
        p = putNumber(p, broken.tm_hour, 2);
        *p++ = ':';
        p = putNumber(p, broken.tm_min, 2);
        *p++ = ':';
        p = putNumber(p, broken.tm_sec, 2);
        *p++ = '.';
        p = putNumber(p, static_cast<int>(floorMod(t, ONE_SEC) / ONE_MSEC), 3);
    }
    fos.write(text, static_cast<size_t>(p - text));
}

void TimeUtil::toFIX(Timestamp_t t, std::ostream& os, bool dateOnly) {
    StaticOStream<32> text;
    toFIX(t, text, dateOnly);
    text << fends;
    os << text.buffer();
}

int TimeUtil::formatString(Timestamp_t t, char* buffer, size_t maxsz, bool date, bool millis,
                           char timesep, char dateTimeSep, char milliSep, bool time) {
    if (maxsz >= FORMAT_MAX) {
        return format(t, buffer, date, millis, timesep, dateTimeSep, milliSep, time);
    }
    if (maxsz == 0) return 0;
    char text[FORMAT_MAX];
    size_t n =
        static_cast<size_t>(format(t, text, date, millis, timesep, dateTimeSep, milliSep, time));
    if (n > maxsz) {
        n = maxsz;
        text[n - 1] = '\0';
    }
    std::memcpy(buffer, text, n);
    return static_cast<int>(n);
}

int TimeUtil::formatPQTimestamp(Timestamp_t t, char* buffer, size_t maxsz) {
    return formatString(t, buffer, maxsz, true, true, ':', ' ', '.', true);
}

int TimeUtil::formatPQDate(Timestamp_t t, char* buffer, size_t maxsz) {
    return formatString(t, buffer, maxsz, true, false, ':', ' ', '.', false);
}

void TimeUtil::dumpString(Timestamp_t t, FastOStream& fos) {
    if (fos.free() >= FORMAT_MAX) {
        fos.advance(static_cast<size_t>(formatPQTimestamp(t, fos.current(), fos.free()) - 1));
        return;
    }
    char text[FORMAT_MAX];
    const int n = formatPQTimestamp(t, text, sizeof text);
    fos.write(text, static_cast<size_t>(n - 1));
}

std::string TimeUtil::toString(Timestamp_t t) {
    char text[FORMAT_MAX];
    const int n = formatPQTimestamp(t, text, sizeof text);
    return std::string(text, static_cast<size_t>(n - 1));
}

Timestamp_t TimeUtil::tzDiff(const char* from, const char* to) {
    static const time_t instant = static_cast<time_t>(floorDiv(now(), ONE_SEC));
    tm inFrom{};
    tm inTo{};
    {
        ScopedZone zone(from);
        localtime_r(&instant, &inFrom);
        zone.set(to);
        localtime_r(&instant, &inTo);
    }
    return (static_cast<Timestamp_t>(timegm(&inTo)) - timegm(&inFrom)) * ONE_SEC;
}

}  // namespace Orbanex

std::ostream& operator<<(std::ostream& os, const timeval& tv) {
    char text[Orbanex::FORMAT_MAX];
    const int n = Orbanex::TimeUtil::formatString(Orbanex::TimeUtil::convertFrom(tv), text,
                                                  sizeof text, true, true, ':', '.', ',', true);
    return os.write(text, n - 1);
}
