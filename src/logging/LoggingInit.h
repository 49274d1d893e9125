#pragma once

namespace Orbanex {

// Starts and stops the logging layer: the log-entry pool's cap and the log manager. Counted: only
// the first initialize() and the finalize() that matches it do work; a finalize() without a
// matching initialize() does nothing.
//
// Threads: initialize() on the thread that will own the log queue's private buffer (the
// library's initialising thread). finalize() may run on any thread: it stops and joins the logger
// thread after everything handed to it, then deletes the manager. Neither may run concurrently
// with the other or with configuring.
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
