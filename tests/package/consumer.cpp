// Links the installed libzurav.so and checks that its code and headers are usable: the field
// codec, the version, and the lock-free pool, whose inline 16-byte compare-and-swap needs the
// package's compile flags. Prints the C++ standard it was compiled for.
#include <cstdio>
#include <string>

#include "common/AtomicFreeList.h"
#include "common/OXVersion.h"
#include "framework/FastCodec.h"

// Built for C++20 (with the package's flags after the consumer's own), it must still be C++20.
#ifdef ZURAV_CONSUMER_EXPECTS_CXX20
static_assert(__cplusplus >= 202002L, "the package's flags lowered the consumer's C++ standard");
#endif

int main() {
    char buf[16];
    Tarvik::FastCodec out(buf, buf + sizeof buf);
    out.write_string("ok");
    Tarvik::FastCodec in(buf, buf + out.size());
    const std::string text = in.read_string();

    Orbanex::AtomicFreeList<long> pool(0, 0);
    long* first = pool.allocate();
    pool.deallocate(first);
    const bool reused = pool.allocate() == first;
    pool.deallocate(first);

    std::printf("zurav %s: %s, pool %s, C++ %ld\n", Orbanex::getVersionString().c_str(),
                text.c_str(), reused ? "reused" : "did not reuse", static_cast<long>(__cplusplus));
    return (text == "ok" && reused && Orbanex::getVersionString() == "3.13.0") ? 0 : 1;
}
