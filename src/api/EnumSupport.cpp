#include "api/EnumSupport.h"

#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>

#include "common/Util.h"

namespace ZURAV {

void EnumSupport::throwInvalidValue(const char* prefix, unsigned char iv) {
    std::string text(prefix);
    if (iv != 0) text += static_cast<char>(iv);
    throw std::invalid_argument(text);
}

void EnumSupport::throwInvalidString(const char* s, const char* ending) {
    throw std::invalid_argument(std::string("Invalid string '") + s + ending);
}

int EnumSupport::find(const char* const* names, unsigned int maxValue, const char* s) {
    for (unsigned int v = 0; v < maxValue; ++v) {
        if (names[v] != nullptr && std::strcmp(names[v], s) == 0) return static_cast<int>(v);
    }
    return -1;
}

std::ostream& EnumSupport::writeName(std::ostream& os, const char* name) {
    return Orbanex::Util::writeText(os, name);
}

}  // namespace ZURAV
