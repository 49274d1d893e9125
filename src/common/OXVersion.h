#pragma once

#include <boost/program_options/options_description.hpp>
#include <boost/program_options/variables_map.hpp>
#include <iosfwd>
#include <string>

// Identity of this build and the command-line front end of programs built on the library.
//
// The constants are defined in OXVersion.cpp from values the build system supplies at configure
// time (revision, dates, host, user, compiler, flags, platform, label and build keys); the
// version-message builders read them to describe the library to the server and in log files.

namespace Orbanex {
namespace Version {

extern const int VERSION_MAJOR;
extern const int VERSION_MINOR;
extern const int VERSION_MICRO;
extern const char* const BUILD;
extern const char* const ARCH;
extern const char* const REVISION;
extern const char* const COMMITDATE;
extern const char* const BRANCH;
extern const char* const DATE;
extern const char* const HOST;
extern const char* const USER;
extern const char* const COMPILER;
extern const char* const DEFINES;
extern const char* const CPPFLAGS;
extern const char* const DISTRIBUTION;
extern const char* const VERBOSE_PLATFORM;
extern const char* const LABEL;
extern const char* const BUILD_KEY;
extern const char* const BUILD_SHORTKEY;
extern const char* const BUILD_NUMBER;
extern const char* const MESSAGING_VERSION;
extern const char* const DISTRIBUTION_VERSION;

}  // namespace Version

// "MAJOR.MINOR.MICRO", e.g. "3.13.0".
std::string getVersionString();

// Writes the build signature, one item per line. A null progname writes nothing for that value
// and sets the stream's bad state, as streaming a null char* does. The protocol lines are written
// only when protoSig is not null, each of the API and storage lines only when its own signature is
// not null.
void dumpSignature(const char* progname, const char* protoSig, const char* protoSigAPI,
                   const char* protoSigStorage, std::ostream& oss, bool asHtml);

// Parses a program's command line into vm. Adds "help,h" to desc and accepts a hidden
// "signature" option and any number of positional "args". Does not return when the line is
// invalid (exit status 1), or when help (exit 0) or the signature (exit 0) was asked for.
void parseCmdline(int argc, char** argv, boost::program_options::options_description& desc,
                  boost::program_options::variables_map& vm, const char* protoSig,
                  const char* protoSigAPI, const char* protoSigStorage);

}  // namespace Orbanex
