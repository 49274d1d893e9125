// zurav-logreader on a binary log written by the library: one line a record, or with --pretty one
// field a line, each under the first field of its record.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../LoggingTestUtil.h"
#include "logging/Log.h"
#include "logging/LoggingInit.h"
#include "logging/MessagingInit.h"

OX_LOG_DECLARE_LOGGER("API")

namespace {

// What the program printed for the file (standard output only).
std::string readerOutput(const std::string& options, const std::string& file) {
    const std::string command = std::string(ZURAV_LOGREADER) + " " + options + " '" + file + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::string();
    std::string out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    EXPECT_EQ(::pclose(pipe), 0) << command;
    return out;
}

TEST(LogReader, PrettyPrintsOneFieldALineUnderTheFirstFieldOfItsRecord) {
    logtest::TempDir dir;
    Orbanex::MessagingInit::initialize();
    Orbanex::LoggingInit::initialize();
    ASSERT_TRUE(Orbanex::LogManager::instance()->configure(
        dir.path(), "ZURAV", 1024, 0, false, true, 1024, false, false, false, 128, 1000000, ""));
    OX_LOG_INFO("reader check");
    Orbanex::LoggingInit::finalize();
    Orbanex::MessagingInit::finalize();
    const std::string file = dir.files(".dat").at(0);

    // Other entries (the logger's own) share the file: the check is on the record of ours.
    const std::string last = "description=\"reader check\")>";
    const std::vector<std::string> compact = logtest::lines(readerOutput("", file));
    const auto record = std::find_if(compact.begin(), compact.end(), [&](const std::string& l) {
        return l.find(last) != std::string::npos;
    });
    ASSERT_NE(record, compact.end()) << ::testing::PrintToString(compact);
    EXPECT_THAT(*record, ::testing::HasSubstr("<LogMessage (timestamp="));
    EXPECT_THAT(*record, ::testing::EndsWith(last));

    // Spread out, the parentheses get a space inside.
    const std::string prettyLast = "description=\"reader check\" )>";
    const std::vector<std::string> pretty = logtest::lines(readerOutput("--pretty", file));
    const auto end = std::find_if(pretty.begin(), pretty.end(), [&](const std::string& l) {
        return ::testing::Matches(::testing::EndsWith(prettyLast))(l);
    });
    ASSERT_NE(end, pretty.end()) << ::testing::PrintToString(pretty);
    const std::vector<std::string> fields = {
        "thread=", "level=", "logger=", "filename=", "lineno=", "function="};
    ASSERT_GT(end - pretty.begin(), static_cast<std::ptrdiff_t>(fields.size()));
    const auto first = end - static_cast<std::ptrdiff_t>(fields.size()) - 1;
    EXPECT_THAT(*first, ::testing::HasSubstr("<LogMessage ( timestamp=")) << *first;
    const size_t column = first->find("timestamp=");
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string& line = *(first + 1 + static_cast<std::ptrdiff_t>(i));
        EXPECT_EQ(line.find_first_not_of(' '), column) << line;
        EXPECT_EQ(line.compare(column, fields[i].size(), fields[i]), 0) << line;
    }
    EXPECT_EQ(end->find_first_not_of(' '), column) << *end;
}

}  // namespace
