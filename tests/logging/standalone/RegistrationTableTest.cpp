// Fills the process-wide registration table, so it runs in a process of its own.

#include <gtest/gtest.h>

#include "logging/Log.h"
#include "logging/LoggingInit.h"

namespace {

Orbanex::LoggerSlot slots[Orbanex::LateInit::MAX_COMPS + 2];

TEST(LoggerRegistration, AFullTableRefusesFurtherRowsCleanly) {
    const int used = Orbanex::LateInit::nbComps;
    int last = -1;
    for (int i = used; i < Orbanex::LateInit::MAX_COMPS; ++i) {
        last =
            Orbanex::LogManager::registerComponent(&slots[i], "Row", Orbanex::LogLevel::LOGDEBUG);
    }
    EXPECT_EQ(last, Orbanex::LateInit::MAX_COMPS - 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Orbanex::LogManager::registerComponent(&slots[Orbanex::LateInit::MAX_COMPS], "Extra",
                                                     Orbanex::LogLevel::LOGDEBUG),
              -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Too many loggers registered; 'Extra' will not log.\n");
    EXPECT_EQ(Orbanex::LateInit::nbComps, Orbanex::LateInit::MAX_COMPS);

    Orbanex::LoggingInit::initialize();
    EXPECT_NE(slots[used].load(), nullptr);
    EXPECT_EQ(slots[Orbanex::LateInit::MAX_COMPS].load(), nullptr);
    Orbanex::LoggingInit::finalize();
    EXPECT_EQ(slots[used].load(), nullptr);
}

}  // namespace
