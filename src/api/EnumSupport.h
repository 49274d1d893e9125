#pragma once

#include <iosfwd>

namespace ZURAV {

// The shared steps of the generated enumeration classes; each class passes its own tables and
// its own constant texts, so the exception texts are fixed in the generated code.
class EnumSupport {
  public:
    // Throws std::invalid_argument with prefix followed by the byte iv itself as one character;
    // the text ends with the prefix when iv is 0.
    [[noreturn]] static void throwInvalidValue(const char* prefix, unsigned char iv);
    // Throws std::invalid_argument with "Invalid string '", s and ending.
    [[noreturn]] static void throwInvalidString(const char* s, const char* ending);
    // The lowest value whose name equals s exactly (case-sensitive), or -1.
    static int find(const char* const* names, unsigned int maxValue, const char* s);
    // Writes name; for a null name writes nothing and sets badbit.
    static std::ostream& writeName(std::ostream& os, const char* name);
};

}  // namespace ZURAV
