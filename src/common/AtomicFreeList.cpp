#include "common/AtomicFreeList.h"

#include <sstream>
#include <string>

namespace Orbanex {
namespace detail {

void reportLiveObjects(void (*callback)(const char*), const char* poolTypeName, size_t live,
                       size_t threshold) {
    std::ostringstream os;
    os << "Error in free-list " << poolTypeName << ": nb. of live objects exceeds thresdhold ("
       << live << " > " << threshold << ")";
    const std::string text = os.str();
    callback(text.c_str());
}

}  // namespace detail
}  // namespace Orbanex
