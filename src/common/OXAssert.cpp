#include "common/OXAssert.h"

#include <cstdio>
#include <cstdlib>

namespace Orbanex {

void assertFailed(const char* condition, const char* file, int line,
                  const char* function) noexcept {
    // stdio rather than iostreams: this may run during static initialisation or teardown.
    std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", file, line, function, condition);
    std::fflush(stderr);
    std::abort();
}

}  // namespace Orbanex
