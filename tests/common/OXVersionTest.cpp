#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/OXVersion.h"

namespace po = boost::program_options;

namespace {

// Runs parseCmdline over argv as a test program would receive it.
void parse(std::vector<std::string> args, po::variables_map& vm) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    po::options_description desc("Options");
    desc.add_options()("level", po::value<int>(), "A level.");
    Orbanex::parseCmdline(static_cast<int>(args.size()), argv.data(), desc, vm, "SIG", "API",
                          "STORE");
}

void parseAndExit(std::vector<std::string> args) {
    po::variables_map vm;
    parse(std::move(args), vm);
    std::exit(42);  // reached only when parseCmdline returned
}

}  // namespace

TEST(OXVersion, VersionStringIsMajorMinorMicro) {
    EXPECT_EQ(Orbanex::getVersionString(), "3.13.0");
    EXPECT_EQ(Orbanex::Version::VERSION_MAJOR, 3);
    EXPECT_STREQ(Orbanex::Version::MESSAGING_VERSION, "3.13.0");
    EXPECT_STREQ(Orbanex::Version::DEFINES, "OX_DEFINES");
}

TEST(OXVersion, BuildConstantsAreOneWordEach) {
    for (const char* value : {Orbanex::Version::COMPILER, Orbanex::Version::CPPFLAGS,
                              Orbanex::Version::VERBOSE_PLATFORM, Orbanex::Version::USER}) {
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(std::string(value).find(' '), std::string::npos) << value;
    }
    EXPECT_NE(std::string(Orbanex::Version::COMPILER), "");
}

TEST(OXVersion, PlainSignatureListsEveryLineInOrder) {
    std::ostringstream os;
    Orbanex::dumpSignature("prog", "P", "PA", "PS", os, false);
    std::vector<std::string> keys;
    std::istringstream in(os.str());
    for (std::string line; std::getline(in, line);) keys.push_back(line.substr(0, line.find(':')));
    const std::vector<std::string> expected = {
        "Program",  "Label",          "Version",  "Msg Version", "Build Key",
        "Build",    "Arch",           "Host",     "User",        "Compiler",
        "CPPFLAGS", "Build Platform", "Protocol", "ProtocolAPI", "ProtocolStorage"};
    EXPECT_EQ(keys, expected);
    EXPECT_NE(os.str().find("Program: prog\n"), std::string::npos);
    EXPECT_NE(os.str().find("Version: 3.13.0\nMsg Version: 3.13.0\n"), std::string::npos);
    EXPECT_NE(os.str().find("Protocol: P\nProtocolAPI: PA\nProtocolStorage: PS\n"),
              std::string::npos);
    EXPECT_TRUE(os.good());
}

TEST(OXVersion, SignatureWithOnlyTheProtocolSignature) {
    std::ostringstream os;
    Orbanex::dumpSignature("prog", "P", nullptr, nullptr, os, false);
    EXPECT_NE(os.str().find("Protocol: P\n"), std::string::npos);
    EXPECT_EQ(os.str().find("ProtocolAPI"), std::string::npos);
    EXPECT_EQ(os.str().find("ProtocolStorage"), std::string::npos);
}

TEST(OXVersion, SignatureWithoutProtocolOrWithNullProgram) {
    std::ostringstream plain;
    Orbanex::dumpSignature("prog", nullptr, "PA", "PS", plain, false);
    EXPECT_EQ(plain.str().find("Protocol"), std::string::npos);

    std::ostringstream nullProgram;
    Orbanex::dumpSignature(nullptr, nullptr, nullptr, nullptr, nullProgram, false);
    EXPECT_EQ(nullProgram.str(), "Program: ");
    EXPECT_TRUE(nullProgram.bad());
}

TEST(OXVersion, HtmlSignatureLinksLabelDebugInfoAndDeployments) {
    std::ostringstream os;
    Orbanex::dumpSignature("prog", nullptr, nullptr, nullptr, os, true);
    const std::string text = os.str();
    EXPECT_NE(text.find(std::string(">Label: ") + Orbanex::Version::LABEL + "</a>\n"),
              std::string::npos);
    EXPECT_NE(text.find(">Debug Info</a>"), std::string::npos);
    EXPECT_NE(text.find(">Deployments</a>"), std::string::npos);
    EXPECT_EQ(text.find("\nLabel: "), std::string::npos);
    EXPECT_NE(text.find("\nVersion: 3.13.0\n"), std::string::npos);
}

TEST(OXVersion, PositionalArgumentsLandUnderArgs) {
    po::variables_map vm;
    parse({"/usr/bin/prog", "one", "--level", "3", "two"}, vm);
    ASSERT_EQ(vm.count("args"), 1u);
    EXPECT_EQ(vm["args"].as<std::vector<std::string>>(), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(vm["level"].as<int>(), 3);
}

TEST(OXVersionDeathTest, HelpPrintsBannerAndExitsZero) {
    for (const char* option : {"--help", "-h"}) {
        SCOPED_TRACE(option);
        EXPECT_EXIT(parseAndExit({"prog", option}), testing::ExitedWithCode(0), "");
    }
}

TEST(OXVersionDeathTest, HelpBannerTextGoesToStandardOutput) {
    // The child writes to stdout; redirect it to stderr so the death-test matcher can see it.
    EXPECT_EXIT(
        {
            dup2(2, 1);
            parseAndExit({"prog", "--help", "--signature"});
        },
        testing::ExitedWithCode(0), "Sondrel version: 3\\.13\\.0\n.*\n\nOptions:\n.*--level");
}

TEST(OXVersionDeathTest, SignaturePrintsProgramBaseNameAndExitsZero) {
    EXPECT_EXIT(
        {
            dup2(2, 1);
            parseAndExit({"/opt/bin/prog", "--signature"});
        },
        testing::ExitedWithCode(0), "Program: prog\nLabel: .*Protocol: SIG\n");
}

TEST(OXVersionDeathTest, UnknownOptionPrintsErrorAndExitsOne) {
    EXPECT_EXIT(parseAndExit({"prog", "--bogus"}), testing::ExitedWithCode(1), "^Error: .*bogus");
}
