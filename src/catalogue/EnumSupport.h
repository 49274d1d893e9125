#pragma once

#include <iosfwd>
#include <string>

namespace Orbanex {

class FastOStream;

// The hook to which encoders and decoders report an enumeration byte that its enumeration does
// not define (valid false), with the field's declared name. It accepts everything: such a byte
// is written and read unchanged.
void validateEnum(const std::string& fieldName, bool valid);

// Calls validateEnum only for a failed check, so that a valid byte costs no string.
#define VALIDATE_ENUM(fieldName, valid) \
    ((valid) ? static_cast<void>(0) : ::Orbanex::validateEnum(fieldName, false))

// The shared steps of the generated enumeration classes; each class passes its own tables and
// its own constant texts, so the exception texts stand in the generated code.
class EnumSupport {
  public:
    // Throws std::invalid_argument with prefix followed by the byte iv itself as one character;
    // the text ends with the prefix when iv is 0.
    [[noreturn]] static void throwInvalidValue(const char* prefix, unsigned char iv);
    // Throws std::invalid_argument with "Invalid string '", s and ending.
    [[noreturn]] static void throwInvalidString(const char* s, const char* ending);
    // The lowest value whose name equals s exactly (case-sensitive), or -1.
    static int find(const char* const* names, unsigned int maxValue, const char* s);
    // Writes name as inserting its text would (width and fill apply); for a null name writes
    // nothing and sets badbit.
    static std::ostream& writeName(std::ostream& os, const char* name);
    // Appends name without its NUL; nothing for a null name.
    static FastOStream& writeName(FastOStream& os, const char* name);
};

}  // namespace Orbanex
