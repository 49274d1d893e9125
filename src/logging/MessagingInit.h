#pragma once

namespace Orbanex {

// Starts and stops messaging: the pool of catalogue messages and the catalogue itself. Counted:
// only the first initialize() and the finalize() that matches it do work; a finalize() without a
// matching initialize() does nothing. Runs before LoggingInit::initialize() and after
// LoggingInit::finalize(), since the logger thread makes catalogue messages until it stops.
//
// Threads: both on one thread, while no other thread uses messages.
class MessagingInit {
  public:
    // Raw message blocks put in the pool at start-up.
    static constexpr unsigned int PREALLOCATED_MESSAGES = 64;

    static void initialize();
    static void finalize();

  private:
    static unsigned int _initialized;
};

}  // namespace Orbanex
