#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "common/AtomicFreeList.h"
#include "common/AtomicallyPooled.h"

using Orbanex::AtomicallyPooled;
using Orbanex::AtomicFreeList;

namespace {

struct Obj {
    uint64_t owner;
    uint64_t serial;
    uint64_t check;
};

typedef AtomicFreeList<Obj> ObjPool;

std::vector<std::string> gReports;
void recordReport(const char* text) { gReports.emplace_back(text); }

}  // namespace

TEST(AtomicFreeList, FreedObjectIsCachedAndHandedOutAgain) {
    ObjPool pool(0, 0);
    Obj* a = pool.allocate();
    EXPECT_EQ(pool.totalloc(), 1u);
    EXPECT_EQ(pool.size(), 0u);
    EXPECT_EQ(pool.live(), 1u);
    pool.deallocate(a);
    EXPECT_EQ(pool.size(), 1u);
    EXPECT_EQ(pool.allocate(), a);
    EXPECT_EQ(pool.size(), 0u);
    EXPECT_EQ(pool.totalloc(), 1u);
    pool.deallocate(a);
}

struct alignas(64) CacheAligned : public AtomicallyPooled<CacheAligned> {
    char bytes[100];
};

TEST(AtomicFreeList, BlocksAreAlignedForAnOverAlignedType) {
    std::vector<CacheAligned*> objects;
    for (int i = 0; i < 8; ++i) objects.push_back(new CacheAligned);
    for (CacheAligned* p : objects) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u);
        delete p;
    }
    // Cached blocks handed out again keep the alignment.
    CacheAligned* again = new CacheAligned;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(again) % 64, 0u);
    delete again;
    CacheAligned::finalize();
}

TEST(AtomicFreeList, CapSendsSurplusBackToTheHeap) {
    struct Row {
        size_t maxsize;
        size_t freed;
        size_t cached;
        size_t totdealloc;
    };
    const Row rows[] = {
        {2, 3, 2, 1},  // the third goes to the heap
        {0, 3, 3, 0},  // 0: no cap
        {1, 1, 1, 0},
        {5, 3, 3, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("maxsize " + std::to_string(r.maxsize) + ", freed " + std::to_string(r.freed));
        ObjPool pool(0, r.maxsize);
        EXPECT_EQ(pool.maxsize(), r.maxsize);
        std::vector<Obj*> objs;
        for (size_t i = 0; i < r.freed; ++i) objs.push_back(pool.allocate());
        for (Obj* o : objs) pool.deallocate(o);
        EXPECT_EQ(pool.size(), r.cached);
        EXPECT_EQ(pool.totdealloc(), r.totdealloc);
        EXPECT_EQ(pool.live(), r.cached);
    }
}

TEST(AtomicFreeList, MaxSizeIsKeptIn32Bits) {
    ObjPool pool(0, 0);
    pool.setMaxSize(SIZE_MAX);
    EXPECT_EQ(pool.maxsize(), 4294967295u);
    pool.setMaxSize((size_t{1} << 32) + 3);
    EXPECT_EQ(pool.maxsize(), 3u);
}

TEST(AtomicFreeList, PreAllocateFillsTheCache) {
    ObjPool pool(0, 0);
    pool.preAllocate(64);
    EXPECT_EQ(pool.size(), 64u);
    EXPECT_EQ(pool.totalloc(), 64u);

    ObjPool built(64, 0);
    EXPECT_EQ(built.size(), 64u);
    EXPECT_EQ(built.totalloc(), 64u);

    ObjPool capped(0, 10);
    capped.preAllocate(64);
    EXPECT_EQ(capped.size(), 10u);
    EXPECT_EQ(capped.totalloc(), 64u);
    EXPECT_EQ(capped.totdealloc(), 54u);
}

TEST(AtomicFreeList, ClearReturnsEveryCachedObject) {
    ObjPool pool(5, 0);
    Obj* held = pool.allocate();
    pool.clear();
    EXPECT_EQ(pool.size(), 0u);
    EXPECT_EQ(pool.totdealloc(), 4u);
    EXPECT_EQ(pool.live(), 1u);
    // The pool keeps working after a clear.
    pool.deallocate(held);
    EXPECT_EQ(pool.size(), 1u);
    EXPECT_EQ(pool.allocate(), held);
    pool.deallocate(held);
}

TEST(AtomicFreeList, LiveObjectsAboveThresholdReportedEachTenth) {
    gReports.clear();
    ObjPool pool(0, 0);
    pool.setErrorThreshold(100, recordReport);
    std::vector<Obj*> objs;
    for (int i = 0; i < 101; ++i) objs.push_back(pool.allocate());
    EXPECT_TRUE(gReports.empty()) << "101 is not a multiple of 10";
    for (int i = 101; i < 110; ++i) objs.push_back(pool.allocate());
    ASSERT_EQ(gReports.size(), 1u);
    EXPECT_EQ(gReports[0], std::string("Error in free-list ") + typeid(const ObjPool*).name() +
                               ": nb. of live objects exceeds thresdhold (110 > 100)");
    for (int i = 110; i < 120; ++i) objs.push_back(pool.allocate());
    EXPECT_EQ(gReports.size(), 2u);
    // Cached objects do not count as live: freeing and taking again reports nothing new.
    for (Obj* o : objs) pool.deallocate(o);
    for (Obj*& o : objs) o = pool.allocate();
    EXPECT_EQ(gReports.size(), 2u);
    for (Obj* o : objs) pool.deallocate(o);
}

TEST(AtomicFreeList, SmallThresholdReportsEveryObjectAboveIt) {
    gReports.clear();
    ObjPool pool(0, 0);
    pool.setErrorThreshold(5, recordReport);
    pool.preAllocate(7);
    EXPECT_EQ(gReports.size(), 2u);  // 6 and 7 live: threshold / 10 is 0
}

TEST(AtomicFreeListDeathTest, ThresholdWithoutCallbackStopsWhenExceeded) {
    EXPECT_DEATH(
        {
            ObjPool pool(0, 0);
            pool.setErrorThreshold(1, nullptr);
            pool.allocate();
            pool.allocate();
        },
        "Assertion `_errorCallback' failed");
}

// Threads take and return objects; each stamps what it holds and checks the stamp before giving
// it back, so an object handed to two threads at once shows up as a foreign stamp.
namespace {

void churn(ObjPool& pool, uint64_t id, int rounds, std::atomic<bool>& go,
           std::atomic<int>& foreign) {
    while (!go.load()) std::this_thread::yield();
    Obj* held[3] = {};
    for (int r = 0; r < rounds; ++r) {
        for (uint64_t k = 0; k < 3; ++k) {
            Obj* o = pool.allocate();
            o->owner = id;
            o->serial = static_cast<uint64_t>(r) * 3 + k;
            o->check = id ^ o->serial;
            held[k] = o;
        }
        for (uint64_t k = 0; k < 3; ++k) {
            Obj* o = held[2 - k];
            const uint64_t serial = static_cast<uint64_t>(r) * 3 + (2 - k);
            if (o->owner != id || o->serial != serial || o->check != (id ^ serial)) ++foreign;
            pool.deallocate(o);
        }
    }
}

void runChurn(ObjPool& pool, int threads, int rounds) {
    std::atomic<bool> go{false};
    std::atomic<int> foreign{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(churn, std::ref(pool), static_cast<uint64_t>(t + 1), rounds,
                             std::ref(go), std::ref(foreign));
    go = true;
    for (std::thread& w : workers) w.join();
    EXPECT_EQ(foreign.load(), 0);
}

}  // namespace

TEST(AtomicFreeListThreads, ConcurrentTakersNeverShareAnObject) {
    ObjPool pool(0, 0);
    runChurn(pool, 4, 20000);
    // Everything came back: the cache holds every object ever allocated and none was freed.
    EXPECT_EQ(pool.totdealloc(), 0u);
    EXPECT_EQ(pool.size(), pool.totalloc());
    EXPECT_LE(pool.totalloc(), 4u * 3u);
    EXPECT_GE(pool.totalloc(), 3u);

    // The cache is intact: it hands out exactly size() distinct objects before allocating anew.
    std::set<Obj*> seen;
    const size_t cached = pool.size();
    for (size_t i = 0; i < cached; ++i) EXPECT_TRUE(seen.insert(pool.allocate()).second);
    EXPECT_EQ(pool.size(), 0u);
    EXPECT_EQ(pool.totalloc(), cached);
    for (Obj* o : seen) pool.deallocate(o);
}

TEST(AtomicFreeListThreads, ConcurrentTakersWithACapFreeTheSurplus) {
    ObjPool pool(0, 2);
    runChurn(pool, 4, 20000);
    EXPECT_EQ(pool.live(), pool.size()) << "every object came back to the cache or the heap";
    EXPECT_GE(pool.totdealloc(), 1u);
    pool.clear();
    EXPECT_EQ(pool.live(), 0u);
    EXPECT_EQ(pool.size(), 0u);
}

// Pooled classes.
namespace {

struct Pooled : AtomicallyPooled<Pooled> {
    uint64_t a = 1;
    uint64_t b = 2;
};

struct LargerThanPooled : Pooled {
    char extra[64] = {};
};

struct Early : AtomicallyPooled<Early> {
    uint64_t value = 42;
};

// Created by this unit's static initialisation; the pool must already be usable then, and must
// not be reset by an initialiser that runs later.
Early* gEarly = new Early;

}  // namespace

TEST(AtomicallyPooled, NewAndDeleteGoThroughTheClassPool) {
    auto& pool = Pooled::getAtomicPool();
    EXPECT_EQ(pool.maxsize(), 4294967295u);
    const size_t before = pool.totalloc();
    Pooled* p = new Pooled;
    EXPECT_EQ(p->b, 2u);
    EXPECT_EQ(pool.totalloc(), before + 1);
    delete p;
    EXPECT_EQ(pool.size(), 1u);
    Pooled* q = new Pooled;
    EXPECT_EQ(q, p);
    EXPECT_EQ(pool.size(), 0u);
    delete q;

    Pooled::initialize(1);
    Pooled::preAllocate(3);
    EXPECT_EQ(pool.size(), 1u);
    Pooled::finalize();
    EXPECT_EQ(pool.size(), 0u);
    Pooled::initialize(SIZE_MAX);
}

TEST(AtomicallyPooled, UsableFromStaticInitialisers) {
    auto& pool = Early::getAtomicPool();
    EXPECT_EQ(pool.totalloc(), 1u);
    EXPECT_EQ(pool.live(), 1u);
    EXPECT_EQ(gEarly->value, 42u);
    delete gEarly;
    gEarly = nullptr;
    EXPECT_EQ(pool.size(), 1u);
}

TEST(AtomicallyPooledDeathTest, NewOfALargerDerivedClassAsserts) {
    EXPECT_DEATH(delete new LargerThanPooled, "Assertion `size <= sizeof\\(T\\)' failed");
}
