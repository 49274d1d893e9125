#pragma once

namespace Orbanex {

// Starts and stops the common layer: fixes the process's time zone to UTC ("Universal") for
// every local-time conversion, and starts and stops the thread registry, the call-site tracker
// and the statistics manager. Calls are counted: only the first initialize() and the finalize()
// that matches it do work, so nested users may each call both.
//
// Threads: start-up and shut-down belong to one thread and are not locked. Setting TZ races with
// local-time conversions running on other threads at that moment, so call initialize() before
// the library's threads start.
class CommonInit {
  public:
    static void initialize();
    // A finalize() without a matching initialize() does nothing.
    static void finalize();

  private:
    static int _initialized;
};

}  // namespace Orbanex
