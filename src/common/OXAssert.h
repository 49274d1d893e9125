#pragma once

// OX_ASSERT(cond): the project's one assertion. It is active in every build type, Release
// included, because it guards invariants whose breach would otherwise corrupt memory or data.
// On failure it prints the condition, source file, line and function on standard error and
// aborts. Use it for broken invariants only, never to check input from files or the network.

namespace Orbanex {

[[noreturn]] void assertFailed(const char* condition, const char* file, int line,
                               const char* function) noexcept;

}  // namespace Orbanex

#define OX_ASSERT(cond)                           \
    (__builtin_expect(static_cast<bool>(cond), 1) \
         ? static_cast<void>(0)                   \
         : ::Orbanex::assertFailed(#cond, __FILE__, __LINE__, __PRETTY_FUNCTION__))
