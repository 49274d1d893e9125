#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>
#include <vector>

#include "LoggingTestUtil.h"
#include "logging/AsciiLog.h"
#include "logging/LoggingInit.h"
#include "logging/MessagingInit.h"

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
    EXPECT_EQ(
        ::testing::internal::GetCapturedStderr(),
        "File system is full. Could not write log file '" + log.getCurrentFileName() + "'.\n");
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST), 4);

    const std::string expected = lines[0] + lines[1] + lines[6] + lines[7] + lines[8] + lines[9];
    EXPECT_EQ(readFile(log.getCurrentFileName()), expected);
    EXPECT_EQ(log.getCurrentFileSize(), expected.size());
}

// Both files on one full disk, written by the logger thread.
class FullDiskThreads : public ::testing::Test {
  protected:
    void SetUp() override {
        Orbanex::MessagingInit::initialize();
        Orbanex::LoggingInit::initialize();
    }
    void TearDown() override {
        Orbanex::LoggingInit::finalize();
        Orbanex::MessagingInit::finalize();
    }

    logtest::FixedClock clock;
    logtest::TempDir dir;
    logtest::RecordingSysLog syslog;
    logtest::CountingHandler handler;  // outlives the manager
    logtest::Disk disk;
};

TEST_F(FullDiskThreads, EachLogKeepsWholeEntriesReportsEveryLossAndGoesOnWhenSpaceReturns) {
    Orbanex::LogManager& manager = *Orbanex::LogManager::instance();
    manager.registerHandler(handler);
    ASSERT_TRUE(manager.configure(dir.path(), "ZURAV", 1048576, 0, false, true, 1048576, false,
                                  true, true, 128, 1000000, ""));
    Orbanex::Logger& logger = *manager.getLog("API", Orbanex::LogLevel::LOGDEBUG);
    const auto logThree = [&](const std::string& phase) {
        for (int i = 0; i < 3; ++i) {
            const std::string text = phase + std::to_string(i);
            logger.log(Orbanex::LogLevel::LOGINFO, nullptr, 0, nullptr, text.c_str());
        }
        // Twice: the binary log's report of its failure, queued by the logger thread while the
        // first wait's entries are written, is written before the second wait returns.
        manager.flushAndWait();
        manager.flushAndWait();
    };
    logThree("before ");
    disk.setSpace(30);  // a part of the next line
    ::testing::internal::CaptureStderr();
    const std::string text = dir.files(".txt").at(0);
    const std::string binary = dir.files(".dat").at(0);
    logThree("during ");
    // Each file's outage, once: the text log's first, as it is written first.
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "File system is full. Could not write log file '" + text +
                  "'.\nFile system is full. Could not write log file '" + binary + "'. Closing.\n");
    disk.setSpace(logtest::Disk::UNLIMITED);
    clock.set(logtest::T0 + Orbanex::TimeUtil::ONE_SEC);
    logThree("after ");

    // Lost: three entries and the two reports, in each file.
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST), 10);
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ROLLED), 1);
    const auto reported = syslog.lines();
    EXPECT_EQ(std::count_if(reported.begin(), reported.end(),
                            [](const logtest::RecordingSysLog::Line& l) {
                                return l.text.find("File system is full.") != std::string::npos;
                            }),
              2);

    const std::vector<std::string> expected = {"before 0", "before 1", "before 2",
                                               "after 0",  "after 1",  "after 2"};
    const auto texts = dir.files(".txt");
    ASSERT_EQ(texts.size(), 1u);
    std::vector<std::string> lines;
    for (const std::string& line : logtest::lines(readFile(texts[0]))) {
        // A torn line shows as a line with a second time in it.
        ASSERT_EQ(line.rfind("2024-03-05.14:07:"), 0u) << line;
        lines.push_back(line.substr(line.rfind("| ") + 2));
    }
    EXPECT_EQ(lines, expected);

    // The binary log closed its file and opened a new one a second later.
    const auto binaries = dir.files(".dat");
    ASSERT_EQ(binaries.size(), 2u);
    std::vector<std::string> records;
    for (const std::string& name : binaries) {
        for (const logtest::Record& r : logtest::readRecords(name)) {
            if (r.id == Orbanex::LogMessage::ID) {
                records.push_back(r.as<Orbanex::LogMessage>().description.c_str());
            }
        }
        records.push_back("|");
    }
    EXPECT_EQ(records, (std::vector<std::string>{"before 0", "before 1", "before 2", "|", "after 0",
                                                 "after 1", "after 2", "|"}));
}

// The text log cannot carry the news of its own outage: at its first failure the line goes to
// standard error and the entry to the system log and the binary log, once per outage.
std::atomic<int> gTextError{0};
ssize_t failingWhileSet(int fd, const void* data, size_t size) {
    if (const int error = gTextError.load()) {
        errno = error;
        return -1;
    }
    return ::write(fd, data, size);
}

TEST_F(FullDiskThreads, ATextLogOutageIsPrintedAndLoggedOnce) {
    const struct {
        int error;
        Orbanex::LogLevel::Type level;
        int priority;
        const char* text;
    } cases[] = {
        {ENOSPC, Orbanex::LogLevel::LOGCRITICAL, LOG_CRIT,
         "File system is full. Could not write log file '"},
        {EIO, Orbanex::LogLevel::LOGERROR, LOG_ERR, "Error writing to log file: '"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Orbanex::LogManager& manager = *Orbanex::LogManager::instance();
        manager.registerHandler(handler);
        Orbanex::Logger& logger = *manager.getLog("API", Orbanex::LogLevel::LOGDEBUG);
        const auto log = [&](const char* text) {
            logger.log(Orbanex::LogLevel::LOGINFO, nullptr, 0, nullptr, text);
            // Twice: the report that the logger thread queues while it writes the first wait's
            // entries is written before the second wait returns.
            manager.flushAndWait();
            manager.flushAndWait();
        };
        logtest::TempDir here;
        ASSERT_TRUE(manager.configure(here.path(), "ZURAV", 1048576, 0, false, true, 1048576, false,
                                      true, true, 128, 1000000, ""));
        const std::string text = here.files(".txt").at(0);
        const std::string binary = here.files(".dat").at(0);
        const size_t syslogBefore = syslog.lines().size();
        const int lostBefore = handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST);
        const Orbanex::AsciiLog::WriteFunction previous =
            Orbanex::AsciiLog::setWriteFunction(&failingWhileSet);

        ::testing::internal::CaptureStderr();
        log("a");
        gTextError = c.error;
        log("b");
        log("c");
        gTextError = 0;
        log("d");
        gTextError = c.error;
        log("e");
        gTextError = 0;
        const std::string err = ::testing::internal::GetCapturedStderr();
        Orbanex::AsciiLog::setWriteFunction(previous);

        const std::string report = c.text + text + "'.";
        EXPECT_EQ(err, report + "\n" + report + "\n");
        // b, c, e and the two reports.
        EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST) - lostBefore, 5);
        std::vector<std::string> reportedLines;
        const auto sys = syslog.lines();
        for (size_t i = syslogBefore; i < sys.size(); ++i) {
            if (sys[i].text.find(report) != std::string::npos) {
                EXPECT_EQ(sys[i].priority, c.priority | LOG_LOCAL6);
                reportedLines.push_back(sys[i].text);
            }
        }
        EXPECT_EQ(reportedLines.size(), 2u);
        std::vector<std::string> written;
        for (const std::string& line : logtest::lines(readFile(text))) {
            written.push_back(line.substr(line.rfind("| ") + 2));
        }
        EXPECT_EQ(written, (std::vector<std::string>{"a", "d"}));

        Orbanex::LoggingInit::finalize();
        std::vector<std::string> records;
        for (const logtest::Record& r : logtest::readRecords(binary)) {
            if (r.id != Orbanex::LogMessage::ID) continue;
            const auto& m = r.as<Orbanex::LogMessage>();
            records.push_back(m.description.c_str());
            if (records.back() == report) {
                EXPECT_EQ(m.level, c.level);
                EXPECT_EQ(std::string(m.logger.c_str()), "Log");
            }
        }
        EXPECT_EQ(records, (std::vector<std::string>{"a", "b", report, "c", "d", "e", report}));
        Orbanex::LoggingInit::initialize();
    }
}

}  // namespace
