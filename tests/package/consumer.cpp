// Links the installed libzurav.so and checks that its code and headers are usable.
#include <cstdio>
#include <string>

#include "common/OXVersion.h"
#include "framework/FastCodec.h"

int main() {
    char buf[16];
    Tarvik::FastCodec out(buf, buf + sizeof buf);
    out.write_string("ok");
    Tarvik::FastCodec in(buf, buf + out.size());
    const std::string text = in.read_string();
    std::printf("zurav %s: %s\n", Orbanex::getVersionString().c_str(), text.c_str());
    return (text == "ok" && Orbanex::getVersionString() == "3.13.0") ? 0 : 1;
}
