#pragma once

namespace Orbanex {

// Starts and stops the logging layer: the log-entry pool's cap and the log manager. Counted: only
// the first initialize() and the finalize() that matches it do work; a finalize() without a
// matching initialize() does nothing.
//
// Threads: initialize() on the thread that will own the log queue's private buffer (the
// library's initialising thread). finalize() may run on any thread, also while others log: it
// writes every entry logged before it, the initialising thread's buffered ones included, stops
// and joins the logger thread, then deletes the manager; a log call that it overtakes is dropped
// and counted (LogManager::entriesDropped). Neither may run concurrently with the other or with
// configuring.
class LoggingInit {
  public:
    // Cached log entries kept by the pool; more are returned to the heap.
    static constexpr unsigned int MAX_CACHED_ENTRIES = 16384;

    static void initialize();
    static void finalize();

  private:
    static unsigned int _initialized;
};

}  // namespace Orbanex
