#include "common/FastOStream.h"

#include <cerrno>
#include <ostream>

namespace Orbanex {

namespace {

// strerror_r comes in two forms: the GNU one returns the message (which may or may not be in
// the work area), the POSIX one fills the work area and returns a status.
[[maybe_unused]] const char* errorText(const char* message, const char*) { return message; }
[[maybe_unused]] const char* errorText(int status, const char* work) {
    return status == 0 ? work : "Unknown error";
}

// The system's text for errno, using work (of size bytes) when strerror_r needs it; null when
// errno is 0.
const char* errnoText(char* work, size_t size) {
    const int error = errno;
    return error == 0 ? nullptr : errorText(strerror_r(error, work, size), work);
}

}  // namespace

FastOStream& ferror(FastOStream& os) {
    // A work area of our own rather than the cursor: strerror_r may fill it to the brim.
    char work[256];
    const char* text = errnoText(work, sizeof work);
    return text == nullptr ? os : os << text;
}

std::ostream& ferror(std::ostream& os) {
    char work[2048];
    const char* text = errnoText(work, sizeof work);
    return text == nullptr ? os : os.write(text, static_cast<std::streamsize>(std::strlen(text)));
}

}  // namespace Orbanex

namespace std {
std::ostream& error(std::ostream& os) { return Orbanex::ferror(os); }
}  // namespace std
