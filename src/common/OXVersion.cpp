#include "common/OXVersion.h"

#include <boost/program_options/parsers.hpp>
#include <boost/program_options/positional_options.hpp>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "common/OXVersionBuild.h"
#include "common/Util.h"

namespace po = boost::program_options;

namespace Orbanex {
namespace Version {

const int VERSION_MAJOR = 3;
const int VERSION_MINOR = 13;
const int VERSION_MICRO = 0;
const char* const BUILD = "release";
const char* const ARCH = "intel64";
const char* const REVISION = OX_VERSION_REVISION;
const char* const COMMITDATE = OX_VERSION_COMMITDATE;
const char* const BRANCH = "master";
const char* const DATE = OX_VERSION_DATE;
const char* const HOST = OX_VERSION_HOST;
const char* const USER = OX_VERSION_USER;
const char* const COMPILER = OX_VERSION_COMPILER;
const char* const DEFINES = "OX_DEFINES";
const char* const CPPFLAGS = OX_VERSION_CPPFLAGS;
const char* const DISTRIBUTION = "redhat7";
const char* const VERBOSE_PLATFORM = OX_VERSION_PLATFORM;
const char* const LABEL = OX_VERSION_LABEL;
const char* const BUILD_KEY = OX_VERSION_BUILD_KEY;
const char* const BUILD_SHORTKEY = OX_VERSION_BUILD_SHORTKEY;
const char* const BUILD_NUMBER = OX_VERSION_BUILD_NUMBER;
const char* const MESSAGING_VERSION = "3.13.0";
const char* const DISTRIBUTION_VERSION = "7";

}  // namespace Version

namespace {

// Links of the HTML signature. They point into the project's own documentation tree, which
// describes where builds, their debug information and deployments are kept.
const char* const BUILD_PAGE_URL = "docs/builds.md";
const char* const DEBUG_INFO_URL = "docs/builds.md#debug-info";
const char* const DEPLOYMENTS_URL = "docs/builds.md#deployments";

}  // namespace

std::string getVersionString() {
    return std::to_string(Version::VERSION_MAJOR) + '.' + std::to_string(Version::VERSION_MINOR) +
           '.' + std::to_string(Version::VERSION_MICRO);
}

void dumpSignature(const char* progname, const char* protoSig, const char* protoSigAPI,
                   const char* protoSigStorage, std::ostream& oss, bool asHtml) {
    using namespace Version;
    Util::writeText(oss << "Program: ", progname) << std::endl;
    if (asHtml) {
        oss << "<a href=\"" << BUILD_PAGE_URL << '#';
        Util::writeText(oss, LABEL) << "\">Label: ";
        Util::writeText(oss, LABEL) << "</a>" << std::endl;
        oss << "<a href=\"" << DEBUG_INFO_URL << '-';
        Util::writeText(oss, BUILD_KEY) << '-';
        Util::writeText(oss, BUILD_NUMBER) << '-';
        Util::writeText(oss, MESSAGING_VERSION) << '-';
        Util::writeText(oss, DISTRIBUTION_VERSION)
            << "\">Debug Info</a> (only available directly from the build; it expires)"
            << std::endl;
        oss << "<a href=\"" << DEPLOYMENTS_URL
            << "\">Deployments</a> (all artifacts are available from the release page)"
            << std::endl;
    } else {
        Util::writeText(oss << "Label: ", LABEL) << std::endl;
    }
    oss << "Version: " << getVersionString() << std::endl;
    oss << "Msg Version: " << getVersionString() << std::endl;
    Util::writeText(oss << "Build Key: ", BUILD_KEY) << std::endl;
    Util::writeText(oss << "Build: ", BUILD) << std::endl;
    Util::writeText(oss << "Arch: ", ARCH) << std::endl;
    Util::writeText(oss << "Host: ", HOST) << std::endl;
    Util::writeText(oss << "User: ", USER) << std::endl;
    Util::writeText(oss << "Compiler: ", COMPILER) << std::endl;
    Util::writeText(oss << "CPPFLAGS: ", CPPFLAGS) << std::endl;
    Util::writeText(oss << "Build Platform: ", VERBOSE_PLATFORM) << std::endl;
    if (protoSig != nullptr) {
        oss << "Protocol: " << protoSig << std::endl;
        if (protoSigAPI != nullptr) oss << "ProtocolAPI: " << protoSigAPI << std::endl;
        if (protoSigStorage != nullptr) oss << "ProtocolStorage: " << protoSigStorage << std::endl;
    }
}

void parseCmdline(int argc, char** argv, po::options_description& desc, po::variables_map& vm,
                  const char* protoSig, const char* protoSigAPI, const char* protoSigStorage) {
    po::positional_options_description positional;
    positional.add("args", -1);
    desc.add_options()("help,h", "Print the version and usage help.");

    // "signature" is accepted but not listed: it goes into a copy of the caller's description.
    po::options_description all(desc);
    all.add_options()("signature", "Print the build signature.")(
        "args", po::value<std::vector<std::string>>(), "Positional arguments.");

    try {
        po::store(po::command_line_parser(argc, argv).options(all).positional(positional).run(),
                  vm);
        po::notify(vm);
    } catch (const std::exception& e) {
        std::cerr << "Error: " << e.what() << std::endl;
        std::exit(1);
    }

    if (vm.count("help") != 0) {
        std::cout << "Sondrel version: " << getVersionString() << std::endl
                  << "Client library for the electronic foreign-exchange trading service."
                  << std::endl
                  << std::endl
                  << desc << std::endl;
        std::exit(0);
    }
    if (vm.count("signature") != 0) {
        const char* progname = (argc > 0 && argv[0] != nullptr) ? argv[0] : "";
        const char* slash = std::strrchr(progname, '/');
        dumpSignature(slash != nullptr ? slash + 1 : progname, protoSig, protoSigAPI,
                      protoSigStorage, std::cout, false);
        std::exit(0);
    }
}

}  // namespace Orbanex
