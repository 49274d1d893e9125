#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <boost/filesystem.hpp>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "LoggingTestUtil.h"
#include "logging/BinaryLog.h"
#include "logging/Log.h"
#include "logging/MessagingInit.h"

using logtest::Record;
using Orbanex::BinaryLog;
using Orbanex::LogMessage;
using Orbanex::PadMessage;
using Orbanex::ProtocolDefinitionMessage;
using Orbanex::ShpMessage;
using Orbanex::VersionMessage;

namespace {

constexpr Tarvik::MsgType_t LOG = LogMessage::ID;
constexpr Tarvik::MsgType_t VER = VersionMessage::ID;
constexpr Tarvik::MsgType_t DEF = ProtocolDefinitionMessage::ID;
constexpr Tarvik::MsgType_t PAD = PadMessage::ID;

class BinaryLogTest : public ::testing::Test {
  protected:
    void SetUp() override { Orbanex::MessagingInit::initialize(); }
    void TearDown() override {
        BinaryLog::setWriteFunction(nullptr);
        Orbanex::MessagingInit::finalize();
    }

    // A LogMessage record of exactly size bytes, stamped t.
    std::string record(size_t size, Orbanex::Timestamp_t t = logtest::T0 - 5) {
        ShpMessage msg = CREATE_MESSAGE(LogMessage);
        LogMessage& m = *static_cast<LogMessage*>(msg->getPayload());
        std::vector<char> buf(size + 16);
        size_t text = size - 20, n = 0;
        // The description's length prefix grows with it: adjust once to the exact size.
        for (int i = 0; i < 2; ++i) {
            m.description.assign(std::string(text, 'd').c_str());
            n = BinaryLog::frameMessage(msg, t, buf.data(), buf.size());
            text -= n - size;
        }
        EXPECT_EQ(n, size);
        return std::string(buf.data(), n);
    }

    logtest::FixedClock clock;
    logtest::TempDir dir;
};

TEST_F(BinaryLogTest, FileHoldsPreambleRecordsAndClosingRecord) {
    std::string name;
    {
        BinaryLog log;
        ASSERT_TRUE(log.configure(dir.base(), 1024, 0, false, true, true));
        name = log.getCurrentFileName();
        EXPECT_EQ(name, dir.path() + "/ZURAV.2024-03-05.140709.dat");
        const std::string a = record(100, 111), b = record(40, 222);
        log.write(a.data(), a.size());
        log.write(b.data(), b.size());
    }
    const auto records = logtest::readRecords(name);
    ASSERT_EQ(logtest::ids(records), (std::vector<Tarvik::MsgType_t>{VER, DEF, LOG, LOG, DEF}));
    EXPECT_EQ(records[0].as<VersionMessage>().syncSize, 0);
    EXPECT_EQ(records[1].as<ProtocolDefinitionMessage>().proto, std::string("(Not supported.)"));
    EXPECT_EQ(records[4].as<ProtocolDefinitionMessage>().proto, std::string());
    EXPECT_EQ(records[2].nsecs, 111);
    EXPECT_EQ(records[3].nsecs, 222);
    EXPECT_EQ(records[2].length, 98);
    EXPECT_EQ(records[0].nsecs, logtest::T0);
    EXPECT_EQ(records[4].nsecs, logtest::T0);
}

// Pads end on boundaries; a log record no longer than the interval lies within one interval, a
// longer one starts on a boundary. The preamble and the closing record follow no rule.
void expectSyncLayout(const std::vector<Record>& records, size_t sync) {
    for (size_t i = 2; i + 1 < records.size(); ++i) {
        const Record& r = records[i];
        const size_t begin = r.offset, end = r.offset + r.length + 2;
        SCOPED_TRACE(begin);
        if (r.id == PAD) {
            EXPECT_EQ(end % sync, 0u);
            EXPECT_EQ(r.as<PadMessage>().padding.size_(), r.length - 12u);
        } else if (end - begin <= sync) {
            EXPECT_EQ(begin / sync, (end - 1) / sync) << "size " << end - begin;
        } else {
            EXPECT_EQ(begin % sync, 0u) << "size " << end - begin;
        }
    }
}

TEST_F(BinaryLogTest, SyncBoundariesArePaddedInEveryFile) {
    BinaryLog log;
    ASSERT_TRUE(log.configure(dir.base(), 1024, 1024, false, true, true));
    const std::string r300 = record(300), r1500 = record(1500), r990 = record(990);
    // A record longer than the interval moves the next boundary past it; no padding is ever
    // computed below zero.
    for (const std::string* r : {&r300, &r300, &r300, &r1500, &r300, &r990, &r300, &r300}) {
        log.write(r->data(), r->size());
    }
    const std::string first = log.getCurrentFileName();
    log.roll();
    for (int i = 0; i < 7; ++i) log.write(r300.data(), r300.size());
    const std::string second = log.getCurrentFileName();
    log.close();

    for (const std::string& name : {first, second}) {
        SCOPED_TRACE(name);
        const auto records = logtest::readRecords(name);
        ASSERT_GT(records.size(), 3u);
        EXPECT_EQ(records[0].as<VersionMessage>().syncSize, 1024);
        expectSyncLayout(records, 1024);
        size_t pads = 0;
        for (const Record& r : records) pads += r.id == PAD;
        EXPECT_GE(pads, 2u);
    }
    // The second file's first boundary is at 1024 again: its first pad ends there.
    const auto records = logtest::readRecords(second);
    for (const Record& r : records) {
        if (r.id != PAD) continue;
        EXPECT_EQ(r.offset + r.length + 2, 1024);
        break;
    }
}

TEST_F(BinaryLogTest, SyncBoundariesHoldForRandomRecordSizes) {
    // The records a message block can hold span these sizes.
    const size_t smallest = 40, largest = 32000;
    const size_t syncs[] = {BinaryLog::MIN_PAD_SIZE, 100, 1024, 4096, BinaryLog::MAX_SYNC_SIZE};
    for (const size_t sync : syncs) {
        SCOPED_TRACE(sync);
        std::mt19937 random(static_cast<unsigned>(sync));
        const auto between = [&random](size_t lo, size_t hi) {
            return std::uniform_int_distribution<size_t>(lo, hi)(random);
        };
        logtest::TempDir here;
        BinaryLog log;
        ASSERT_TRUE(log.configure(here.base(), 1024 * 1024, sync, false, true, true));
        // Mostly short records, many that nearly fill an interval or just overfill it (and end
        // near a boundary), some longer than an interval.
        constexpr int COUNT = 120;
        for (int i = 1; i <= COUNT; ++i) {
            const size_t kind = between(0, 9);
            size_t size = kind < 6   ? between(smallest, std::max(smallest, sync / 2))
                          : kind < 9 ? between(sync > 20 ? sync - 20 : 0, sync + 20)
                                     : between(sync, 2 * sync + 40);
            size = std::min(std::max(size, smallest), largest);
            const std::string r = record(size, i);
            log.write(r.data(), r.size());
        }
        const std::string name = log.getCurrentFileName();
        log.close();

        const auto records = logtest::readRecords(name);
        expectSyncLayout(records, sync);
        std::vector<int64_t> written;
        for (const Record& r : records) {
            if (r.id == LOG) written.push_back(r.nsecs);
        }
        ASSERT_EQ(written.size(), static_cast<size_t>(COUNT));
        for (int i = 0; i < COUNT; ++i) EXPECT_EQ(written[i], i + 1);
    }
}

TEST_F(BinaryLogTest, SyncSizesAPadCannotServeAreRefused) {
    const struct {
        size_t sync;
        bool accepted;
    } cases[] = {{1, false},
                 {13, false},
                 {14, true},
                 {BinaryLog::MAX_SYNC_SIZE, true},
                 {BinaryLog::MAX_SYNC_SIZE + 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sync);
        logtest::TempDir here;
        BinaryLog log;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(log.configure(here.base(), 1024, c.sync, false, true, true), c.accepted);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.isEnabled(), c.accepted);
        if (!c.accepted) {
            EXPECT_THAT(err, ::testing::HasSubstr("sync size"));
            EXPECT_TRUE(here.files(".dat").empty());
            continue;
        }
        // The largest padding still fits a message block.
        const std::string r = record(200);
        for (int i = 0; i < 3; ++i) log.write(r.data(), r.size());
        const std::string name = log.getCurrentFileName();
        log.close();
        const auto records = logtest::readRecords(name);
        if (c.sync > 1000) expectSyncLayout(records, c.sync);
        EXPECT_EQ(logtest::ids(records).back(), DEF);
    }
    // The largest interval: one pad of nearly a whole block.
    BinaryLog log;
    ASSERT_TRUE(log.configure(dir.base(), 1024, BinaryLog::MAX_SYNC_SIZE, false, true, true));
    const std::string big = record(BinaryLog::MAX_SYNC_SIZE - 100);
    log.write(big.data(), big.size());
    const std::string name = log.getCurrentFileName();
    log.close();
    const auto records = logtest::readRecords(name);
    ASSERT_EQ(logtest::ids(records), (std::vector<Tarvik::MsgType_t>{VER, DEF, PAD, LOG, DEF}));
    EXPECT_EQ(records[2].offset + records[2].length + 2, BinaryLog::MAX_SYNC_SIZE);
}

TEST_F(BinaryLogTest, RollsBySizeIntoWholeFilesWithinOneSecond) {
    logtest::CountingHandler handler;
    BinaryLog log;
    log.registerHandler(handler);
    ASSERT_TRUE(log.configure(dir.base(), 1, 0, true, true, true));
    const std::string r = record(400);
    for (int i = 0; i < 6; ++i) log.write(r.data(), r.size());
    log.close();
    const auto names = dir.files(".dat");
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ROLLED),
              static_cast<int>(names.size()) - 1);
    size_t logRecords = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const auto records = logtest::readRecords(name);
        ASSERT_GE(records.size(), 3u);
        EXPECT_EQ(records[0].id, VER);
        EXPECT_EQ(records[1].id, DEF);
        EXPECT_EQ(records.back().id, DEF);
        for (const Record& rec : records) logRecords += rec.id == LOG;
    }
    EXPECT_EQ(logRecords, 6u);
}

// Write seams: each fails in its own way.
int gCalls = 0;
ssize_t fullDiskHalfway(int fd, const void* data, size_t size) {
    if (++gCalls == 1) return ::write(fd, data, size / 2);
    errno = ENOSPC;
    return -1;
}
ssize_t closedDescriptor(int, const void*, size_t) {
    errno = EBADF;
    return -1;
}
ssize_t sevenBytesAtATime(int fd, const void* data, size_t size) {
    return ::write(fd, data, size < 7 ? size : 7);
}

TEST_F(BinaryLogTest, WriteErrorsLeaveNoTornRecordAndAreReported) {
    const struct {
        const char* name;
        BinaryLog::WriteFunction fn;
        const char* tag;       // of the logged report, seen through the console mirror
        const char* reported;  // the report before the file's name; null: no error
        const char* end;       // after it
    } cases[] = {
        {"full disk", &fullDiskHalfway, ":CRIT:", "File system is full. Could not write log file '",
         "'. Closing."},
        {"closed descriptor", &closedDescriptor, ":ERROR:", "Error writing to log file: '", "'."},
        {"short writes", &sevenBytesAtATime, nullptr, nullptr, nullptr},
    };
    Orbanex::gLogToConsole = true;
    Orbanex::gLogToConsoleLevel = Orbanex::LogLevel::LOGERROR;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        logtest::TempDir here;
        BinaryLog log;
        ASSERT_TRUE(log.configure(here.base(), 1024, 0, false, true, true));
        const std::string r = record(300);
        log.write(r.data(), r.size());
        const size_t before = log.getCurrentFileSize();

        gCalls = 0;
        BinaryLog::setWriteFunction(c.fn);
        ::testing::internal::CaptureStderr();
        log.write(r.data(), r.size());
        log.write(r.data(), r.size());
        const std::string err = ::testing::internal::GetCapturedStderr();
        BinaryLog::setWriteFunction(nullptr);
        const std::string name = log.getCurrentFileName();
        const size_t after = log.getCurrentFileSize();
        const bool open = log.isOpen();
        log.close();

        const auto records = logtest::readRecords(name);
        if (c.reported == nullptr) {
            EXPECT_EQ(err, "");
            EXPECT_EQ(logtest::ids(records),
                      (std::vector<Tarvik::MsgType_t>{VER, DEF, LOG, LOG, LOG, DEF}));
            continue;
        }
        // Logged and printed, once for the two failed writes.
        const std::string report = c.reported + name + c.end;
        EXPECT_THAT(err, ::testing::EndsWith(c.tag + report + "\n" + report + "\n"));
        size_t reports = 0;
        for (size_t at = err.find(report); at != std::string::npos; at = err.find(report, at + 1))
            ++reports;
        EXPECT_EQ(reports, 2u);
        EXPECT_FALSE(open);
        EXPECT_EQ(after, before);
        // The file ends on the last whole record; the failed one was cut back off.
        EXPECT_EQ(logtest::ids(records), (std::vector<Tarvik::MsgType_t>{VER, DEF, LOG}));
        EXPECT_EQ(records.back().offset + records.back().length + 2, static_cast<int64_t>(before));
    }
    Orbanex::gLogToConsole = false;
    Orbanex::gLogToConsoleLevel = Orbanex::LogLevel::LOGCRITICAL;
}

TEST_F(BinaryLogTest, AFileThatCannotBeCreatedIsOpenedByALaterRollOrRecord) {
    const struct {
        const char* name;
        bool byRoll;  // else by a record a second later
    } cases[] = {{"a roll", true}, {"a record a second later", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clock.set(logtest::T0);
        logtest::TempDir here;
        logtest::CountingHandler handler;
        BinaryLog log;
        log.registerHandler(handler);
        const std::string where = here.path() + "/later";
        const auto put = [&](int i) {
            const std::string r = record(100, i);
            log.write(r.data(), r.size());
        };
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(log.configure(where + "/ZURAV", 1024, 0, false, true, true));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "Error: Failed to open log file '" + where +
                      "/ZURAV.2024-03-05.140709.dat': No such file or directory\n\n");
        EXPECT_TRUE(log.isEnabled());
        EXPECT_FALSE(log.isOpen());

        put(1);
        boost::filesystem::create_directory(where);
        put(2);  // within the second of the failed attempt: no new one
        EXPECT_FALSE(log.isOpen());
        if (c.byRoll) {
            log.roll();
        } else {
            clock.set(logtest::T0 + Orbanex::TimeUtil::ONE_SEC);
        }
        put(3);
        EXPECT_TRUE(log.isOpen());
        const std::string name = log.getCurrentFileName();
        log.close();

        EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST), 2);
        EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ROLLED), 1);
        const auto records = logtest::readRecords(name);
        ASSERT_EQ(logtest::ids(records), (std::vector<Tarvik::MsgType_t>{VER, DEF, LOG, DEF}));
        EXPECT_EQ(records[2].nsecs, 3);
    }
}

TEST_F(BinaryLogTest, AfterAFullDiskANewFileOpensOnceASecondHasPassed) {
    logtest::CountingHandler handler;
    logtest::Disk disk;
    BinaryLog log;
    log.registerHandler(handler);
    ASSERT_TRUE(log.configure(dir.base(), 1024, 0, false, true, true));
    const std::string first = log.getCurrentFileName();
    const auto put = [&](int i) {
        const std::string r = record(200, i);
        log.write(r.data(), r.size());
    };
    put(1);
    // The file has been open a second when the disk fills: the wait counts from the failure.
    clock.set(logtest::T0 + Orbanex::TimeUtil::ONE_SEC);
    disk.setSpace(100);
    put(2);  // fits in part: cut back, the file closes
    size_t calls = disk.calls();
    put(3);  // no file, and within a second of the failure no attempt
    EXPECT_EQ(disk.calls(), calls);
    EXPECT_FALSE(log.isOpen());

    clock.set(logtest::T0 + 2 * Orbanex::TimeUtil::ONE_SEC);
    calls = disk.calls();
    put(4);  // a second later a new file is tried, but its preamble does not fit: it goes again
    EXPECT_GT(disk.calls(), calls);
    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(dir.files(".dat"), std::vector<std::string>{first});

    disk.setSpace(logtest::Disk::UNLIMITED);
    put(5);  // within a second of that attempt: dropped without another
    EXPECT_FALSE(log.isOpen());
    clock.set(logtest::T0 + 3 * Orbanex::TimeUtil::ONE_SEC);
    put(6);
    put(7);
    const std::string second = log.getCurrentFileName();
    log.close();

    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST), 4);
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ROLLED), 1);
    EXPECT_EQ(dir.files(".dat"), (std::vector<std::string>{first, second}));
    // The first file ends on its last whole record; it lost its closing record with the disk.
    const auto before = logtest::readRecords(first);
    ASSERT_EQ(logtest::ids(before), (std::vector<Tarvik::MsgType_t>{VER, DEF, LOG}));
    EXPECT_EQ(before[2].nsecs, 1);
    const auto after = logtest::readRecords(second);
    ASSERT_EQ(logtest::ids(after), (std::vector<Tarvik::MsgType_t>{VER, DEF, LOG, LOG, DEF}));
    EXPECT_EQ(after[2].nsecs, 6);
    EXPECT_EQ(after[3].nsecs, 7);
}

}  // namespace
