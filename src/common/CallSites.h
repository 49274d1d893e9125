#pragma once

// A place in the source as one constant text: the file name, a colon and the line, e.g.
// "src/logging/Log.cpp:42". CALLSITE builds one where it stands.
#define XSTRINGIFY(x) #x
#define STRINGIFY(x) XSTRINGIFY(x)
#define CALLSITE ::Orbanex::CallSite(__FILE__ ":" STRINGIFY(__LINE__))
#define DECL_CALLSITE const ::Orbanex::CallSite&

namespace Orbanex {

class TableFormatter;

struct CallSite {
    explicit CallSite(const char* loc) : location(loc), calls(0) {}

    const char* location;  // not owned: a string literal
    int calls;
};

// Process-wide count of registrations per call site, keyed by the identity of the location
// pointer (two equal texts at different addresses are two sites), with a table dump.
//
// Threads: registerSite and dump lock the tracker's mutex, which is held for that operation only
// and orders with no other lock. The returned CallSite and its count are read without the lock.
// finalize() runs at shut-down and must not overlap the other operations.
class CallSiteTracker {
  public:
    static void initialize();
    // Counts one call of location and returns its record, valid until finalize(). A null
    // location is counted as a site of its own and dumped with an empty text.
    static const CallSite& registerSite(const char* location);
    // Columns "location" and "count", one row per site (in no particular order).
    static void dump(TableFormatter& fmtr);
    // Forgets every site; registration then starts afresh.
    static void finalize();
};

}  // namespace Orbanex
