#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "common/Buffer.h"

using Orbanex::Buffer;

namespace {

void put(Buffer& b, const char* text) {
    const size_t n = std::strlen(text);
    ASSERT_LE(n, b.remaining());
    std::memcpy(b.current(), text, n);
    b.advancePosition(n);
}

void expectWindow(const Buffer& b, size_t position, size_t limit) {
    EXPECT_EQ(b.position(), position);
    EXPECT_EQ(b.limit(), limit);
    EXPECT_EQ(b.remaining(), limit - position);
}

}  // namespace

TEST(Buffer, NewBufferOpensItsWholeCapacity) {
    Buffer b(16);
    EXPECT_EQ(b.capacity(), 16u);
    expectWindow(b, 0, 16);
    EXPECT_EQ(b.current(), b.buffer());
    EXPECT_EQ(b.end(), b.buffer() + 16);
    EXPECT_TRUE(b.hasRemaining());

    Buffer one;
    EXPECT_EQ(one.capacity(), 1u);
    expectWindow(one, 0, 1);
}

// The event loop's cycle: write, flip, read part, compact, write again.
TEST(Buffer, WriteFlipReadCompactSequence) {
    Buffer b(16);
    put(b, "abcdefghij");
    expectWindow(b, 10, 16);

    b.flip();
    expectWindow(b, 0, 10);
    EXPECT_EQ(std::string(b.current(), b.remaining()), "abcdefghij");

    b.advancePosition(4);
    expectWindow(b, 4, 10);
    b.compact();
    expectWindow(b, 6, 16);
    EXPECT_EQ(std::string(b.buffer(), 6), "efghij");

    put(b, "XY");
    b.flip();
    EXPECT_EQ(std::string(b.current(), b.remaining()), "efghijXY");

    b.advancePosition(b.remaining());
    EXPECT_FALSE(b.hasRemaining());
    b.compact();
    expectWindow(b, 0, 16);
}

TEST(Buffer, MarkResetRewindAndClear) {
    Buffer b(16);
    b.setPosition(5);
    b.mark();
    b.advancePosition(3);
    b.reset();
    expectWindow(b, 5, 16);

    b.setLimit(10);
    b.rewind();
    expectWindow(b, 0, 10);
    b.reset();  // back to the mark, which rewind kept
    EXPECT_EQ(b.position(), 5u);

    b.decrementPosition(0);
    b.clear();
    expectWindow(b, 0, 16);
    b.setPosition(1);  // the mark is 0 again after clear
}

TEST(Buffer, ResetWithASizeZeroFillsAnOwnedArray) {
    Buffer b(4);
    b.advancePosition(2);
    b.reset(32);
    EXPECT_EQ(b.capacity(), 32u);
    expectWindow(b, 0, 32);
    EXPECT_EQ(std::string(b.buffer(), 32), std::string(32, '\0'));
}

// The destructor must leave an adopted array alone; deleting this stack array would be caught
// by AddressSanitizer.
TEST(Buffer, AdoptedArrayIsZeroFilledAndNotFreed) {
    char external[8];
    std::memset(external, 'x', sizeof external);
    {
        Buffer b(4);
        b.reset(external, sizeof external);
        EXPECT_EQ(b.buffer(), external);
        EXPECT_EQ(b.capacity(), 8u);
        expectWindow(b, 0, 8);
        put(b, "ab");
    }
    EXPECT_EQ(std::string(external, 8), std::string("ab\0\0\0\0\0\0", 8));
}

TEST(BufferDeathTest, BrokenWindowStopsTheProgram) {
    const struct {
        const char* label;
        std::function<void(Buffer&)> op;
        const char* message;
    } cases[] = {
        {"advance past the limit",
         [](Buffer& b) {
             b.flip();
             b.advancePosition(1);
         },
         "advancePosition.*Assertion `_position <= _limit' failed"},
        {"position below the mark",
         [](Buffer& b) {
             b.setPosition(4);
             b.mark();
             b.setPosition(3);
         },
         "setPosition.*Assertion `_mark <= _position' failed"},
        {"rewind below the mark",
         [](Buffer& b) {
             b.setPosition(4);
             b.mark();
             b.rewind();
             b.advancePosition(1);
         },
         "advancePosition.*Assertion `_mark <= _position' failed"},
        {"decrement below zero", [](Buffer& b) { b.decrementPosition(1); },
         "decrementPosition.*Assertion `_position <= _limit' failed"},
        {"advance past the capacity", [](Buffer& b) { b.advancePosition(17); },
         "advancePosition.*Assertion `_position <= _limit' failed"},
        {"decrement below zero by more than the capacity",
         [](Buffer& b) {
             b.setPosition(4);
             b.decrementPosition(17);
         },
         "decrementPosition.*Assertion `_position <= _limit' failed"},
        // Added, these steps wrap the position round to 3 and 5, inside the window.
        {"advance wrapping past zero",
         [](Buffer& b) {
             b.setPosition(4);
             b.advancePosition(SIZE_MAX);
         },
         "advancePosition.*Assertion `n <= _capacity - _position' failed"},
        {"decrement wrapping past zero",
         [](Buffer& b) {
             b.setPosition(4);
             b.decrementPosition(SIZE_MAX);
         },
         "decrementPosition.*Assertion `n <= _capacity' failed"},
        {"limit below the position",
         [](Buffer& b) {
             b.setPosition(4);
             b.setLimit(3);
         },
         "setLimit.*Assertion `_position <= _limit' failed"},
        {"limit past the capacity", [](Buffer& b) { b.setLimit(17); },
         "setLimit.*Assertion `_limit <= _capacity' failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_DEATH(
            {
                Buffer b(16);
                c.op(b);
            },
            c.message);
    }
}
