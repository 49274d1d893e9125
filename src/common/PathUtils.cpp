#include "common/PathUtils.h"

#include <stdlib.h>

#include <boost/filesystem/operations.hpp>

namespace Orbanex {

namespace fs = boost::filesystem;

std::string path_to_string(const fs::path& p, bool /*isdir*/) { return p.native(); }

fs::path parent_path(const fs::path& p, int n) {
    fs::path result = p;
    for (int i = 0; i < n; ++i) result = result.parent_path();
    return result;
}

fs::path resolve_file(const fs::path& p) {
    const fs::path abs = fs::absolute(p, fs::initial_path());
    char resolved[4096];
    if (::realpath(abs.c_str(), resolved) == nullptr) return fs::path();
    return fs::path(resolved);
}

fs::path resolve_dir(const fs::path& p) { return resolve_file(p); }

}  // namespace Orbanex
