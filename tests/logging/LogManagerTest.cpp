// The log manager, the logger thread, the text line, the system log, recent errors, alarms and
// requests from other threads.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LoggingTestUtil.h"
#include "common/ThreadRegistry.h"
#include "logging/Log.h"
#include "logging/LogCallGate.h"
#include "logging/LoggingInit.h"
#include "logging/MessagingInit.h"
#include "logging/MessagingLogUtils.h"

OX_LOG_DECLARE_LOGGER("API")

using logtest::lines;
using logtest::readFile;
using Orbanex::LoggingInit;
using Orbanex::LogLevel;
using ::testing::HasSubstr;

namespace {

struct Options {
    bool binary = false;
    bool text = true;
    bool syslog = true;
    unsigned int batch = 128;
    std::string profile;
};

class LogManagerFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        // Thread ids are reused: names registered by threads of earlier tests must not show.
        Orbanex::ThreadRegistry::finalize();
        Orbanex::ThreadRegistry::registerThread("ZURAV");
        Orbanex::MessagingInit::initialize();
        LoggingInit::initialize();
    }
    void TearDown() override {
        LoggingInit::finalize();
        Orbanex::MessagingInit::finalize();
    }

    Orbanex::LogManager& manager() { return *Orbanex::LogManager::instance(); }
    bool configure(const Options& o = Options(), const std::string& where = std::string()) {
        return manager().configure(where.empty() ? dir.path() : where, "ZURAV", 1048576, 0, false,
                                   o.binary, 1048576, false, o.text, o.syslog, o.batch, 1000000,
                                   o.profile);
    }
    std::vector<std::string> textLines() {
        manager().flushAndWait();
        const auto names = dir.files(".txt");
        EXPECT_EQ(names.size(), 1u);
        return names.empty() ? std::vector<std::string>() : lines(readFile(names.front()));
    }
    Orbanex::Logger& api() { return *OX_LOG_LOGGER.load(); }

    logtest::FixedClock clock;
    logtest::TempDir dir;
    logtest::RecordingSysLog syslog;
};

class LogManager : public LogManagerFixture {};
class LogManagerThreads : public LogManagerFixture {};

TEST_F(LogManager, TextLinesByteForByte) {
    ASSERT_TRUE(configure());
    EXPECT_EQ(dir.files(".txt"),
              std::vector<std::string>{dir.path() + "/ZURAV.2024-03-05.140709.txt"});
    // clang-format off
    const int line = __LINE__; OX_LOG_WARN("no answer");
    // clang-format on
    api().log(LogLevel::LOGINFO, nullptr, 7, "f", "no source");
    api().log(LogLevel::LOGERROR, "a/b/src.cpp", 3, "fn", "first\nsecond");
    api().log(LogLevel::LOGTRACE, "src.cpp", 4, "fn", "");
    manager()
        .getLog("BinaryLog", LogLevel::LOGDEBUG)
        ->log(LogLevel::LOGDEBUG, "x.cpp", 5, "g", "d");
    // The entries above are handed over before the other threads log; the named thread runs
    // while the unnamed one still lives, so the two cannot share a thread id.
    manager().flushAndWait();
    std::thread unnamed([this] {
        api().log(LogLevel::LOGMESSAGE, "z.cpp", 8, "k", "unnamed");
        std::thread named([this] {
            Orbanex::ThreadRegistry::registerThread("LongThreadName1");
            api().log(LogLevel::LOGCRITICAL, "y.cpp", 6, "h", "named");
        });
        named.join();
    });
    unnamed.join();

    const std::string t = "2024-03-05.14:07:09,123456 |";
    const std::vector<std::string> expected = {
        t + "WARN |ZURAV     |API   | {LogManagerTest.cpp:" + std::to_string(line) +
            ":TestBody} no answer",
        t + "INFO |ZURAV     |API   | no source",
        t + "ERROR|ZURAV     |API   | {src.cpp:3:fn} first;second",
        t + "TRACE|ZURAV     |API   | {src.cpp:4:fn} ",
        t + "DEBUG|ZURAV     |Binary| {x.cpp:5:g} d",
        t + "MESSG|N/A       |API   | {z.cpp:8:k} unnamed",
        t + "CRIT |LongThread|API   | {y.cpp:6:h} named",
    };
    EXPECT_EQ(textLines(), expected);
}

TEST_F(LogManager, BinaryRecordsOfEntriesAndAttachedMessages) {
    ASSERT_TRUE(configure(Options{true, true, true, 128, ""}));
    const std::string name = dir.files(".dat").at(0);
    EXPECT_EQ(name, dir.path() + "/ZURAV.2024-03-05.140709.dat");
    // clang-format off
    const int line = __LINE__; OX_LOG_WARN("two\nlines");
    // clang-format on
    clock.set(logtest::T0 + 7);
    Orbanex::ShpMessage attached = Orbanex::getProtocolDefinitionMessage();
    OX_LOG_MESSAGE("", attached);
    EXPECT_EQ(attached->getcount(), 2);
    clock.set(logtest::T0 + 9);
    Orbanex::ShpMessage taken = CREATE_MESSAGE(Orbanex::PadMessage);
    OX_LOG_AND_DELETE("with text", taken);
    EXPECT_FALSE(taken);
    api().log(LogLevel::LOGINFO, "f.cpp", 1, "f", "");
    const auto text = textLines();
    ASSERT_EQ(text.size(), 4u);
    EXPECT_THAT(text[1],
                ::testing::EndsWith(
                    "|MESSG|ZURAV     |API   | {LogManagerTest.cpp:" + std::to_string(line + 4) +
                    ":TestBody} <ProtocolDefinitionMessage (proto=\"(Not supported.)\")>"));
    EXPECT_THAT(text[2], ::testing::EndsWith("} with text --- <PadMessage (padding=\"\")>"));
    LoggingInit::finalize();
    EXPECT_EQ(attached->getcount(), 1);

    const auto records = logtest::readRecords(name);
    using V = Orbanex::VersionMessage;
    using D = Orbanex::ProtocolDefinitionMessage;
    using L = Orbanex::LogMessage;
    using P = Orbanex::PadMessage;
    ASSERT_EQ(logtest::ids(records),
              (std::vector<Tarvik::MsgType_t>{V::ID, D::ID, L::ID, D::ID, L::ID, P::ID, D::ID}));
    const L& warn = records[2].as<L>();
    EXPECT_EQ(records[2].nsecs, logtest::T0);
    EXPECT_EQ(warn.timestamp, logtest::T0);
    EXPECT_EQ(warn.thread, std::string("ZURAV"));
    EXPECT_EQ(warn.level, LogLevel::LOGWARN);
    EXPECT_EQ(warn.logger, std::string("API"));
    EXPECT_EQ(warn.filename, std::string(__FILE__));
    EXPECT_EQ(warn.lineno, line);
    EXPECT_EQ(warn.function, std::string("TestBody"));
    EXPECT_EQ(warn.description, std::string("two\nlines"));
    // An empty text writes only the attached message's record, stamped with the entry's time.
    EXPECT_EQ(records[3].nsecs, logtest::T0 + 7);
    EXPECT_EQ(records[3].as<D>().proto, std::string("(Not supported.)"));
    EXPECT_EQ(records[4].as<L>().description, std::string("with text"));
    EXPECT_EQ(records[4].as<L>().level, LogLevel::LOGMESSAGE);
    EXPECT_EQ(records[5].nsecs, logtest::T0 + 9);
    EXPECT_EQ(records[6].as<D>().proto, std::string());
}

TEST_F(LogManager, LineTimesFollowTheClockWithinAndAcrossSeconds) {
    ASSERT_TRUE(configure());
    const Orbanex::Timestamp_t SEC = 1000000000;
    const struct {
        Orbanex::Timestamp_t t;
        const char* text;  // the time of the text line; the system-log line has no date
    } cases[] = {
        {logtest::T0, "2024-03-05.14:07:09,123456"},
        {logtest::T0 + 1000, "2024-03-05.14:07:09,123457"},
        {logtest::T0 + 876544000, "2024-03-05.14:07:10,000000"},
        {logtest::T0 - 123456001, "2024-03-05.14:07:08,999999"},
        {logtest::T0 + 86400 * SEC, "2024-03-06.14:07:09,123456"},
        {logtest::T0 + 86400 * SEC + 999, "2024-03-06.14:07:09,123456"},
        {-1, "1969-12-31.23:59:59,999999"},
        {1, "1970-01-01.00:00:00,000000"},
    };
    for (const auto& c : cases) {
        clock.set(c.t);
        api().log(LogLevel::LOGINFO, nullptr, 1, "f", "x");
    }
    const auto text = textLines();
    const auto sys = syslog.lines();
    ASSERT_EQ(text.size(), std::size(cases));
    ASSERT_EQ(sys.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].text);
        EXPECT_EQ(text[i], std::string(cases[i].text) + " |INFO |ZURAV     |API   | x");
        EXPECT_EQ(sys[i].text, std::string(cases[i].text + 10) + " [INFO ] x\n");
    }
}

TEST_F(LogManager, ThreadNamesAreFixedAtFirstSight) {
    ASSERT_TRUE(configure());
    std::thread late([this] {
        api().log(LogLevel::LOGINFO, "a.cpp", 1, "f", "before");
        manager().flushAndWait();
        Orbanex::ThreadRegistry::registerThread("Late");
        api().log(LogLevel::LOGINFO, "a.cpp", 2, "f", "after");
    });
    late.join();
    const auto text = textLines();
    ASSERT_EQ(text.size(), 2u);
    EXPECT_THAT(text[0], HasSubstr("|N/A       |"));
    EXPECT_THAT(text[1], HasSubstr("|N/A       |"));
}

// The system gives an ended thread's id to the next thread: its entries are not credited to the
// ended thread, in either log.
TEST_F(LogManagerThreads, AReusedThreadIdDoesNotInheritTheEndedThreadsName) {
    ASSERT_TRUE(configure(Options{true, true, false, 128, ""}));
    const std::string binary = dir.files(".dat").at(0);
    std::thread([this] {
        Orbanex::ThreadRegistry::registerThread("Worker");
        api().log(LogLevel::LOGINFO, "a.cpp", 1, "f", "named");
    }).join();
    std::thread([this] { api().log(LogLevel::LOGINFO, "a.cpp", 2, "f", "unnamed"); }).join();

    const auto text = textLines();
    ASSERT_EQ(text.size(), 2u);
    EXPECT_THAT(text[0], HasSubstr("|Worker    |API   | {a.cpp:1:f} named"));
    EXPECT_THAT(text[1], HasSubstr("|N/A       |API   | {a.cpp:2:f} unnamed"));
    LoggingInit::finalize();
    std::vector<std::string> names;
    for (const auto& r : logtest::readRecords(binary)) {
        if (r.id == Orbanex::LogMessage::ID)
            names.push_back(r.as<Orbanex::LogMessage>().thread.c_str());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Worker", "N/A"}));
}

TEST_F(LogManager, SystemLogTakesCriticalToInfoWithTheirPriorities) {
    ASSERT_TRUE(configure(Options{false, true, true, 128, "prof"}));
    EXPECT_EQ(syslog.ident(), "ZURAV");
    const struct {
        LogLevel::Type level;
        int priority;  // -1: not in the system log
    } cases[] = {
        {LogLevel::LOGMESSAGE, -1},    {LogLevel::LOGCRITICAL, LOG_CRIT},
        {LogLevel::LOGERROR, LOG_ERR}, {LogLevel::LOGWARN, LOG_WARNING},
        {LogLevel::LOGINFO, LOG_INFO}, {LogLevel::LOGTRACE, -1},
        {LogLevel::LOGDEBUG, -1},
    };
    for (const auto& c : cases) api().log(c.level, "f.cpp", 1, "f", "two\nlines");
    manager().flushAndWait();
    std::vector<int> priorities;
    for (const auto& l : syslog.lines()) {
        priorities.push_back(l.priority);
        EXPECT_THAT(l.text, ::testing::EndsWith("] (prof) two;lines\n"));
    }
    EXPECT_EQ(priorities, (std::vector<int>{LOG_CRIT | LOG_LOCAL6, LOG_ERR | LOG_LOCAL6,
                                            LOG_WARNING | LOG_LOCAL6, LOG_INFO | LOG_LOCAL6}));
    ASSERT_FALSE(syslog.lines().empty());
    EXPECT_EQ(syslog.lines()[2].text, ".14:07:09,123456 [WARN ] (prof) two;lines\n");
    EXPECT_EQ(textLines().size(), 7u);
}

TEST_F(LogManager, RecentErrorsKeepTheNewest64EvenWithoutSystemLog) {
    ASSERT_TRUE(configure(Options{false, true, false, 128, ""}));
    for (int i = 0; i < 65; ++i) {
        api().log(LogLevel::LOGERROR, "f.cpp", 1, "f", ("<e" + std::to_string(i) + ">").c_str());
    }
    api().log(LogLevel::LOGTRACE, "f.cpp", 1, "f", "<not an error>");
    manager().flushAndWait();
    EXPECT_TRUE(syslog.lines().empty());

    std::ostringstream page;
    manager().dumpDebug(page);
    const std::string html = page.str();
    EXPECT_EQ(html.find("e0&gt;"), std::string::npos);
    EXPECT_EQ(html.find("not an error"), std::string::npos);
    const size_t newest = html.find(".14:07:09,123456 [ERROR] &lt;e64&gt;\n");
    const size_t oldest = html.find(".14:07:09,123456 [ERROR] &lt;e1&gt;\n");
    ASSERT_NE(newest, std::string::npos);
    ASSERT_NE(oldest, std::string::npos);
    EXPECT_LT(newest, oldest);
    EXPECT_EQ(html.rfind("<pre>\n", 0), 0u);
    EXPECT_THAT(html, HasSubstr("log queue size"));
    EXPECT_THAT(html, HasSubstr("nb processed"));
    EXPECT_EQ(manager().getPageMask(), 2);
    EXPECT_EQ(manager().getProviderName(), "LogManager");
}

TEST_F(LogManager, AllOutputsOffStartsNoThread) {
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(configure(Options{false, false, false, 128, ""}));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "WARNING: All logs are disabled; running without a logger thread.\n");
    EXPECT_FALSE(manager().impl().isRunning());
    EXPECT_FALSE(api().isEnabled());
    manager().flushAndWait();  // returns at once without a thread
}

TEST_F(LogManager, UnopenableTextLogIsReportedAndTheRestRuns) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(configure(Options(), dir.path() + "/missing/dir"));
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                HasSubstr("Error: Failed to open log file '" + dir.path() + "/missing/dir/ZURAV."));
    EXPECT_TRUE(api().isEnabled());
    OX_LOG_WARN("still logged");
    manager().flushAndWait();
    ASSERT_EQ(syslog.lines().size(), 1u);
    EXPECT_THAT(syslog.lines()[0].text, HasSubstr("still logged"));
}

TEST_F(LogManager, ConfiguringAgainRestartsInPlace) {
    ASSERT_TRUE(configure());
    OX_LOG_INFO("first");
    logtest::TempDir second;
    ASSERT_TRUE(manager().configure(second.path(), "SECOND", 1024, 0, false, false, 1024, false,
                                    true, true, 128, 1000000, ""));
    EXPECT_EQ(syslog.ident(), "SECOND");
    EXPECT_TRUE(api().isEnabled());
    OX_LOG_INFO("second");
    manager().flushAndWait();
    ASSERT_EQ(second.files(".txt").size(), 1u);
    EXPECT_THAT(readFile(second.files(".txt")[0]), HasSubstr("second"));
    const auto first = lines(readFile(dir.files(".txt")[0]));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_THAT(first[0], HasSubstr("first"));
}

TEST_F(LogManager, RollRequestStartsANewFileAndTellsTheHandlers) {
    logtest::CountingHandler handler;
    manager().registerHandler(handler);
    ASSERT_TRUE(configure());
    OX_LOG_INFO("one");
    manager().rollLogs();  // within the same second: the new file gets a suffix
    OX_LOG_INFO("two");
    manager().flushAndWait();
    const auto names = dir.files(".txt");
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1], dir.path() + "/ZURAV.2024-03-05.140709.txt");
    EXPECT_EQ(names[0], dir.path() + "/ZURAV.2024-03-05.140709-1.txt");
    EXPECT_THAT(readFile(names[1]), HasSubstr("one"));
    EXPECT_THAT(readFile(names[0]), HasSubstr("two"));
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ROLLED), 1);
}

TEST_F(LogManager, LostEntryTellsTheHandlersWhoMayCallBackIntoTheManager) {
    // A handler that re-enters the manager: it is called outside the manager's locks.
    struct Reentering : logtest::CountingHandler {
        void onLogEvent(int event) override {
            CountingHandler::onLogEvent(event);
            Orbanex::LogManager::instance()->setLogLevel(LogLevel::LOGINFO);
            Orbanex::LogManager::instance()->getLog("FromHandler", LogLevel::LOGDEBUG);
        }
    } handler;
    manager().registerHandler(handler);
    ASSERT_TRUE(configure());
    manager().impl().schedule(&Orbanex::ENTRY_BADALLOC);
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST), 1);
    EXPECT_EQ(api().getLevel(), LogLevel::LOGINFO);
    EXPECT_TRUE(textLines().empty());
}

TEST_F(LogManagerThreads, AFailingEntryIsDroppedAndTheThreadGoesOn) {
    logtest::CountingHandler handler;
    manager().registerHandler(handler);
    syslog.throwOn("boom");
    ASSERT_TRUE(configure());
    OX_LOG_WARN("a");
    OX_LOG_WARN("boom");
    OX_LOG_WARN("c");
    const auto text = textLines();
    ASSERT_EQ(text.size(), 3u);
    EXPECT_THAT(text[2], ::testing::EndsWith(" c"));
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST), 1);
    EXPECT_EQ(syslog.lines().size(), 3u);
}

// The logger thread is held inside the system log while the queue fills; the alarms are raised
// and lowered as it drains, one step per check, each check made before taking an entry.
TEST_F(LogManagerThreads, QueueAlarmsRiseAndFallWithTheQueue) {
    const std::string tail = ", Max Elapsed write time 0\n";
    const std::string warnUp =
        "[WARN ] () Logger WARNING: Logger queue reached WARN threshold 1000";
    const std::string critUp =
        "[CRIT ] () Logger ERROR: Logger queue reached CRITICAL threshold 5000";
    const std::string critDown =
        "[CRIT ] () Logger ERROR: Logger queue crossed CRITICAL low threshold 5000";
    const std::string warnDown =
        "[WARN ] () Logger WARNING: Logger crossed WARN low threshold 1000";
    struct Alarm {
        int after;  // entries of the queue written before the alarm
        std::string text;
    };
    const struct {
        int queued;
        std::vector<Alarm> alarms;
    } cases[] = {
        {1200, {{0, warnUp}, {900, warnDown}}},
        {6000, {{0, warnUp}, {1, critUp}, {5000, critDown}, {5700, warnDown}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.queued);
        logtest::TempDir here;
        logtest::RecordingSysLog sink;
        ASSERT_TRUE(manager().configure(here.path(), "ZURAV", 1024, 0, false, false, 1048576, false,
                                        true, true, 0, 1000000, ""));
        sink.hold();
        OX_LOG_INFO("hold");
        sink.waitHeld();
        for (int i = 0; i < c.queued; ++i) OX_LOG_TRACE('t' << i);
        sink.release();
        sink.waitForLines(1 + c.alarms.size());
        manager().flushAndWait();

        const auto logged = sink.lines();
        ASSERT_EQ(logged.size(), 1 + c.alarms.size());
        const auto text = lines(readFile(here.files(".txt")[0]));
        ASSERT_EQ(text.size(), 1 + c.alarms.size() + c.queued);
        for (size_t a = 0; a < c.alarms.size(); ++a) {
            const std::string expected = c.alarms[a].text + tail;
            EXPECT_EQ(logged[1 + a].priority, LOG_WARNING | LOG_LOCAL6);
            EXPECT_EQ(logged[1 + a].text, ".14:07:09,123456 " + expected);
            EXPECT_EQ(text[1 + a + c.alarms[a].after] + "\n", expected);
        }
        EXPECT_THAT(text.back(), ::testing::EndsWith(" t" + std::to_string(c.queued - 1)));
    }
}

TEST_F(LogManagerThreads, RequestsFromAnotherThreadReachTheLoggerThread) {
    ASSERT_TRUE(configure());
    OX_LOG_INFO("main before");
    std::thread other([this] {
        OX_LOG_INFO("other one");
        manager().rollLogs();
        OX_LOG_INFO("other two");
        manager().flushAndWait();
        // Everything this thread handed over is written by now.
        const auto names = dir.files(".txt");
        ASSERT_EQ(names.size(), 2u);
        EXPECT_THAT(readFile(names[0]), HasSubstr("other two"));
        EXPECT_THAT(readFile(names[1]), HasSubstr("other one"));
        // Shut-down from this thread stops and joins the logger thread.
        LoggingInit::finalize();
    });
    other.join();
    EXPECT_EQ(Orbanex::LogManager::instance(), nullptr);
    EXPECT_EQ(OX_LOG_LOGGER.load(), nullptr);
}

TEST_F(LogManagerThreads, StressEveryEntryExactlyOnce) {
    constexpr int THREADS = 6;
    constexpr int PER_THREAD = 2000;
    ASSERT_TRUE(configure(Options{true, true, false, 128, ""}));
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < PER_THREAD; ++i) OX_LOG_INFO("entry " << t << '.' << i);
        });
    }
    for (int i = 0; i < PER_THREAD; ++i) OX_LOG_INFO("entry main." << i);
    for (auto& th : threads) th.join();
    const std::string name = dir.files(".txt")[0];
    const std::string binary = dir.files(".dat")[0];
    LoggingInit::finalize();

    std::multiset<std::string> text;
    for (const std::string& l : lines(readFile(name))) {
        if (l[0] == '[') continue;  // a queue alarm
        const size_t at = l.find("} entry ");
        ASSERT_NE(at, std::string::npos) << l;
        text.insert(l.substr(at + 8));
    }
    std::multiset<std::string> records;
    for (const auto& r : logtest::readRecords(binary)) {
        if (r.id != Orbanex::LogMessage::ID) continue;
        const std::string d = r.as<Orbanex::LogMessage>().description.c_str();
        ASSERT_EQ(d.rfind("entry ", 0), 0u) << d;
        records.insert(d.substr(6));
    }
    for (const auto* seen : {&text, &records}) {
        EXPECT_EQ(seen->size(), static_cast<size_t>((THREADS + 1) * PER_THREAD));
        for (int i = 0; i < PER_THREAD; ++i) {
            ASSERT_EQ(seen->count("main." + std::to_string(i)), 1u) << i;
            for (int t = 0; t < THREADS; ++t) {
                ASSERT_EQ(seen->count(std::to_string(t) + "." + std::to_string(i)), 1u) << t << i;
            }
        }
    }
}

// Shut-down and restarts while other threads log: every entry is written or, for a call that
// comes too late, dropped and counted; none is lost on the way.

TEST_F(LogManagerThreads, FinalizeRacingLoggingThreadsWritesOrDropsEveryEntry) {
    constexpr int THREADS = 8;
    constexpr int ROUNDS = 3;
    for (int round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE(round);
        if (round > 0) LoggingInit::initialize();
        logtest::TempDir here;
        ASSERT_TRUE(configure(Options{false, true, false, 128, ""}, here.path()));
        // Taken once, as a thread that logs through a pointer of its own would: it outlives the
        // manager.
        Orbanex::Logger* const logger = &api();
        const uint64_t droppedBefore = Orbanex::LogManager::entriesDropped();
        std::atomic<int> calls{0};
        std::atomic<bool> finalized{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < THREADS; ++t) {
            threads.emplace_back([&] {
                for (int late = 0; late < 10;) {
                    const bool after = finalized.load();
                    logger->log(LogLevel::LOGINFO, "f.cpp", 1, "f", "racing");
                    calls.fetch_add(1);
                    late += after;
                }
            });
        }
        while (calls.load() < THREADS * 20) std::this_thread::yield();
        LoggingInit::finalize();
        finalized = true;
        for (auto& th : threads) th.join();

        const uint64_t dropped = Orbanex::LogManager::entriesDropped() - droppedBefore;
        size_t written = 0;
        for (const std::string& l : lines(readFile(here.files(".txt").at(0)))) {
            written += l.find("} racing") != std::string::npos;
        }
        EXPECT_EQ(written + dropped, static_cast<size_t>(calls.load()));
        EXPECT_GE(dropped, static_cast<uint64_t>(THREADS * 10));
    }
}

// Holds a log call of a thread's last destructors inside the log path, once it has read its
// manager, until finalize shows that it waits for the call; or, should finalize not wait, until it
// has returned. The test seams of the call gate, installed for the holder's lifetime.
class HeldLastCall {
  public:
    HeldLastCall() {
        current = this;
        Orbanex::CallGate::setTestHooks(&passed, &waiting);
    }
    ~HeldLastCall() {
        Orbanex::CallGate::setTestHooks(nullptr, nullptr);
        current = nullptr;
    }
    // Set by the destructor that logs, on its thread: only that call is held.
    static thread_local bool holdMine;

    void waitHeld() {
        std::unique_lock<std::mutex> lock(_mutex);
        _cond.wait(lock, [this] { return _held; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(_mutex);
        _released = true;
        _cond.notify_all();
    }
    bool waited() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _waited;
    }

  private:
    static void passed() {
        if (!holdMine) return;
        HeldLastCall& h = *current;
        std::unique_lock<std::mutex> lock(h._mutex);
        h._held = true;
        h._cond.notify_all();
        h._cond.wait(lock, [&h] { return h._released; });
    }
    static void waiting() {
        HeldLastCall& h = *current;
        std::lock_guard<std::mutex> lock(h._mutex);
        h._waited = true;
        h._released = true;
        h._cond.notify_all();
    }

    static HeldLastCall* current;
    std::mutex _mutex;
    std::condition_variable _cond;
    bool _held = false;
    bool _released = false;
    bool _waited = false;
};

HeldLastCall* HeldLastCall::current = nullptr;
thread_local bool HeldLastCall::holdMine = false;

void logTheLastWords() {
    HeldLastCall::holdMine = true;
    OX_LOG_LOGGER.load()->log(LogLevel::LOGINFO, "f.cpp", 1, "f", "last words");
}

// Made before the thread's first log call, so destroyed after whatever that call made.
struct LogsWhenDestroyed {
    ~LogsWhenDestroyed() { logTheLastWords(); }
};

// The destructor of a thread-specific value, which runs after every thread_local destructor. Its
// first round asks for a second, by which every other thread-specific value of the thread (the
// library's own included) has been destroyed.
pthread_key_t gLastWordsKey;
int gFirstRound = 1;
int gSecondRound = 2;
void logFromKeyDestructor(void* value) {
    if (value == &gFirstRound) {
        pthread_setspecific(gLastWordsKey, &gSecondRound);
        return;
    }
    logTheLastWords();
}

// A log call may come at any moment of a thread's life: from a thread_local destructor, or from
// a thread-specific value's destructor after the library's own. finalize waits for it, and its
// entry is written.
TEST_F(LogManagerThreads, FinalizeWaitsForALogCallFromTheLastDestructorsOfAThread) {
    enum class From { THREAD_LOCAL, THREAD_SPECIFIC };
    ASSERT_EQ(pthread_key_create(&gLastWordsKey, &logFromKeyDestructor), 0);
    for (const From from : {From::THREAD_LOCAL, From::THREAD_SPECIFIC}) {
        SCOPED_TRACE(from == From::THREAD_LOCAL ? "thread_local" : "thread-specific");
        if (from != From::THREAD_LOCAL) LoggingInit::initialize();
        logtest::TempDir here;
        ASSERT_TRUE(configure(Options{false, true, false, 128, ""}, here.path()));
        HeldLastCall held;
        std::thread ending([from] {
            if (from == From::THREAD_LOCAL) {
                static thread_local LogsWhenDestroyed logsLast;
            } else {
                pthread_setspecific(gLastWordsKey, &gFirstRound);
            }
            OX_LOG_INFO("first words");
        });
        held.waitHeld();
        LoggingInit::finalize();
        held.release();
        ending.join();

        EXPECT_TRUE(held.waited());
        const auto written = lines(readFile(here.files(".txt").at(0)));
        ASSERT_EQ(written.size(), 2u);
        EXPECT_THAT(written[0], ::testing::EndsWith("} first words"));
        EXPECT_THAT(written[1], ::testing::EndsWith("} last words"));
    }
    pthread_key_delete(gLastWordsKey);
}

TEST_F(LogManagerThreads, FinalizeOnAnotherThreadWritesTheInitialisingThreadsBufferedEntries) {
    ASSERT_TRUE(configure(Options{true, true, false, 128, ""}));
    const std::string text = dir.files(".txt").at(0);
    const std::string binary = dir.files(".dat").at(0);
    for (int i = 0; i < 10; ++i) OX_LOG_INFO("buffered " << i);
    std::thread(LoggingInit::finalize).join();

    const auto written = lines(readFile(text));
    ASSERT_EQ(written.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_THAT(written[i], ::testing::EndsWith("} buffered " + std::to_string(i)));
    }
    size_t records = 0;
    for (const auto& r : logtest::readRecords(binary)) records += r.id == Orbanex::LogMessage::ID;
    EXPECT_EQ(records, 10u);
}

TEST_F(LogManagerThreads, ConfiguringAgainWhileOthersLogLosesNoEntry) {
    constexpr int THREADS = 4;
    constexpr int PER_THREAD = 2000;
    constexpr int RESTARTS = 8;
    logtest::CountingHandler handler;
    manager().registerHandler(handler);
    ASSERT_TRUE(configure(Options{false, true, false, 128, ""}));
    std::atomic<int> logged{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < PER_THREAD; ++i) {
                OX_LOG_INFO("entry " << t << '.' << i);
                logged.fetch_add(1);
            }
        });
    }
    // The restarts fall among the entries, spread over the whole run.
    for (int r = 1; r <= RESTARTS; ++r) {
        while (logged.load() < r * THREADS * PER_THREAD / (RESTARTS + 1)) std::this_thread::yield();
        EXPECT_TRUE(configure(Options{false, true, false, 128, ""}));
    }
    for (auto& th : threads) th.join();
    LoggingInit::finalize();

    std::multiset<std::string> written;
    for (const std::string& name : dir.files(".txt")) {
        for (const std::string& l : lines(readFile(name))) {
            const size_t at = l.find("} entry ");
            if (at != std::string::npos) written.insert(l.substr(at + 8));
        }
    }
    EXPECT_EQ(dir.files(".txt").size(), static_cast<size_t>(RESTARTS + 1));
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST), 0);
    EXPECT_EQ(written.size(), static_cast<size_t>(THREADS * PER_THREAD));
    for (int t = 0; t < THREADS; ++t) {
        for (int i = 0; i < PER_THREAD; ++i) {
            ASSERT_EQ(written.count(std::to_string(t) + "." + std::to_string(i)), 1u) << t << i;
        }
    }
}

}  // namespace
