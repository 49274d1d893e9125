#include "common/CallSites.h"

#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <cstddef>
#include <memory>
#include <unordered_map>

#include "common/TableFormatter.h"

namespace Orbanex {

namespace {

// Hashes the text, but keys compare by pointer: equal texts at two addresses are two sites.
struct LocationHash {
    size_t operator()(const char* s) const {
        size_t h = 0;
        if (s == nullptr) return h;  // a null location is a site too, never read through
        for (; *s != '\0'; ++s) h = 5 * h + static_cast<unsigned char>(*s);
        return h;
    }
};

struct Tracker {
    Tracker() { map.reserve(100); }

    std::unordered_map<const char*, std::unique_ptr<CallSite>, LocationHash> map;
    boost::mutex mapMutex;
};

// Built on first use, so that sites may be registered from any unit's static initialisers.
Tracker& tracker() {
    static Tracker t;
    return t;
}

}  // namespace

void CallSiteTracker::initialize() {}

const CallSite& CallSiteTracker::registerSite(const char* location) {
    Tracker& t = tracker();
    boost::lock_guard<boost::mutex> lock(t.mapMutex);
    std::unique_ptr<CallSite>& site = t.map[location];
    if (!site) site.reset(new CallSite(location));
    ++site->calls;
    return *site;
}

void CallSiteTracker::dump(TableFormatter& fmtr) {
    Tracker& t = tracker();
    boost::lock_guard<boost::mutex> lock(t.mapMutex);
    fmtr.setHeader(0, "location");
    fmtr.setHeader(1, "count");
    size_t row = 0;
    for (const auto& entry : t.map) {
        const char* location = entry.second->location;
        fmtr.setCell(row, 0, location != nullptr ? std::string(location) : std::string());
        fmtr.setCell(row, 1, entry.second->calls);
        ++row;
    }
}

void CallSiteTracker::finalize() {
    Tracker& t = tracker();
    boost::lock_guard<boost::mutex> lock(t.mapMutex);
    t.map.clear();
}

}  // namespace Orbanex
