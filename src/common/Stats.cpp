#include "common/Stats.h"

#include <boost/thread/lock_guard.hpp>
#include <cmath>
#include <iterator>
#include <ostream>

#include "common/TableFormatter.h"

namespace Orbanex {

std::ostream* StatsAccBase::outstats = nullptr;

template <typename T>
StatsAcc<T>::~StatsAcc() {
    if (_printOnDestruction && _n > 0 && outstats != nullptr) dump(*outstats);
}

template <typename T>
void StatsAcc<T>::enableHistogram(T min, T max, int nbuckets) {
    if (nbuckets > HISTO_MAXBUCKETS) nbuckets = HISTO_MAXBUCKETS;
    // In the unsigned type the span of any range is exact; in T it overflows past half the range.
    const Span span = static_cast<Span>(static_cast<Span>(max) - static_cast<Span>(min));
    if (nbuckets <= 0 || max <= min || span / static_cast<Span>(nbuckets) == 0) {
        _doHistogram = false;
        return;
    }
    _histmin = min;
    _histmax = max;
    _histnbuckets = nbuckets;
    _histbucket = span / static_cast<Span>(nbuckets);
    _oneover = 1.0 / static_cast<double>(_histbucket);
    for (int& count : _histogram) count = 0;
    _doHistogram = true;
}

template <typename T>
void StatsAcc<T>::add(T sample) {
    if (_nskip > 0) {
        --_nskip;
        return;
    }
    ++_n;
    if (sample < _min) _min = sample;
    if (sample > _max) _max = sample;
    _sum += sample;
    _sum2 += static_cast<double>(sample) * static_cast<double>(sample);
    if (_doHistogram) {
        int bucket = 0;
        if (sample >= _histmax) {
            bucket = _histnbuckets - 1;
        } else if (sample > _histmin) {
            const Span offset =
                static_cast<Span>(static_cast<Span>(sample) - static_cast<Span>(_histmin));
            bucket = static_cast<int>(static_cast<double>(offset) * _oneover);
            if (bucket >= _histnbuckets) bucket = _histnbuckets - 1;
        }
        ++_histogram[bucket];
    }
}

template <typename T>
double StatsAcc<T>::sd() const {
    if (_n == 0) return 0.0;
    const double mean = avg();
    const double variance = _sum2 / static_cast<double>(_n) - mean * mean;
    // Rounding may take a zero variance a hair below zero.
    return variance > 0 ? std::sqrt(variance) : 0.0;
}

template <typename T>
void StatsAcc<T>::dump(std::ostream& os) const {
    double mn = static_cast<double>(_min);
    double mean = avg();
    double mx = static_cast<double>(_max);
    double dev = sd();
    if (_scale != 0) {
        mn /= _scale;
        mean /= _scale;
        mx /= _scale;
        dev /= _scale;
    }
    os << "StatsAcc  '" << _name << "'  "
       << "[ " << mn << " | " << mean << " | " << mx << " ||  +/-" << dev << "  #" << _n << " ]";
    if (_doHistogram) {
        os << std::endl;
        os << "<histogram name='" << _name << "' units='" << _units << "'>" << std::endl;
        os << "  <nsamples>" << _n << "</nsamples>" << std::endl;
        os << "  <min>" << mn << "</min>" << std::endl;
        os << "  <max>" << mx << "</max>" << std::endl;
        os << "  <mean>" << mean << "</mean>" << std::endl;
        os << "  <sd>" << dev << "</sd>" << std::endl;
        os << "  <samples>" << std::endl;
        // Midpoints are computed in the unsigned type, where they cannot overflow: each lies
        // within [min, max]. The first is min + width / 2 truncated toward zero.
        Span m0 = static_cast<Span>(static_cast<Span>(_histmin) + _histbucket / 2);
        if (_histbucket % 2 != 0 && static_cast<T>(m0) < 0) ++m0;
        for (int i = 0; i < _histnbuckets; ++i) {
            const Span midpoint = static_cast<Span>(m0 + static_cast<Span>(i) * _histbucket);
            os << "    <sample midpoint='" << static_cast<T>(midpoint) << "' count='"
               << _histogram[i] << "' />" << std::endl;
        }
        os << "  </samples>" << std::endl;
        os << "</histogram>";
    }
    os << std::endl;
}

template class StatsAcc<long>;

StatsMgr* StatsMgr::_instance = nullptr;

void StatsMgr::initialize() {
    if (_instance == nullptr) _instance = new StatsMgr;
}

void StatsMgr::finalize() {
    delete _instance;
    _instance = nullptr;
}

TimerStatsAcc& StatsMgr::getTimer(const char* name) {
    boost::lock_guard<boost::mutex> lock(_timersMutex);
    boost::shared_ptr<TimerStatsAcc>& timer = _timers[name];
    if (!timer) timer.reset(new TimerStatsAcc(name, "ns", false));
    return *timer;
}

void StatsMgr::dumpTimings(TableFormatter& fmtr) {
    fmtr.setPrecision(1);
    const char* const headers[] = {"name", "n", "min", "avg", "max", "sd"};
    for (size_t i = 0; i < std::size(headers); ++i) fmtr.setHeader(i, headers[i]);
    boost::lock_guard<boost::mutex> lock(_timersMutex);
    size_t row = 0;
    for (const auto& entry : _timers) {
        const TimerStatsAcc& t = *entry.second;
        fmtr.setCell(row, 0, entry.first);
        if (t.nbSamples() > 0) {
            fmtr.setCell(row, 1, static_cast<int>(t.nbSamples()));
            fmtr.setCell(row, 2, static_cast<double>(static_cast<float>(t.min()) / 1000));
            fmtr.setCell(row, 3, t.avg() / 1000);
            fmtr.setCell(row, 4, static_cast<double>(static_cast<float>(t.max()) / 1000));
            fmtr.setCell(row, 5, t.sd() / 1000);
        }
        ++row;
    }
}

Timer IOPathStats::_ioPathTimer;
TimerStatsAcc IOPathStats::_ioPathStats("ioPath", "ns", 0, 100000, 100, true);

}  // namespace Orbanex
