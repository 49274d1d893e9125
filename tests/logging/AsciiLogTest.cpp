#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoggingTestUtil.h"
#include "logging/AsciiLog.h"

using logtest::readFile;
using Orbanex::AsciiLog;

namespace {

class AsciiLogTest : public ::testing::Test {
  protected:
    logtest::FixedClock clock;
    logtest::TempDir dir;
};

TEST_F(AsciiLogTest, NamesTheFileFromTheClock) {
    AsciiLog log;
    ASSERT_TRUE(log.configure(dir.base(), 1, true, true));
    EXPECT_EQ(log.getCurrentFileName(), dir.path() + "/ZURAV.2024-03-05.140709.txt");
    log.write("line\n", 5);
    EXPECT_EQ(log.getCurrentFileSize(), 5u);
    EXPECT_EQ(readFile(log.getCurrentFileName()), "line\n");
}

TEST_F(AsciiLogTest, RollsBeforeAWriteThatReachesTheLimitAndKeepsEveryFile) {
    logtest::CountingHandler handler;
    AsciiLog log;
    log.registerHandler(handler);
    ASSERT_TRUE(log.configure(dir.base(), 1, true, true));
    const std::string a(600, 'a'), b(423, 'b'), c(1500, 'c'), d(10, 'd');
    log.write(a.data(), a.size());
    log.write(b.data(), b.size());  // 1023 bytes: no roll
    log.write(d.data(), d.size());  // would reach 1033: rolls first
    log.write(c.data(), c.size());  // longer than the limit: rolls, then goes whole
    clock.set(logtest::T0 + 1000000000);
    log.write(d.data(), d.size());  // rolls again, a second later
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ROLLED), 3);
    // Three rolls, two within the opening second: no file replaced another.
    const std::string stem = dir.path() + "/ZURAV.2024-03-05.1407";
    EXPECT_EQ(dir.files(".txt"), (std::vector<std::string>{stem + "09-1.txt", stem + "09-2.txt",
                                                           stem + "09.txt", stem + "10.txt"}));
    EXPECT_EQ(readFile(stem + "09.txt"), a + b);
    EXPECT_EQ(readFile(stem + "09-1.txt"), d);
    EXPECT_EQ(readFile(stem + "09-2.txt"), c);
    EXPECT_EQ(readFile(stem + "10.txt"), d);
}

TEST_F(AsciiLogTest, WithoutRollingOrEnablingTheLimitIsNotApplied) {
    struct Case {
        const char* name;
        unsigned int kib;
        bool rollover;
        bool enable;
        std::string content;
    };
    const Case cases[] = {
        {"rolling off", 1, false, true, std::string(3000, 'x')},
        {"limit of 4 GiB does not wrap", 4194304, true, true, std::string(3000, 'x')},
        {"disabled: file made, nothing written", 1, true, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        logtest::TempDir here;
        AsciiLog log;
        ASSERT_TRUE(log.configure(here.base(), c.kib, c.rollover, c.enable));
        log.write(std::string(3000, 'x').data(), 3000);
        ASSERT_EQ(here.files(".txt").size(), 1u);
        EXPECT_EQ(readFile(here.files(".txt")[0]), c.content);
    }
}

TEST_F(AsciiLogTest, AFileThatCannotBeCreatedLeavesTheLogOff) {
    AsciiLog log;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(log.configure(dir.path() + "/no/such/dir/ZURAV", 1, true, true));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: Failed to open log file '" + dir.path() +
                  "/no/such/dir/ZURAV.2024-03-05.140709.txt'.\n");
    EXPECT_FALSE(log.isEnabled());
    log.write("x", 1);
}

TEST_F(AsciiLogTest, AFullDiskDropsWholeLinesReportsEachAndLaterLinesAreWritten) {
    logtest::CountingHandler handler;
    logtest::Disk disk;
    AsciiLog log;
    log.registerHandler(handler);
    ASSERT_TRUE(log.configure(dir.base(), 1024, false, true));
    std::vector<std::string> lines;
    for (int i = 0; i < 10; ++i)
        lines.push_back("line " + std::to_string(i) + std::string(94, '.') + "\n");
    const size_t size = lines[0].size();
    // Two lines and a half fit; lines go in short writes.
    disk.setSpace(2 * size + size / 2);
    disk.setChunk(size / 3);
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 6; ++i) log.write(lines[i].data(), lines[i].size());
    disk.setSpace(logtest::Disk::UNLIMITED);
    for (int i = 6; i < 10; ++i) log.write(lines[i].data(), lines[i].size());
    // One report on standard error for the outage, one event for every dropped line.
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to write to the log file\n");
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST), 4);

    const std::string expected = lines[0] + lines[1] + lines[6] + lines[7] + lines[8] + lines[9];
    EXPECT_EQ(readFile(log.getCurrentFileName()), expected);
    EXPECT_EQ(log.getCurrentFileSize(), expected.size());
}

}  // namespace
