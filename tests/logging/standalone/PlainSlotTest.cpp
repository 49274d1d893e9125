// A plain logger slot read by other threads from before the process's first start of logging to
// after its last stop; a process of its own, so that the first start is the process's first.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "../LoggingTestUtil.h"
#include "logging/Log.h"
#include "logging/LoggingInit.h"

namespace {

Orbanex::LoggerPtr plainSlot = 0;
const Orbanex::AutoLogRegister plainRegistration(&plainSlot, "Plain");

TEST(PlainSlotThreads, ThreadsLogThroughAPlainSlotWhileLoggingStartsAndStops) {
    constexpr int THREADS = 4;
    logtest::TempDir dir;
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> logged{0};   // calls made while the logger was enabled
    std::atomic<int> nulls{0};    // reads of no logger
    std::atomic<int> changes{0};  // reads of another logger than the thread's first read
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&] {
            Orbanex::Logger* first = nullptr;
            for (; !stop.load(); reads.fetch_add(1)) {
                Orbanex::Logger* const logger = plainSlot;
                if (logger == nullptr) {
                    nulls.fetch_add(1);
                    continue;
                }
                if (first == nullptr) first = logger;
                if (logger != first) changes.fetch_add(1);
                if (logger->isInfoEnabled()) {
                    logger->log(Orbanex::LogLevel::LOGINFO, "p.cpp", 1, "f", "plain");
                    logged.fetch_add(1);
                }
            }
        });
    }
    const auto letThemRun = [&](std::atomic<int>& counter) {
        const int until = counter.load() + 200 * THREADS;
        while (counter.load() < until) std::this_thread::yield();
    };
    const uint64_t droppedBefore = Orbanex::LogManager::entriesDropped();
    letThemRun(reads);
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        Orbanex::LoggingInit::initialize();
        letThemRun(reads);
        ASSERT_TRUE(Orbanex::LogManager::instance()->configure(dir.path(), "ZURAV", 1024, 0, false,
                                                               false, 1024, false, true, false, 128,
                                                               1000000, ""));
        letThemRun(logged);
        Orbanex::LoggingInit::finalize();
        letThemRun(reads);
    }
    stop = true;
    for (auto& th : threads) th.join();

    // Bound from the start, to one logger, which no start or stop replaces.
    EXPECT_EQ(nulls.load(), 0);
    EXPECT_EQ(changes.load(), 0);
    ASSERT_NE(plainSlot, nullptr);
    EXPECT_EQ(plainSlot->getName(), "Plain");
    // Every call that passed the level test is written or, racing a stop, dropped and counted.
    size_t written = 0;
    for (const std::string& name : dir.files(".txt")) {
        for (const std::string& l : logtest::lines(logtest::readFile(name))) {
            written += l.find("} plain") != std::string::npos;
        }
    }
    EXPECT_EQ(dir.files(".txt").size(), 2u);
    EXPECT_EQ(written + (Orbanex::LogManager::entriesDropped() - droppedBefore),
              static_cast<size_t>(logged.load()));
}

}  // namespace
