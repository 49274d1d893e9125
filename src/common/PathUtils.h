#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

// Path helpers over boost::filesystem.

namespace Orbanex {

// The path's native text; isdir has no effect.
std::string path_to_string(const boost::filesystem::path& p, bool isdir);

// p itself for n <= 0, otherwise the path n levels up.
boost::filesystem::path parent_path(const boost::filesystem::path& p, int n);

// p made absolute against the process's initial working directory and canonicalised
// (realpath: links, "." and ".." resolved). The path must exist: when it cannot be resolved the
// result is the empty path.
boost::filesystem::path resolve_file(const boost::filesystem::path& p);

// As resolve_file, for a directory.
boost::filesystem::path resolve_dir(const boost::filesystem::path& p);

}  // namespace Orbanex
