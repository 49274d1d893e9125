// Prints what a program built on the library reports about the build it runs.
//
//   zurav-version            the version, then the positional arguments it was given
//   zurav-version --help     the version banner and the options
//   zurav-version --signature  the build signature
#include <boost/program_options.hpp>
#include <iostream>
#include <string>
#include <vector>

#include "common/OXVersion.h"

int main(int argc, char** argv) {
    boost::program_options::options_description desc("Options");
    boost::program_options::variables_map vm;
    Orbanex::parseCmdline(argc, argv, desc, vm, nullptr, nullptr, nullptr);

    std::cout << "zurav client library " << Orbanex::getVersionString() << " ("
              << Orbanex::Version::REVISION << ")" << std::endl;
    if (vm.count("args") != 0) {
        for (const std::string& arg : vm["args"].as<std::vector<std::string>>()) {
            std::cout << "argument: " << arg << std::endl;
        }
    }
    return 0;
}
