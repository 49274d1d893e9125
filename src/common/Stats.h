#pragma once

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>
#include <cstddef>
#include <iosfwd>
#include <limits>
#include <map>
#include <string>
#include <type_traits>

#include "common/Timer.h"

namespace Orbanex {

class TableFormatter;

// Where accumulators print their summary when destroyed; null (the default): nowhere.
class StatsAccBase {
  public:
    static void registerOutstats(std::ostream* os) { outstats = os; }

    static std::ostream* outstats;
};

// Accumulates samples: count, minimum, maximum, sum, sum of squares and optionally a histogram
// of fixed-width buckets over [min, max). Samples outside the histogram's range are counted in
// its first or last bucket. One thread at a time feeds an accumulator.
//
// No 64-bit sample overflows the statistics: the sum is kept in 128 bits, the sum of squares in
// a double, and the histogram's span and bucket width in the unsigned type of T.
template <typename T>
class StatsAcc : public StatsAccBase {
    static_assert(std::is_integral<T>::value, "samples are integer counts");
    typedef typename std::make_unsigned<T>::type Span;
    __extension__ typedef
        typename std::conditional<std::is_signed<T>::value, __int128, unsigned __int128>::type Sum;

  public:
    static const int HISTO_MAXBUCKETS = 128;
    static const int NO_HISTOGRAM = -1;

    StatsAcc(const char* name, const char* units, bool printOnDestruction)
        : _printOnDestruction(printOnDestruction), _name(name), _units(units) {}

    // With a histogram of nbuckets (at most HISTO_MAXBUCKETS) over [min, max).
    StatsAcc(const char* name, const char* units, T min, T max, int nbuckets,
             bool printOnDestruction)
        : StatsAcc(name, units, printOnDestruction) {
        enableHistogram(min, max, nbuckets);
    }

    // Prints the summary to outstats when asked to and there is a sample.
    ~StatsAcc();

    StatsAcc(const StatsAcc&) = delete;
    StatsAcc& operator=(const StatsAcc&) = delete;

    // A range whose buckets would be empty (max - min < nbuckets) or no bucket leaves the
    // histogram off.
    void enableHistogram(T min, T max, int nbuckets);

    // The next n samples are not counted.
    void setSkip(int n) { _nskip = n; }
    // Printed min, mean, max and deviation are divided by scale (0: not scaled).
    void scaleToUS(double scale) { _scale = scale; }

    void add(T sample);

    long nbSamples() const { return _n; }
    T min() const { return _min; }
    T max() const { return _max; }
    // The mean in integer arithmetic (truncated); 0 without samples.
    double avg() const { return _n == 0 ? 0.0 : static_cast<double>(_sum / _n); }
    // Standard deviation around avg(); 0 without samples.
    double sd() const;

    const std::string& name() const { return _name; }
    int histogramCount(int bucket) const { return _histogram[bucket]; }

    // The summary line, and the histogram in XML when there is one, then a line end.
    void dump(std::ostream& os) const;

  private:
    bool _printOnDestruction;
    double _scale = 0;
    std::string _name;
    std::string _units;
    int _nskip = 0;
    long _n = 0;
    T _min = std::numeric_limits<T>::max();
    T _max = std::numeric_limits<T>::lowest();
    Sum _sum = 0;
    double _sum2 = 0;
    bool _doHistogram = false;
    int _histnbuckets = 0;
    T _histmin = 0;
    T _histmax = 0;
    Span _histbucket = 0;
    double _oneover = 0;
    int _histogram[HISTO_MAXBUCKETS] = {};
};

typedef StatsAcc<long> TimerStatsAcc;

extern template class StatsAcc<long>;

// The process-wide registry of named nanosecond accumulators (timers), rendered as a table.
// Created by initialize() and destroyed by finalize(), both on the start-up thread (CommonInit)
// and not overlapping other calls. getTimer and dumpTimings lock the timer mutex, which orders
// with no other lock; the accumulators themselves are not locked.
class StatsMgr {
  public:
    typedef std::map<std::string, boost::shared_ptr<TimerStatsAcc>> TimerMap;

    static void initialize();
    static StatsMgr* instance() { return _instance; }
    static void finalize();

    void calibrate() {}

    // The timer of that name, created (no printing, no histogram) on first use; the reference
    // stays valid until finalize().
    TimerStatsAcc& getTimer(const char* name);

    // Columns name, n, min, avg, max, sd; times in microseconds with one decimal. A timer
    // without samples shows only its name.
    void dumpTimings(TableFormatter& fmtr);

    StatsMgr(const StatsMgr&) = delete;
    StatsMgr& operator=(const StatsMgr&) = delete;

  private:
    StatsMgr() = default;

    TimerMap _timers;
    boost::mutex _timersMutex;

    static StatsMgr* _instance;
};

// The predefined "ioPath" accumulator (nanoseconds, 100 buckets of 1000 ns) and its timer, for
// programs that measure the time from an input to the first output it causes. One thread.
class IOPathStats {
  public:
    static void onInputStart() {
        _ioPathTimer.reset();
        _ioPathTimer.start();
    }
    // The first output after onInputStart() records the time since then.
    static void onOutput() {
        if (_ioPathTimer.isActive()) _ioPathStats.add(_ioPathTimer.stop());
    }
    static void onInputEnd() { _ioPathTimer.stop(); }

    static TimerStatsAcc& stats() { return _ioPathStats; }

  private:
    static Timer _ioPathTimer;
    static TimerStatsAcc _ioPathStats;
};

}  // namespace Orbanex
