#pragma once

#include <time.h>

#include "common/CommonTypes.h"

namespace Orbanex {

// An interval timer on the monotonic clock: start() opens an interval, stop() closes it and adds
// its length to the accumulated total. Not shared between threads.
class Timer {
  public:
    static const clockid_t RELCLOCK = CLOCK_MONOTONIC;

    bool isActive() const { return _ts1.tv_sec != 0 || _ts1.tv_nsec != 0; }

    void reset() {
        _ts1 = timespec{0, 0};
        _cum = 0;
    }

    void start() { clock_gettime(RELCLOCK, &_ts1); }

    // Closes the running interval (if any) and returns its length in nanoseconds.
    Timestamp_t stop() {
        if (!isActive()) return 0;
        const Timestamp_t interval = now() - toNanos(_ts1);
        _cum += interval;
        _ts1 = timespec{0, 0};
        return interval;
    }

    // Nanoseconds accumulated by the closed intervals.
    Timestamp_t get() const { return _cum; }

    // The clock's resolution in nanoseconds.
    static Timestamp_t getres() {
        timespec ts;
        clock_getres(RELCLOCK, &ts);
        return toNanos(ts);
    }

    // The monotonic clock in nanoseconds.
    static Timestamp_t now() {
        timespec ts;
        clock_gettime(RELCLOCK, &ts);
        return toNanos(ts);
    }

  private:
    static Timestamp_t toNanos(const timespec& ts) {
        return static_cast<Timestamp_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }

    timespec _ts1 = {0, 0};
    Timestamp_t _cum = 0;
};

}  // namespace Orbanex
