#include <gtest/gtest.h>

#include <string>

#include "framework/bufstring.h"
#include "support/TestBlock.h"

using bufstl::bufstring;
using test_support::capacity;
using test_support::stored;
using test_support::TestBlock;

TEST(BufString, NewStringHasNoStorageAndDiffersFromAClearedOne) {
    TestBlock block(1024);
    bufstring fresh(block.alloc()), cleared(block.alloc());
    EXPECT_EQ(block.alloc().size(), 0u);
    cleared.clear();
    EXPECT_EQ(fresh.size_(), 0u);
    EXPECT_TRUE(fresh.empty_());
    EXPECT_EQ(capacity(fresh), 0u);
    EXPECT_STREQ(fresh.c_str(), "");
    EXPECT_EQ(cleared.size_(), 0u);
    EXPECT_EQ(stored(cleared), std::string(1, '\0'));
    EXPECT_TRUE(fresh != cleared);
    EXPECT_TRUE(fresh < cleared);
    EXPECT_TRUE(fresh.check());
    EXPECT_TRUE(cleared.check());
}

TEST(BufString, AssignOfNullOrEmptyTextStoresOneNul) {
    TestBlock block(1024);
    bufstring a(block.alloc()), b(block.alloc());
    a.assign(nullptr);
    b.assign("");
    EXPECT_EQ(stored(a), std::string(1, '\0'));
    EXPECT_TRUE(a == b);
}

TEST(BufString, ShorterTextKeepsTheStorageLongerTextGrows) {
    TestBlock block(1024);
    bufstring s(block.alloc());
    s = "hello world";
    const char* storage = s.c_str();
    const size_t cap = capacity(s);
    EXPECT_EQ(cap, 12u);
    s = "hi";
    EXPECT_EQ(s.c_str(), storage);
    EXPECT_EQ(capacity(s), cap);
    EXPECT_EQ(stored(s), std::string("hi\0", 3));
    s = "a much longer text than before";
    EXPECT_GE(capacity(s), 31u);
    EXPECT_STREQ(s.c_str(), "a much longer text than before");
    EXPECT_EQ(s.size_(), 30u);
}

TEST(BufString, AssigningAnUnassignedStringEmptiesCompletely) {
    TestBlock block(1024);
    bufstring s(block.alloc()), never(block.alloc());
    s = "text";
    s = never;
    EXPECT_EQ(stored(s), "");
    EXPECT_EQ(capacity(s), 5u);  // storage kept
    EXPECT_TRUE(s == never);
}

TEST(BufString, CopyTakesEveryStoredCharacterIntoItsOwnBlock) {
    TestBlock a(1024), b(1024);
    bufstring source(a.alloc()), target(b.alloc());
    source.assign("x\0y", 3);
    EXPECT_EQ(source.size_(), 3u);
    target = source;
    EXPECT_EQ(stored(target), std::string("x\0y\0", 4));
    EXPECT_TRUE(b.holds(target.c_str()));
    EXPECT_TRUE(target == source);
    target = target;
    EXPECT_EQ(stored(target), std::string("x\0y\0", 4));
}

TEST(BufString, StdStringAssignmentStopsAtTheFirstNul) {
    TestBlock block(1024);
    bufstring s(block.alloc());
    s = std::string("ab\0cd", 5);
    EXPECT_EQ(stored(s), std::string("ab\0", 3));
    EXPECT_TRUE(s == std::string("ab"));
    EXPECT_TRUE(s != std::string("ab\0cd", 5));
}

TEST(BufString, AppendAndSelfAssignmentFromItsOwnText) {
    TestBlock block(1024);
    bufstring s(block.alloc());
    s.append(nullptr);
    EXPECT_EQ(stored(s), "");
    s += "abc";
    s += "def";
    EXPECT_STREQ(s.c_str(), "abcdef");
    s.assign(s.begin() + 2);  // its own storage
    EXPECT_STREQ(s.c_str(), "cdef");
    s.append(s.c_str());
    EXPECT_STREQ(s.c_str(), "cdefcdef");
    EXPECT_TRUE(s.check());
}

TEST(BufString, OrderIsSignedCharLexicographicWithTheNulIncluded) {
    TestBlock block(1024);
    struct Case {
        const char* less;
        const char* more;
    };
    const Case cases[] = {{"ab", "abc"}, {"\x80", "a"}, {"", "a"}, {"abc", "abd"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.less) + " < " + c.more);
        bufstring l(block.alloc()), m(block.alloc());
        l = c.less;
        m = c.more;
        EXPECT_TRUE(l < m);
        EXPECT_FALSE(m < l);
        EXPECT_TRUE(l != m);
    }
}

TEST(BufStringDeathTest, StorageOutsideTheBlockFailsCheckbounds) {
    TestBlock a(1024), b(1024);
    bufstring s(a.alloc());
    s = "somewhere";
    s.checkbounds(a.begin(), a.end());
    EXPECT_DEATH(s.checkbounds(b.begin(), b.end()),
                 "Assertion `begin_ == 0 \\|\\| \\(begin <= begin_ && begin_ <= end\\)' failed");
}
