#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/bufstring.h"
#include "framework/bufvector.h"
#include "support/TestBlock.h"

using bufstl::bufstring;
using bufstl::bufvector;
using bufstl::bufvectox;
using test_support::TestBlock;

namespace {

std::vector<int> contents(const bufvector<int>& v) { return std::vector<int>(v.begin(), v.end()); }

void fill(bufvector<int>& v, int n, int from = 0) {
    v.resize(0);
    for (int i = 0; i < n; ++i) v.insert(v.end(), 1, from + i);
}

// A vector of exactly `size` elements 0.. with capacity `capacity`.
void shape(bufvector<int>& v, int size, int capacity) {
    v.insert(v.end(), static_cast<size_t>(capacity), -1);
    v.resize(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) v[static_cast<size_t>(i)] = i;
}

}  // namespace

TEST(BufVector, GrowthTakesSizePlusTheLargerOfSizeAndCount) {
    struct Case {
        int size, capacity, insert;
        size_t expectedCapacity;
        bool newStorage;
    };
    const Case cases[] = {
        {0, 0, 7, 7, true},      // an empty vector grows to exactly n
        {10, 10, 1, 20, true},   // doubling
        {10, 10, 15, 25, true},  // n above the size
        {4, 10, 3, 10, false},   // enough free capacity: no new storage
        {4, 10, 6, 10, false},   // filling up exactly
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.size << "/" << c.capacity << " + " << c.insert);
        TestBlock block(4096);
        bufvector<int> v(block.alloc());
        if (c.capacity != 0) shape(v, c.size, c.capacity);
        const size_t usedBefore = block.alloc().size();
        v.insert(v.end(), static_cast<size_t>(c.insert), 7);
        EXPECT_EQ(v.capacity(), c.expectedCapacity);
        EXPECT_EQ(v.size(), static_cast<size_t>(c.size + c.insert));
        EXPECT_EQ(block.alloc().size() != usedBefore, c.newStorage);
        EXPECT_EQ(v.back(), 7);
        // Superseded storage is only booked as released.
        EXPECT_EQ(block.alloc().unused_size(),
                  c.newStorage && c.capacity != 0 ? c.capacity * sizeof(int) : 0u);
    }
}

TEST(BufVector, InsertPlacesElementsAsStdVectorDoes) {
    struct Case {
        int size, capacity, position, n;
    };
    const Case cases[] = {
        {6, 20, 1, 2},  // in place, more elements after the position than inserted
        {6, 20, 4, 5},  // in place, fewer elements after than inserted
        {6, 6, 2, 3},   // into new storage
        {6, 20, 6, 3},  // at the end
        {6, 20, 0, 0},  // nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.size << "/" << c.capacity << " @" << c.position << " +" << c.n);
        TestBlock block(4096);
        bufvector<int> v(block.alloc());
        shape(v, c.size, c.capacity);
        std::vector<int> expected = contents(v);
        expected.insert(expected.begin() + c.position, static_cast<size_t>(c.n), 99);
        v.insert(v.begin() + c.position, static_cast<size_t>(c.n), 99);
        EXPECT_EQ(contents(v), expected);
    }
}

TEST(BufVector, InsertingCopiesOfItsOwnElementUsesTheValueBeforeTheMove) {
    TestBlock block(4096);
    bufvector<int> v(block.alloc());
    shape(v, 5, 20);
    v.insert(v.begin(), 3, v[4]);
    EXPECT_EQ(contents(v), (std::vector<int>{4, 4, 4, 0, 1, 2, 3, 4}));
}

TEST(BufVector, EraseAndResizeMoveTheEndAndKeepTheStorage) {
    TestBlock block(4096);
    bufvector<int> v(block.alloc());
    fill(v, 6);
    const size_t capacity = v.capacity();
    v.erase(v.begin() + 1, v.begin() + 3);
    EXPECT_EQ(contents(v), (std::vector<int>{0, 3, 4, 5}));
    v.erase(v.begin());
    EXPECT_EQ(contents(v), (std::vector<int>{3, 4, 5}));
    v.resize(5);
    EXPECT_EQ(contents(v), (std::vector<int>{3, 4, 5, 0, 0}));
    v.resize(1);
    EXPECT_EQ(contents(v), (std::vector<int>{3}));
    EXPECT_EQ(v.capacity(), capacity);
    EXPECT_EQ(v.add_back(), 0);
    EXPECT_EQ(v.size(), 2u);
}

TEST(BufVector, GrowingBeyondMaxSizeThrowsLengthErrorAndLeavesTheVector) {
    TestBlock block(400);  // max_size() of an int vector: 100
    bufvector<int> v(block.alloc());
    EXPECT_EQ(v.max_size(), 100u);
    fill(v, 10);
    const int* storage = &*v.begin();
    const size_t used = block.alloc().size();
    for (size_t n : {size_t(91), size_t(1000), static_cast<size_t>(-1)}) {
        SCOPED_TRACE(n);
        try {
            v.insert(v.end(), n, 1);
            FAIL() << "no length_error";
        } catch (const std::length_error& e) {
            EXPECT_STREQ(e.what(), "vector::_M_fill_insert");
        }
        EXPECT_EQ(contents(v), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
        EXPECT_EQ(&*v.begin(), storage);
        EXPECT_EQ(block.alloc().size(), used);
    }
}

TEST(BufVector, GrowthThatFitsMaxSizeButNotTheBlockThrowsOutOfRange) {
    TestBlock block(400);
    bufvector<int> v(block.alloc());
    v.resize(60);  // capacity 60 uses 240 of the 400 bytes
    v[59] = 42;
    const size_t capacity = v.capacity();
    EXPECT_THROW(v.insert(v.end(), 1, 5), std::out_of_range);  // wants min(120, 100) elements
    EXPECT_EQ(v.size(), 60u);
    EXPECT_EQ(v.capacity(), capacity);
    EXPECT_EQ(v.back(), 42);
}

TEST(BufVector, DestructionBooksTheCapacityNotTheSize) {
    TestBlock block(4096);
    {
        bufvector<int> v(block.alloc());
        v.insert(v.end(), 10, 1);
        v.resize(3);
        EXPECT_EQ(block.alloc().unused_size(), 0u);
    }
    EXPECT_EQ(block.alloc().unused_size(), 10 * sizeof(int));
    { bufvector<int> never(block.alloc()); }
    EXPECT_EQ(block.alloc().unused_size(), 10 * sizeof(int));
}

TEST(BufVector, AssignmentCopiesIntoTheTargetBlock) {
    TestBlock a(4096), b(4096);
    bufvector<int> source(a.alloc());
    fill(source, 5, 10);
    bufvector<int> target(b.alloc());
    const size_t usedInA = a.alloc().size();

    target = source;  // above the target's capacity: exactly the source count is taken
    EXPECT_EQ(contents(target), contents(source));
    EXPECT_EQ(target.capacity(), 5u);
    EXPECT_TRUE(b.holds(&*target.begin()));
    EXPECT_EQ(a.alloc().size(), usedInA);

    fill(source, 3, 20);
    const int* storage = &*target.begin();
    target = source;  // fewer: assigned in place, the tail dropped
    EXPECT_EQ(contents(target), (std::vector<int>{20, 21, 22}));
    source.insert(source.end(), 1, 23);
    target = source;  // more, within capacity: assigned, then built behind
    EXPECT_EQ(contents(target), (std::vector<int>{20, 21, 22, 23}));
    EXPECT_EQ(&*target.begin(), storage);

    target = target;
    EXPECT_EQ(contents(target), (std::vector<int>{20, 21, 22, 23}));
}

TEST(BufVector, ComparesByCountThenElementsAndOrdersLexicographically) {
    TestBlock block(4096);
    bufvector<int> a(block.alloc()), b(block.alloc()), empty(block.alloc());
    fill(a, 3);  // 0 1 2
    fill(b, 3);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_FALSE(a < b);
    b.add_back();  // 0 1 2 0: a is a proper prefix
    EXPECT_TRUE(a != b);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    b[1] = -5;  // 0 -5 2 0
    EXPECT_TRUE(b < a);
    EXPECT_TRUE(empty < a);
    EXPECT_TRUE(empty != a);
}

TEST(BufVectox, ResizeBuildsEmptyElementsInTheBlockAndResizeZeroKeepsStorage) {
    TestBlock block(4096);
    bufvectox<bufstring> v(block.alloc());
    v.resize(3);
    EXPECT_EQ(v.size(), 3u);
    v[0] = "alpha";    // 6 bytes of storage
    v[2] = "gamma!!";  // 8 bytes
    EXPECT_EQ(v[1].size_(), 0u);
    EXPECT_TRUE(block.holds(v[2].c_str()));
    const size_t capacity = v.capacity();
    const size_t released = block.alloc().unused_size();

    v.resize(0);
    EXPECT_EQ(v.size(), 0u);
    EXPECT_EQ(v.capacity(), capacity);
    EXPECT_EQ(block.alloc().unused_size(), released + 6 + 8);
}

TEST(BufVectox, PushBackAndAddBackAppend) {
    TestBlock block(4096);
    bufvectox<bufstring> v(block.alloc());
    bufstring s(block.alloc());
    s = "one";
    v.push_back(s);
    v.add_back() = "two";
    v.push_back(v[0]);  // its own element
    ASSERT_EQ(v.size(), 3u);
    EXPECT_STREQ(v[0].c_str(), "one");
    EXPECT_STREQ(v[1].c_str(), "two");
    EXPECT_STREQ(v[2].c_str(), "one");
}

TEST(BufVectox, AssignmentRebuildsEveryStringInTheTargetBlock) {
    TestBlock a(4096), b(4096);
    bufvectox<bufstring> source(a.alloc());
    source.resize(3);
    source[0] = "x";
    source[2] = "zzz";  // source[1] stays unassigned
    bufvectox<bufstring> target(b.alloc());
    const size_t usedInA = a.alloc().size();
    target = source;
    ASSERT_EQ(target.size(), 3u);
    EXPECT_TRUE(target == source);
    for (const bufstring& s : target) {
        if (s.size_() != 0) {
            EXPECT_TRUE(b.holds(s.c_str()));
        }
    }
    EXPECT_EQ(a.alloc().size(), usedInA);
    target.checkbounds(b.begin(), b.end());
}

// Strings of 7 characters take 8 bytes and string objects 32, so no padding enters the byte
// counts below: after everything is destroyed, every byte handed out is booked as released
// exactly once.
TEST(BufVectox, BlockRefusedInTheMiddleOfAnInsertLeavesVectorAndAccountingConsistent) {
    struct Case {
        const char* name;
        size_t reserve;  // capacity before the insert
        int blockSize;   // what the vector and its three strings take, the new array, 2 copies
    };
    for (const Case& c : {Case{"into new storage", 2, 64 + 24 + 7 * 32 + 16},
                          Case{"in place", 8, 8 * 32 + 24 + 16}}) {
        SCOPED_TRACE(c.name);
        TestBlock block(c.blockSize);
        size_t refused = 0;
        {
            bufvectox<bufstring> v(block.alloc());
            v.resize(c.reserve);
            v.resize(2);
            v[0] = "first..";
            v[1] = "second.";
            bufstring value(block.alloc());
            value = "value..";
            EXPECT_THROW(v.insert(v.begin() + 2, 5, value), std::out_of_range);
            refused = 8;  // the third copy's string
            ASSERT_EQ(v.size(), 2u);
            EXPECT_STREQ(v[0].c_str(), "first..");
            EXPECT_STREQ(v[1].c_str(), "second.");
            EXPECT_EQ(v.capacity(), c.reserve);
            v.checkbounds(block.begin(), block.end());
        }
        EXPECT_EQ(block.alloc().unused_size(), block.alloc().size() - refused);
    }
}

// An insert into free capacity where no more elements follow the position than are inserted
// first builds the surplus copies of the value behind the end, then copies of the elements that
// move. When the block refuses one of those, everything the insert built is destroyed and the
// vector holds exactly what it held before.
TEST(BufVectox, BlockRefusedWhileMovingElementsOfAFrontOrMiddleInsertLeavesTheVectorAsItWas) {
    struct Case {
        const char* name;
        size_t size, position, n;
    };
    const char* const texts[] = {"first..", "second.", "third..", "fourth."};  // 8 bytes each
    for (const Case& c : {Case{"at the front", 3, 0, 4}, Case{"in the middle", 4, 2, 3}}) {
        SCOPED_TRACE(c.name);
        const size_t reserve = 8;
        // The array, the strings, the value, the surplus copies and one moved element: the next
        // moved element is refused.
        const size_t surplus = c.n - (c.size - c.position);
        TestBlock block(
            static_cast<int>(reserve * sizeof(bufstring) + 8 * c.size + 8 + 8 * surplus + 8));
        {
            bufvectox<bufstring> v(block.alloc());
            v.resize(reserve);
            v.resize(c.size);
            for (size_t i = 0; i < c.size; ++i) v[i] = texts[i];
            bufstring value(block.alloc());
            value = "value..";
            EXPECT_THROW(v.insert(v.begin() + static_cast<long>(c.position), c.n, value),
                         std::out_of_range);
            ASSERT_EQ(v.size(), c.size);
            for (size_t i = 0; i < c.size; ++i) EXPECT_STREQ(v[i].c_str(), texts[i]) << i;
            EXPECT_EQ(v.capacity(), reserve);
            v.checkbounds(block.begin(), block.end());
        }
        // Every byte handed out is booked back exactly once, except the 8 refused.
        EXPECT_EQ(block.alloc().unused_size(), block.alloc().size() - 8);
    }
}
