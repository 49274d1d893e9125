#include "catalogue/EnumSupport.h"

#include <cstring>
#include <ostream>
#include <stdexcept>

#include "common/FastOStream.h"
#include "common/Util.h"

namespace Orbanex {

void validateEnum(const std::string& /*fieldName*/, bool /*valid*/) {}

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
    return Util::writeText(os, name);
}

FastOStream& EnumSupport::writeName(FastOStream& os, const char* name) { return os << name; }

}  // namespace Orbanex
