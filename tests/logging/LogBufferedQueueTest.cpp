#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "common/TimeUtil.h"
#include "logging/LogBufferedQueue.h"

using Orbanex::LogBufferedQueue;
using Orbanex::LogEntry;
using Orbanex::LogLevel;
using Orbanex::Timestamp_t;

namespace {

constexpr Timestamp_t MS = 1000000;

LogEntry* makeEntry(LogLevel::Type level, Timestamp_t t, int line) {
    LogEntry* e = LogBufferedQueue::acquire();
    e->timestamp = t;
    e->threadid = pthread_self();
    e->level = level;
    e->lineno = line;
    e->description[0] = '\0';
    return e;
}

// Pops everything from the locked stage, returning the line numbers in order.
std::vector<int> drain(LogBufferedQueue& q) {
    std::vector<int> out;
    LogEntry* e = nullptr;
    while (q.tryPop(e)) {
        out.push_back(e->lineno);
        LogBufferedQueue::release(e);
    }
    return out;
}

TEST(LogBufferedQueue, OwnerBatchesUntilFullThenHandsOverInOrder) {
    LogBufferedQueue q(128, MS);
    for (int i = 0; i < 127; ++i) q.push(makeEntry(LogLevel::LOGINFO, 1000 + i, i));
    EXPECT_EQ(q.size(), 0);
    EXPECT_EQ(q.buffered(), 127u);
    q.push(makeEntry(LogLevel::LOGINFO, 2000, 127));
    EXPECT_EQ(q.size(), 128);
    EXPECT_EQ(q.buffered(), 0u);
    std::vector<int> expected;
    for (int i = 0; i < 128; ++i) expected.push_back(i);
    EXPECT_EQ(drain(q), expected);
}

TEST(LogBufferedQueue, OwnerHandsOverOnUrgentLevelAgeOrBatchOfOne) {
    struct Case {
        const char* name;
        int batch;
        LogLevel::Type second;
        Timestamp_t gap;
        int handedOver;
    };
    const Case cases[] = {
        {"info within the age", 128, LogLevel::LOGINFO, MS, 0},
        {"info older than the age", 128, LogLevel::LOGINFO, 2 * MS, 2},
        {"warn", 128, LogLevel::LOGWARN, 0, 2},
        {"error", 128, LogLevel::LOGERROR, 0, 2},
        {"critical", 128, LogLevel::LOGCRITICAL, 0, 2},
        {"trace", 128, LogLevel::LOGTRACE, 0, 0},
        {"batch of one", 0, LogLevel::LOGINFO, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogBufferedQueue q(c.batch, MS);
        q.push(makeEntry(LogLevel::LOGINFO, 5 * MS, 1));
        q.push(makeEntry(c.second, 5 * MS + c.gap, 2));
        EXPECT_EQ(q.size(), c.handedOver);
        q.flush();
        EXPECT_EQ(drain(q), (std::vector<int>{1, 2}));
    }
}

TEST(LogBufferedQueue, OtherThreadsGoStraightToTheLockedStageAndCannotFlushTheOwners) {
    LogBufferedQueue q(128, MS);
    q.push(makeEntry(LogLevel::LOGINFO, 1, 1));
    std::thread other([&q] {
        q.push(makeEntry(LogLevel::LOGINFO, 2, 2));
        // A request from another thread reaches the consumer, behind that thread's entries;
        // the owner's buffer is left alone.
        q.push(&Orbanex::ENTRY_STOP);
        q.flush();
    });
    other.join();
    EXPECT_EQ(q.buffered(), 1u);
    LogEntry* e = nullptr;
    ASSERT_TRUE(q.tryPop(e));
    EXPECT_EQ(e->lineno, 2);
    LogBufferedQueue::release(e);
    ASSERT_TRUE(q.tryPop(e));
    EXPECT_EQ(e, &Orbanex::ENTRY_STOP);
    EXPECT_FALSE(q.tryPop(e));
    q.flush();
    EXPECT_EQ(drain(q), (std::vector<int>{1}));
}

TEST(LogBufferedQueue, PopsDoNotWaitOnAnEmptyQueue) {
    LogBufferedQueue q(1, MS);
    LogEntry* e = nullptr;
    EXPECT_FALSE(q.tryPop(e));
    // 999 ns is a wait of zero microseconds, not an unlimited one.
    EXPECT_FALSE(q.waitPop(e, 999));
    q.push(makeEntry(LogLevel::LOGINFO, 1, 7));
    ASSERT_TRUE(q.waitPop(e, 999));
    EXPECT_EQ(e->lineno, 7);
    LogBufferedQueue::release(e);
}

TEST(LogBufferedQueue, WaitPopWakesForAnotherThreadsEntry) {
    LogBufferedQueue q(1, MS);
    std::thread producer([&q] { q.push(makeEntry(LogLevel::LOGINFO, 1, 9)); });
    LogEntry* e = q.waitPop();
    producer.join();
    EXPECT_EQ(e->lineno, 9);
    LogBufferedQueue::release(e);
}

TEST(LogBufferedQueue, DestructionReturnsQueuedEntriesToThePool) {
    auto& pool = LogEntry::getAtomicPool();
    const size_t liveBefore = pool.live() - pool.size();
    {
        LogBufferedQueue q(128, MS);
        q.push(makeEntry(LogLevel::LOGINFO, 1, 1));
        q.push(makeEntry(LogLevel::LOGWARN, 1, 2));
        q.push(makeEntry(LogLevel::LOGINFO, 1, 3));
        q.push(&Orbanex::ENTRY_FLUSH);
        EXPECT_EQ(q.size(), 2);
        EXPECT_EQ(q.buffered(), 2u);
        // The consumer takes both and pops one: the other still counts, and still goes back.
        LogEntry* e = nullptr;
        ASSERT_TRUE(q.tryPop(e));
        LogBufferedQueue::release(e);
        EXPECT_EQ(q.size(), 1);
    }
    EXPECT_EQ(pool.live() - pool.size(), liveBefore);
}

TEST(LogBufferedQueue, LockedStageKeepsOrderAsItWrapsAndGrows) {
    // A batch of one: every entry of the owner goes over at once.
    LogBufferedQueue q(0, MS);
    int next = 0;
    const auto push = [&](int n) {
        for (int i = 0; i < n; ++i, ++next) q.push(makeEntry(LogLevel::LOGINFO, 1, next));
    };
    std::vector<int> popped;
    const auto pop = [&](int n) {
        LogEntry* e = nullptr;
        for (int i = 0; i < n && q.tryPop(e); ++i) {
            popped.push_back(e->lineno);
            LogBufferedQueue::release(e);
        }
    };
    push(1000);
    pop(1000);
    // The consumer's ring, its start now far along, becomes the locked stage again...
    push(1000);
    pop(1);
    EXPECT_EQ(q.size(), 999);
    // ...and this wraps past its end and then doubles it.
    push(1500);
    EXPECT_EQ(q.size(), 2499);
    pop(next);
    EXPECT_EQ(q.size(), 0);
    std::vector<int> expected(static_cast<size_t>(next));
    for (int i = 0; i < next; ++i) expected[static_cast<size_t>(i)] = i;
    EXPECT_EQ(popped, expected);
}

TEST(LogBufferedQueue, NegativeBatchIsRefused) {
    LogBufferedQueue q(1, MS);
    EXPECT_THROW(q.configure(-1, MS), std::length_error);
}

}  // namespace
