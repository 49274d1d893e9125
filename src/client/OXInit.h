#pragma once

namespace ZURAV {

// Starts and stops the library: the common utilities, the thread registry (the calling thread
// registered as "ZURAV"), messaging with the internal protocol catalogue, logging, and the API
// model's enumeration tables. Call initialize() once before the first client is made, and
// finalize() after the last one is gone, on the same thread.
//
// Keeps no count of its own: the layers count their own calls where they do, so a repeated
// initialize() repeats every step and each layer decides what that means. Failures inside a
// layer pass on to the caller.
class OXInit {
  public:
    static void initialize();
    // The steps of initialize() in reverse order.
    static void finalize();
};

}  // namespace ZURAV
