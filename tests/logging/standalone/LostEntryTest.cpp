// Replaces the global operator new so that entries can be refused; a process of its own.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "../LoggingTestUtil.h"
#include "logging/Log.h"
#include "logging/LoggingInit.h"
#include "logging/MessagingInit.h"

namespace {
// While set, requests as large as a log entry fail.
std::atomic<bool> gRefuseEntries{false};
}  // namespace

void* operator new(size_t size) {
    if (gRefuseEntries.load() && size >= OX_LBQ_LOG_ENTRY_DESCRIPTION_SIZE) throw std::bad_alloc();
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

OX_LOG_DECLARE_LOGGER("API")

namespace {

TEST(LostEntry, ARefusedEntryIsReportedAndNothingIsWritten) {
    logtest::FixedClock clock;
    logtest::TempDir dir;
    logtest::RecordingSysLog syslog;
    logtest::CountingHandler handler;
    Orbanex::MessagingInit::initialize();
    Orbanex::LoggingInit::initialize();
    Orbanex::LogManager& manager = *Orbanex::LogManager::instance();
    manager.registerHandler(handler);
    ASSERT_TRUE(manager.configure(dir.path(), "ZURAV", 1024, 0, false, true, 1024, false, true,
                                  true, 128, 1000000, ""));
    OX_LOG_WARN("kept 1");
    manager.flushAndWait();
    Orbanex::LogEntry::getAtomicPool().clear();  // no cached entry to fall back on

    Orbanex::ShpMessage msg = CREATE_MESSAGE(Orbanex::PadMessage);
    gRefuseEntries = true;
    OX_LOG_WARN("lost");
    OX_LOG_AND_DELETE("lost too", msg);
    gRefuseEntries = false;
    EXPECT_FALSE(msg);  // the refused entry let its message go
    EXPECT_EQ(handler.count(Orbanex::LogEventHandler::LOG_ENTRY_LOST), 2);
    // The shared stand-in was never written into.
    EXPECT_EQ(Orbanex::ENTRY_BADALLOC.description[0], '\0');
    EXPECT_EQ(Orbanex::ENTRY_BADALLOC.timestamp, 0);

    OX_LOG_WARN("kept 2");
    manager.flushAndWait();
    const std::string text = logtest::readFile(dir.files(".txt").at(0));
    EXPECT_THAT(text, ::testing::HasSubstr("kept 1"));
    EXPECT_THAT(text, ::testing::HasSubstr("kept 2"));
    EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("lost")));
    Orbanex::LoggingInit::finalize();
    Orbanex::MessagingInit::finalize();
}

}  // namespace
