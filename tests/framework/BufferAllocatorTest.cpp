#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <stdexcept>
#include <string>

#include "framework/BufferAllocator.h"

namespace {

using Tarvik::BufferAllocator;

const char* const EXHAUSTED =
    "BufferAllocator: exhausted memory block. (MsgName=LogMessage, Site=Here.cpp:12)";

struct Region {
    alignas(8) char bytes[256];
};

std::string dumpOf(const BufferAllocator& a) {
    std::ostringstream os;
    a.dump(os);
    return os.str();
}

std::string expectedDump(const BufferAllocator& a, const char* maxSize, const char* allocated,
                         const char* deallocated, const char* fragmented, const char* used) {
    std::ostringstream addr;
    addr << static_cast<const void*>(&a);
    const std::string rule(69, '-');
    return "," + rule + "\n" + "  BufferAllocator: " + addr.str() + "\n" +
           "      Max size:            " + maxSize + "\n" +
           "      Nb. allocated:       " + allocated + "\n" +
           "      Nb. deallocated:     " + deallocated + "\n" +
           "      % fragmented:        " + fragmented + "%\n" +
           "      % total buffer used: " + used + "%\n" + "`" + rule + "\n";
}

void expectExhausted(BufferAllocator& a, size_t n) {
    try {
        a.allocate(n, nullptr);
        FAIL() << "allocate(" << n << ") did not throw";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), EXHAUSTED);
    }
}

}  // namespace

TEST(BufferAllocator, NewAllocatorIsEmptyAndDumpsZeros) {
    Region r;
    BufferAllocator a(r.bytes, 200, "Here.cpp:12", "LogMessage");
    EXPECT_EQ(a.buffer(), r.bytes);
    EXPECT_EQ(a.end(), r.bytes);
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(a.max_size(), 200u);
    EXPECT_EQ(a.unused_size(), 0u);
    EXPECT_EQ(a.remaining(), 200);
    EXPECT_EQ(dumpOf(a), expectedDump(a, "200", "0", "0", "0", "0"));
}

TEST(BufferAllocator, DumpShowsFragmentationAndUseInSinglePrecision) {
    Region r;
    BufferAllocator a(r.bytes, 7, "Here.cpp:12", "LogMessage");
    a.allocate(3, nullptr);
    a.deallocate(r.bytes, 1);
    EXPECT_EQ(dumpOf(a), expectedDump(a, "7", "3", "1", "33.3333", "42.8571"));

    BufferAllocator b(r.bytes, 200, "Here.cpp:12", "LogMessage");
    b.allocate(100, nullptr);
    b.deallocate(r.bytes, 25);
    EXPECT_EQ(dumpOf(b), expectedDump(b, "200", "100", "25", "25", "50"));
}

TEST(BufferAllocator, AllocationsAreContiguousAndAlignedToEightBytes) {
    Region r;
    BufferAllocator a(r.bytes, 200, "Here.cpp:12", "LogMessage");
    EXPECT_EQ(a.allocate(3, nullptr), r.bytes);
    EXPECT_EQ(a.size(), 3u);
    // The padding before the next allocation counts as used.
    EXPECT_EQ(a.allocate(16, nullptr), r.bytes + 8);
    EXPECT_EQ(a.size(), 24u);
    EXPECT_EQ(a.allocate(1, nullptr), r.bytes + 24);
    EXPECT_EQ(a.remaining(), 200 - 25);
    // A request of nothing returns the current end and moves nothing.
    EXPECT_EQ(a.allocate(0, nullptr), r.bytes + 25);
    EXPECT_EQ(a.size(), 25u);
}

TEST(BufferAllocator, DeallocateOnlyCountsReleasedBytes) {
    Region r;
    BufferAllocator a(r.bytes, 200, "Here.cpp:12", "LogMessage");
    char* p = a.allocate(40, nullptr);
    a.deallocate(p, 40);
    a.deallocate(p, 8);
    EXPECT_EQ(a.unused_size(), 48u);
    EXPECT_EQ(a.size(), 40u);
    EXPECT_EQ(a.allocate(8, nullptr), r.bytes + 40);
}

TEST(BufferAllocator, AllocationEndingExactlyAtTheEndSucceeds) {
    Region r;
    BufferAllocator a(r.bytes, 100, "Here.cpp:12", "LogMessage");
    a.allocate(60, nullptr);
    EXPECT_EQ(a.allocate(36, nullptr), r.bytes + 64);
    EXPECT_EQ(a.remaining(), 0);
    EXPECT_EQ(a.allocate(0, nullptr), r.bytes + 100);
}

TEST(BufferAllocator, OneByteTooManyExhaustsTheBlockForGood) {
    Region r;
    BufferAllocator a(r.bytes, 100, "Here.cpp:12", "LogMessage");
    a.allocate(60, nullptr);
    expectExhausted(a, 37);
    // The end stays moved: size() counts the refused bytes and the block refuses from now on.
    EXPECT_EQ(a.size(), 101u);
    EXPECT_EQ(a.remaining(), -1);
    expectExhausted(a, 0);
    expectExhausted(a, 1);
    EXPECT_EQ(a.size(), 105u);  // 101, padded to 104, then 0 and 1 more refused bytes
}

TEST(BufferAllocator, HugeRequestIsRefusedWithoutWrappingAround) {
    Region r;
    BufferAllocator a(r.bytes, 100, "Here.cpp:12", "LogMessage");
    expectExhausted(a, static_cast<size_t>(-1));
    EXPECT_LT(a.remaining(), 0);
    expectExhausted(a, static_cast<size_t>(-1));
    EXPECT_LT(a.remaining(), 0);
    expectExhausted(a, 0);
}

TEST(BufferAllocator, ErrorNamesEmptyTextsForNullNameAndSite) {
    Region r;
    BufferAllocator a(r.bytes, 8, nullptr, nullptr);
    try {
        a.allocate(9, nullptr);
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "BufferAllocator: exhausted memory block. (MsgName=, Site=)");
    }
}

TEST(BufferAllocator, CallSiteFormNamesTheGivenSite) {
    Region r;
    BufferAllocator a(r.bytes, 16, "Here.cpp:12", "LogMessage");
    const Orbanex::CallSite site("Grow.cpp:7");
    EXPECT_EQ(a.allocate(10, site), r.bytes);
    try {
        a.allocate(7, site);
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(
            e.what(),
            "BufferAllocator: exhausted memory block. (MsgName=LogMessage, Site=Grow.cpp:7)");
    }
    // The refusal exhausts the block for every form.
    expectExhausted(a, 0);
}

TEST(BufferAllocatorDeathTest, NegativeSizeIsAnAssertion) {
    Region r;
    BufferAllocator empty(r.bytes, 0, "Here.cpp:12", "LogMessage");
    expectExhausted(empty, 1);
    for (int size : {-1, INT_MIN}) {
        SCOPED_TRACE(size);
        EXPECT_DEATH(BufferAllocator(r.bytes, size, "Here.cpp:12", "LogMessage"),
                     "Assertion `max_size >= 0' failed");
    }
}
