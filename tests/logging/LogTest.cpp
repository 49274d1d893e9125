// Loggers, levels, registration, the macros and the console mirror.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "LoggingTestUtil.h"
#include "logging/Log.h"
#include "logging/LoggingInit.h"

OX_LOG_DECLARE_LOGGER("Test")

namespace {
// A logger registered by hand with a plain pointer, as a unit without the macros would.
Orbanex::LoggerPtr plainSlot = 0;
const Orbanex::AutoLogRegister plainRegistration(&plainSlot, "Plain");
}  // namespace

using Orbanex::LoggingInit;
using Orbanex::LogLevel;
using Orbanex::LogManager;

namespace {

class LogMacros : public ::testing::Test {
  protected:
    void SetUp() override { LoggingInit::initialize(); }
    void TearDown() override {
        Orbanex::gLogToConsole = false;
        Orbanex::gLogToConsoleLevel = LogLevel::LOGCRITICAL;
        LoggingInit::finalize();
    }

    bool configureText() {
        return LogManager::instance()->configure(dir.path(), "ZURAV", 1024, 0, false, false, 1024,
                                                 false, true, false, 128, 1000000, "");
    }
    std::string textLog() {
        LogManager::instance()->flushAndWait();
        const auto names = dir.files(".txt");
        return names.empty() ? std::string() : logtest::readFile(names.front());
    }

    logtest::FixedClock clock;
    logtest::TempDir dir;
};

TEST_F(LogMacros, UnconfiguredLoggersScheduleNothingButErrorsAreCounted) {
    Orbanex::Logger* logger = OX_LOG_LOGGER.load();
    ASSERT_NE(logger, nullptr);
    EXPECT_FALSE(logger->isCriticalEnabled());
    const int before = Orbanex::gNumErrorsLogged;
    OX_LOG_ERROR("before configure");
    OX_LOG_WARN("before configure");
    OX_LOG_INFO("before configure");
    EXPECT_EQ(Orbanex::gNumErrorsLogged - before, 2);

    ASSERT_TRUE(configureText());
    EXPECT_TRUE(logger->isDebugEnabled());
    OX_LOG_INFO("after configure");
    const std::string text = textLog();
    EXPECT_EQ(text.find("before configure"), std::string::npos);
    EXPECT_NE(text.find("after configure"), std::string::npos);
}

TEST_F(LogMacros, LevelFiltersAndCountsFilteredErrors) {
    ASSERT_TRUE(configureText());
    LogManager::instance()->setLogLevel(LogLevel::LOGWARN);
    const int before = Orbanex::gNumErrorsLogged;
    OX_LOG_CRITICAL("crit " << 1);
    OX_LOG_ERROR("error " << 2);
    OX_LOG_WARN("warn " << 3);
    OX_LOG_INFO("info " << 4);
    OX_LOG_TRACE("trace " << 5);
    OX_LOG_DEBUG("debug " << 6);
    LogManager::instance()->setLogLevel(LogLevel::LOGERROR);
    OX_LOG_WARN("warn " << 7);
    EXPECT_EQ(Orbanex::gNumErrorsLogged - before, 4);
    const std::string text = textLog();
    for (const char* kept : {"crit 1", "error 2", "warn 3"}) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    }
    for (const char* dropped : {"info 4", "trace 5", "debug 6", "warn 7"}) {
        EXPECT_EQ(text.find(dropped), std::string::npos) << dropped;
    }
}

TEST_F(LogMacros, ConsoleMirrorFollowsItsFlagAndLevel) {
    struct Case {
        bool on;
        LogLevel::Type level;
        const char* expected;
    };
    const Case cases[] = {
        {false, LogLevel::LOGTRACE, ""},
        {true, LogLevel::LOGCRITICAL, ":CRIT:c\n"},
        {true, LogLevel::LOGWARN, ":CRIT:c\n:ERROR:e\n:WARN:w\n"},
        {true, LogLevel::LOGTRACE, ":CRIT:c\n:ERROR:e\n:WARN:w\n:INFO:i\n:INFON:ab\n:TRACE:t\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        Orbanex::gLogToConsole = c.on;
        Orbanex::gLogToConsoleLevel = c.level;
        // The mirror works while the logger is disabled (logging is not configured here).
        ::testing::internal::CaptureStderr();
        // clang-format off
        const int line = __LINE__; OX_LOG_CRITICAL('c'); OX_LOG_ERROR('e'); OX_LOG_WARN('w'); OX_LOG_INFO('i'); OX_LOG_INFON("abc", 2); OX_LOG_TRACE('t');
        // clang-format on
        std::string out = ::testing::internal::GetCapturedStderr();
        const std::string prefix = std::string(__FILE__) + ":" + std::to_string(line);
        for (size_t at = out.find(prefix); at != std::string::npos; at = out.find(prefix)) {
            out.erase(at, prefix.size());
        }
        EXPECT_EQ(out, c.expected);
    }
}

TEST_F(LogMacros, LongTextsAreCut) {
    ASSERT_TRUE(configureText());
    const std::string text20000(20000, 'a');
    OX_LOG_INFO(text20000);
    // More than the macro's own buffer: cut there, never written past it.
    const std::string huge(OX_LOG_MAXBUF + 100, 'b');
    OX_LOG_INFO(huge << huge);
    const auto text = logtest::lines(textLog());
    ASSERT_EQ(text.size(), 2u);
    EXPECT_THAT(text[0], ::testing::EndsWith("} " + std::string(16383, 'a')));
    EXPECT_THAT(text[1], ::testing::EndsWith("} " + std::string(16383, 'b')));
}

// Printing it logs a line of its own, as an output operator of an application's type might.
struct LogsWhenPrinted {};
Orbanex::FastOStream& operator<<(Orbanex::FastOStream& os, const LogsWhenPrinted&) {
    OX_LOG_INFO("inner " << 1);
    return os << "printed";
}

TEST_F(LogMacros, AStatementInsideAnothersTextKeepsBothTexts) {
    ASSERT_TRUE(configureText());
    Orbanex::gLogToConsole = true;
    Orbanex::gLogToConsoleLevel = LogLevel::LOGINFO;
    ::testing::internal::CaptureStderr();
    OX_LOG_INFO("outer " << LogsWhenPrinted() << " end");
    const std::string console = ::testing::internal::GetCapturedStderr();
    // The text is made once for the entry and once for the mirror, so the inner line twice.
    const auto text = logtest::lines(textLog());
    ASSERT_EQ(text.size(), 3u);
    EXPECT_THAT(text[0], ::testing::EndsWith("} inner 1"));
    EXPECT_THAT(text[1], ::testing::EndsWith("} outer printed end"));
    EXPECT_THAT(text[2], ::testing::EndsWith("} inner 1"));
    EXPECT_THAT(console, ::testing::HasSubstr(":INFO:outer printed end\n"));
}

// Made before its thread's first log statement, so destroyed after whatever that statement made
// for the thread; logs a long text from its destructor.
struct LogsALongTextWhenDestroyed {
    ~LogsALongTextWhenDestroyed() { OX_LOG_INFO("last " << std::string(4000, 'z')); }
};

TEST_F(LogMacros, ALongTextFromAThreadsLastDestructorsIsKeptWhole) {
    ASSERT_TRUE(configureText());
    Orbanex::gLogToConsole = true;
    Orbanex::gLogToConsoleLevel = LogLevel::LOGINFO;
    ::testing::internal::CaptureStderr();
    std::thread([] {
        static thread_local LogsALongTextWhenDestroyed logsLast;
        OX_LOG_INFO("first");
    }).join();
    const std::string console = ::testing::internal::GetCapturedStderr();
    const std::string last = "last " + std::string(4000, 'z');
    const auto text = logtest::lines(textLog());
    ASSERT_EQ(text.size(), 2u);
    EXPECT_THAT(text[1], ::testing::EndsWith("} " + last));
    EXPECT_THAT(console, ::testing::HasSubstr(":INFO:" + last + "\n"));
}

TEST_F(LogMacros, LoggersAreSharedByNameAndTakeTheManagersLevel) {
    LogManager* m = LogManager::instance();
    m->setLogLevel(LogLevel::LOGWARN);
    Orbanex::Logger* x = m->getLog("X", LogLevel::LOGERROR);
    EXPECT_EQ(x->getLevel(), LogLevel::LOGWARN);
    EXPECT_EQ(m->getLog("X", LogLevel::LOGDEBUG), x);
    m->setLogLevel(LogLevel::LOGTRACE);
    EXPECT_EQ(x->getLevel(), LogLevel::LOGTRACE);
    EXPECT_EQ(OX_LOG_LOGGER.load()->getLevel(), LogLevel::LOGTRACE);

    // A slot registered while the manager exists is bound at once, to the logger of its name.
    // Static: the row stays in the process-wide table, and later managers bind it again.
    static Orbanex::LoggerSlot late{nullptr};
    const int row = LogManager::registerComponent(&late, "X", LogLevel::LOGERROR);
    EXPECT_GE(row, 0);
    EXPECT_EQ(late.load(), x);
    EXPECT_FALSE(x->isEnabled());
}

TEST_F(LogMacros, SlotsAreClearedWhenTheManagerGoes) {
    ASSERT_TRUE(configureText());
    ASSERT_NE(OX_LOG_LOGGER.load(), nullptr);
    LoggingInit::finalize();
    EXPECT_EQ(LogManager::instance(), nullptr);
    EXPECT_EQ(OX_LOG_LOGGER.load(), nullptr);
    const int before = Orbanex::gNumErrorsLogged;
    OX_LOG_ERROR("after the manager");
    EXPECT_EQ(Orbanex::gNumErrorsLogged - before, 1);

    // Unbalanced: nothing happens, and the next start works.
    LoggingInit::finalize();
    LoggingInit::initialize();
    EXPECT_NE(LogManager::instance(), nullptr);
    EXPECT_NE(OX_LOG_LOGGER.load(), nullptr);
}

TEST_F(LogMacros, APlainSlotRegisteredByHandIsBoundAndKeepsAUsableLogger) {
    ASSERT_NE(plainSlot, nullptr);
    EXPECT_EQ(plainSlot->getName(), "Plain");
    EXPECT_EQ(LogManager::instance()->getLog("Plain", LogLevel::LOGDEBUG), plainSlot);
    ASSERT_TRUE(configureText());
    ASSERT_TRUE(plainSlot->isInfoEnabled());
    plainSlot->log(LogLevel::LOGINFO, "p.cpp", 1, "f", "by hand");
    EXPECT_NE(textLog().find("|Plain | {p.cpp:1:f} by hand"), std::string::npos);

    // Its manager gone, the slot still holds a logger that logs nothing and counts the call.
    Orbanex::Logger* const kept = plainSlot;
    LoggingInit::finalize();
    EXPECT_EQ(plainSlot, kept);
    EXPECT_FALSE(plainSlot->isInfoEnabled());
    const uint64_t dropped = LogManager::entriesDropped();
    plainSlot->log(LogLevel::LOGINFO, "p.cpp", 2, "f", "too late");
    EXPECT_EQ(LogManager::entriesDropped(), dropped + 1);
    LoggingInit::initialize();  // for TearDown
    EXPECT_EQ(plainSlot, kept) << "the next manager takes the same logger back";
}

TEST(LoggingInit, CountsItsCallsAndBindsTheRegisteredSlots) {
    LoggingInit::initialize();
    LogManager* first = LogManager::instance();
    ASSERT_NE(first, nullptr);
    LoggingInit::initialize();
    EXPECT_EQ(LogManager::instance(), first);
    Orbanex::Logger* logger = OX_LOG_LOGGER.load();
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger->getName(), "Test");
    EXPECT_FALSE(logger->isEnabled());
    EXPECT_NE(first->getLog("Log", LogLevel::LOGDEBUG), logger);
    LoggingInit::finalize();
    EXPECT_EQ(LogManager::instance(), first);
    LoggingInit::finalize();
    EXPECT_EQ(LogManager::instance(), nullptr);
    EXPECT_EQ(Orbanex::LogEntry::getAtomicPool().size(), 0u);
}

}  // namespace
