#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>

#include "client/IdAllocator.h"

namespace {

using ZURAV::IdAllocator;
typedef IdAllocator::id_type Id;

TEST(IdAllocator, IdsAreTheShiftedSessionOverACounterAndStayLive) {
    IdAllocator ids(3, 40);
    const Id first = Id(3) << 40;
    EXPECT_EQ(ids.allocate(), first);
    EXPECT_EQ(ids.allocate(), first + 1);
    EXPECT_TRUE(ids.contains(first));
    EXPECT_TRUE(ids.contains(first + 1));
    EXPECT_FALSE(ids.contains(first + 2));
}

TEST(IdAllocator, RemoveTakesOutOnlyTheIdGivenAndNeverRewindsTheCounter) {
    IdAllocator ids(3, 40);
    const Id a = ids.allocate();
    const Id b = ids.allocate();

    ids.remove(b + 100);  // not live: nothing changes
    EXPECT_TRUE(ids.contains(a));
    EXPECT_TRUE(ids.contains(b));

    ids.remove(a);
    EXPECT_FALSE(ids.contains(a));
    EXPECT_TRUE(ids.contains(b));
    EXPECT_EQ(ids.allocate(), b + 1);
}

TEST(IdAllocator, TheCounterWrapsAfterItsWidthAndIdsRepeat) {
    IdAllocator ids(1, 2);
    const Id first = ids.allocate();
    EXPECT_EQ(first, 4);
    EXPECT_EQ(ids.allocate(), 5);
    EXPECT_EQ(ids.allocate(), 6);
    EXPECT_EQ(ids.allocate(), 7);
    EXPECT_EQ(ids.allocate(), first);
    EXPECT_TRUE(ids.contains(first));
}

TEST(IdAllocator, FirstIdsAtTheBoundariesOfSessionAndWidth) {
    const Id min32 = std::numeric_limits<int32_t>::min();
    const Id max32 = std::numeric_limits<int32_t>::max();
    struct Case {
        Id session;
        short shift;
        Id first;
        Id second;
    };
    const Case cases[] = {
        {3, 40, Id(3) << 40, (Id(3) << 40) + 1},
        {7, 1, 14, 15},
        {1, 62, Id(1) << 62, (Id(1) << 62) + 1},
        // Negative and large session ids keep the bits a shift gives, the top ones lost.
        {-1, 40, -(Id(1) << 40), -(Id(1) << 40) + 1},
        {-2, 40, -(Id(2) << 40), -(Id(2) << 40) + 1},
        {min32, 40, 0, 1},
        {max32, 40, -(Id(1) << 40), -(Id(1) << 40) + 1},
        // No counter: every id is the session id.
        {5, 0, 5, 5},
        {5, -3, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "session " << c.session << " shift " << c.shift);
        IdAllocator ids(c.session, c.shift);
        EXPECT_EQ(ids.allocate(), c.first);
        EXPECT_EQ(ids.allocate(), c.second);
        EXPECT_TRUE(ids.contains(c.first));
    }
}

TEST(IdAllocator, ACounterOf63BitsOrMoreIsRefused) {
    for (short shift : {63, 64, 100}) {
        SCOPED_TRACE(shift);
        EXPECT_THROW(IdAllocator(1, shift), std::invalid_argument);
    }
}

}  // namespace
