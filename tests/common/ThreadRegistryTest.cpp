#include <errno.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <exception>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/TableFormatter.h"
#include "common/ThreadRegistry.h"

using Orbanex::TableFormatter;
using Orbanex::ThreadRegistry;

namespace {

// The registry is process-wide: each test starts from an empty one.
class ThreadRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { ThreadRegistry::finalize(); }
    void TearDown() override { ThreadRegistry::finalize(); }

    static TableFormatter dump() {
        TableFormatter t;
        EXPECT_EQ(ThreadRegistry::dumpDebug(t), "Threads");
        return t;
    }
};

pid_t kernelThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

}  // namespace

TEST_F(ThreadRegistryTest, EmptyDumpHasTheElevenHeaders) {
    const TableFormatter t = dump();
    EXPECT_EQ(t.header(),
              (TableFormatter::RowVec{"name", "lwp", "tid", "core", "updateTime", "utime", "stime",
                                      "minflt", "majflt", "nvcsw", "nivcsw"}));
    EXPECT_TRUE(t.cells().empty());
}

TEST_F(ThreadRegistryTest, GetNameFindsTheRegisteredThread) {
    EXPECT_EQ(ThreadRegistry::getName(pthread_self()), "N/A");
    ThreadRegistry::registerThread("ZURAV");
    EXPECT_EQ(ThreadRegistry::getName(pthread_self()), "ZURAV");
    ThreadRegistry::unregisterThread("ZURAV");
    EXPECT_EQ(ThreadRegistry::getName(pthread_self()), "ZURAV");
    ThreadRegistry::unregisterThread("unknown");  // changes nothing
    EXPECT_EQ(dump().cells().size(), 1u);
}

TEST_F(ThreadRegistryTest, NewRegistrationHasNoSampleYet) {
    ThreadRegistry::registerThread("main");
    const TableFormatter t = dump();
    ASSERT_EQ(t.cells().size(), 1u);
    const TableFormatter::RowVec expected = {"main",
                                             std::to_string(kernelThreadId()),
                                             std::to_string(static_cast<uint32_t>(pthread_self())),
                                             "",
                                             "NA",
                                             "-1",
                                             "-1",
                                             "-1",
                                             "-1",
                                             "-1",
                                             "-1"};
    EXPECT_EQ(t.cells()[0], expected);
}

TEST_F(ThreadRegistryTest, StatsSampleFillsTheRow) {
    ThreadRegistry::registerThread("sampled");
    ThreadRegistry::updateThreadStats("sampled");
    ThreadRegistry::updateThreadStats("not registered");  // changes nothing
    const TableFormatter t = dump();
    ASSERT_EQ(t.cells().size(), 1u);
    const TableFormatter::RowVec& row = t.cells()[0];
    EXPECT_TRUE(std::regex_match(row[4], std::regex(R"(\d{4}-\d\d-\d\d\.\d\d:\d\d:\d\d)")))
        << row[4];
    for (size_t col : {5, 6}) EXPECT_TRUE(std::regex_match(row[col], std::regex(R"(\d+\.\d{6})")));
    for (size_t col = 7; col <= 10; ++col) {
        EXPECT_TRUE(std::regex_match(row[col], std::regex(R"(\d+)"))) << row[col];
    }
}

TEST_F(ThreadRegistryTest, SecondRegistrationMovesTheNameToTheNewThread) {
    ThreadRegistry::registerThread("worker");
    std::string otherName;
    pid_t otherLwp = 0;
    std::thread([&] {
        ThreadRegistry::registerThread("worker");
        otherName = ThreadRegistry::getName(pthread_self());
        otherLwp = kernelThreadId();
    }).join();
    EXPECT_EQ(ThreadRegistry::getName(pthread_self()), "N/A");
    EXPECT_EQ(otherName, "worker");
    const TableFormatter t = dump();
    ASSERT_EQ(t.cells().size(), 1u);
    EXPECT_EQ(t.cells()[0][1], std::to_string(otherLwp));
}

TEST_F(ThreadRegistryTest, TasksBeforeTheThreadAreKeptWhenItRegisters) {
    ThreadRegistry::registerTask("io", "reader");
    ThreadRegistry::registerTask("io", "writer");
    ThreadRegistry::registerTask("io", "reader");
    TableFormatter before = dump();
    ASSERT_EQ(before.cells().size(), 1u);
    EXPECT_EQ(before.cells()[0][0], "io");
    EXPECT_EQ(before.cells()[0][4], "") << "never stamped by a thread";
    EXPECT_EQ(ThreadRegistry::getName(pthread_self()), "N/A");

    ThreadRegistry::registerThread("io");
    EXPECT_EQ(dump().cells()[0][4], "NA");
    EXPECT_EQ(ThreadRegistry::getTasks("io"),
              (Orbanex::ThreadInfo::TaskList{"reader", "writer", "reader"}));

    ThreadRegistry::unregisterTask("io", "reader");
    EXPECT_EQ(ThreadRegistry::getTasks("io"), (Orbanex::ThreadInfo::TaskList{"writer", "reader"}));
    ThreadRegistry::unregisterTask("io", "absent");
    ThreadRegistry::unregisterTask("nobody", "reader");
    EXPECT_EQ(ThreadRegistry::getTasks("io").size(), 2u);
    EXPECT_TRUE(ThreadRegistry::getTasks("nobody").empty());
    EXPECT_EQ(dump().cells().size(), 1u);
}

TEST_F(ThreadRegistryTest, PriorityAsksForTheNegatedNiceValueOrIsRefused) {
    // On a thread of its own: on Linux the nice value belongs to the calling thread.
    std::thread([] {
        errno = 0;
        const int rc = ThreadRegistry::setPriority(5);
        if (rc == 0) {
            EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), -5);
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_TRUE(errno == EACCES || errno == EPERM) << errno;
        }
        // Lowering one's own priority is always allowed.
        EXPECT_EQ(ThreadRegistry::setPriority(-3), 0);
        EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), 3);
    }).join();
}

TEST_F(ThreadRegistryTest, AffinityPinsTheCallingThreadOrIsRefused) {
    std::thread([] {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
        int cpu = 0;
        while (!CPU_ISSET(cpu, &allowed)) ++cpu;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        const int rc = ThreadRegistry::setAffinity(one);
        if (rc == 0) {
            cpu_set_t now;
            ASSERT_EQ(::sched_getaffinity(0, sizeof now, &now), 0);
            EXPECT_TRUE(CPU_EQUAL(&now, &one));
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_TRUE(errno == EPERM || errno == EINVAL) << errno;
        }
    }).join();
}

namespace {
[[noreturn]] void previousHandler() { _exit(3); }
}  // namespace

TEST(ThreadRegistryDeathTest, TerminationHandlerSwallowsTheExceptionAndAborts) {
    EXPECT_EXIT(
        {
            std::set_terminate(previousHandler);
            ThreadRegistry::installTerminationHandler();
            try {
                throw std::runtime_error("unhandled");
            } catch (...) {
                std::terminate();
            }
        },
        ::testing::KilledBySignal(SIGABRT), "");
    EXPECT_EXIT(
        {
            ThreadRegistry::installTerminationHandler();
            std::terminate();  // no exception pending
        },
        ::testing::KilledBySignal(SIGABRT), "");
}

// The system gives an ended thread's id to later threads: the name stays with the thread that
// registered it.
TEST(ThreadRegistryThreads, AnEndedThreadsNameIsNotInheritedThroughItsId) {
    ThreadRegistry::finalize();
    struct Seen {
        pthread_t tid{};
        uint64_t serial = 0;
        std::string name;
    };
    const auto run = [](bool registers) {
        Seen seen;
        std::thread([&] {
            if (registers) ThreadRegistry::registerThread("worker");
            seen.tid = pthread_self();
            seen.serial = ThreadRegistry::threadSerial();
            EXPECT_EQ(ThreadRegistry::threadSerial(), seen.serial);
            seen.name = ThreadRegistry::getName(pthread_self());
        }).join();
        return seen;
    };
    const Seen named = run(true);
    const Seen later = run(false);  // usually gets the same id
    EXPECT_EQ(named.name, "worker");
    EXPECT_EQ(later.name, "N/A");
    EXPECT_NE(named.serial, 0u);
    EXPECT_NE(later.serial, named.serial);
    EXPECT_NE(ThreadRegistry::threadSerial(), named.serial);
    EXPECT_EQ(ThreadRegistry::getName(named.tid), "N/A");
    EXPECT_EQ(ThreadRegistry::getName(named.tid, named.serial), "worker");
    EXPECT_EQ(ThreadRegistry::getName(later.tid, later.serial), "N/A");
    ThreadRegistry::finalize();
}

// Threads register, describe and sample themselves while others read the registry.
TEST(ThreadRegistryThreads, ConcurrentRegistrationAndLookups) {
    ThreadRegistry::finalize();
    const int n = 6;
    std::atomic<bool> go{false};
    std::atomic<int> wrongNames{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i) {
        threads.emplace_back([i, &go, &wrongNames] {
            const std::string name = "worker-" + std::to_string(i);
            while (!go.load()) std::this_thread::yield();
            for (int round = 0; round < 200; ++round) {
                ThreadRegistry::registerThread(name);
                ThreadRegistry::registerTask(name, "task");
                ThreadRegistry::registerQueue("topic", name);
                ThreadRegistry::updateThreadStats(name);
                if (ThreadRegistry::getName(pthread_self()) != name) ++wrongNames;
                TableFormatter t;
                ThreadRegistry::dumpDebug(t);
                ThreadRegistry::unregisterTask(name, "task");
                ThreadRegistry::unregisterThread(name);
            }
        });
    }
    go = true;
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrongNames.load(), 0);
    TableFormatter t;
    ThreadRegistry::dumpDebug(t);
    EXPECT_EQ(t.cells().size(), static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        EXPECT_TRUE(ThreadRegistry::getTasks("worker-" + std::to_string(i)).empty());
    }
    ThreadRegistry::finalize();
}
