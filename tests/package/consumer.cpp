// Links the installed libzurav.so and checks that its code and headers are usable: the field
// codec, the version, and the lock-free pool, whose inline 16-byte compare-and-swap needs the
// package's compile flags.
#include <cstdio>
#include <string>

#include "common/AtomicFreeList.h"
#include "common/OXVersion.h"
#include "framework/FastCodec.h"

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

    std::printf("zurav %s: %s, pool %s\n", Orbanex::getVersionString().c_str(), text.c_str(),
                reused ? "reused" : "did not reuse");
    return (text == "ok" && reused && Orbanex::getVersionString() == "3.13.0") ? 0 : 1;
}
