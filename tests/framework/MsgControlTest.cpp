#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/FastCodec.h"
#include "framework/MsgControl.h"
#include "framework/MsgDescriptor.h"
#include "framework/MsgDescriptorT.h"
#include "framework/MsgProtocol.h"
#include "support/CodecBytes.h"
#include "support/StandInFixture.h"
#include "support/TestBlock.h"

using StandIn::NoteMessage;
using StandIn::TickMessage;
using Tarvik::MsgControl;
using test_support::RawBlock;

namespace {

const char* const SITE = "Here.cpp:12";
const size_t NOTE_END = MsgControl::OFFSET + sizeof(NoteMessage);

class MsgControlTest : public test_support::StandInTest {
  protected:
    static MsgControl* note(RawBlock& block) { return initMessage(block, NoteMessage::ID, SITE); }
};

using MsgControlDeathTest = MsgControlTest;
using MsgControlThreads = MsgControlTest;

}  // namespace

TEST_F(MsgControlTest, InitializeBuildsAnEmptyMessageBehindTheHeader) {
    RawBlock block(4096);
    MsgControl* c = note(block);
    EXPECT_EQ(static_cast<void*>(c), block.data());
    EXPECT_EQ(MsgControl::get(block.data()), c);
    EXPECT_EQ(c->getId(), NoteMessage::ID);
    EXPECT_EQ(c->getIndex(), NoteMessage::INDEX);
    EXPECT_STREQ(c->getDescriptor()->name(), "NoteMessage");
    EXPECT_EQ(c->getProtocol(), StandIn::__protocol);
    EXPECT_EQ(c->getPool(), nullptr);
    EXPECT_EQ(c->getMessageBuffer(), block.data() + 128);
    EXPECT_EQ(c->getRemainingBytes(), static_cast<ptrdiff_t>(4096 - NOTE_END));

    const NoteMessage& m = message<NoteMessage>(c);
    EXPECT_EQ(m.timestamp, 0);
    EXPECT_EQ(m.title.size_(), 0u);
    EXPECT_EQ(m.values.size(), 0u);
    EXPECT_EQ(m.entries.capacity(), 0u);
    m.checkbounds(block.begin(), block.end());

    std::ostringstream dump;
    c->dumpAlloc(dump);
    EXPECT_NE(
        dump.str().find("      Nb. allocated:       " + std::to_string(sizeof(NoteMessage)) + "\n"),
        std::string::npos);
}

TEST_F(MsgControlTest, UnknownIdThrowsAndLeavesTheBlockUntouched) {
    RawBlock block(1024);
    std::memset(block.data(), 0xAB, block.size());
    try {
        MsgControl::initialize(SITE, block.data(), block.size(), nullptr, StandIn::__protocol,
                               0x1234);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid id '4660' for protocol 'StandIn'");
    }
    for (size_t i = 0; i < block.size(); ++i) ASSERT_EQ(block.data()[i], '\xAB') << i;
}

TEST_F(MsgControlTest, BlockMustHoldTheMessageObject) {
    RawBlock exact(NOTE_END);
    MsgControl* c = note(exact);
    EXPECT_EQ(c->getRemainingBytes(), 0);

    RawBlock small(NOTE_END - 8);
    try {
        note(small);
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(),
                     "BufferAllocator: exhausted memory block. (MsgName=NoteMessage, "
                     "Site=Here.cpp:12)");
    }
}

TEST_F(MsgControlTest, ContainerGrowthExhaustsTheBlockExactlyAndByOneByte) {
    RawBlock exact(NOTE_END + 24);
    MsgControl* c = note(exact);
    message<NoteMessage>(c).title = std::string(23, 't').c_str();  // 23 characters and the NUL
    EXPECT_EQ(c->getRemainingBytes(), 0);
    message<NoteMessage>(c).checkbounds(exact.begin(), exact.end());

    RawBlock over(NOTE_END + 24);
    c = note(over);
    try {
        message<NoteMessage>(c).title = std::string(24, 't').c_str();
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(),
                     "BufferAllocator: exhausted memory block. (MsgName=NoteMessage, "
                     "Site=Here.cpp:12)");
    }
    EXPECT_EQ(c->getRemainingBytes(), -1);
    EXPECT_EQ(message<NoteMessage>(c).title.size_(), 0u);  // the message stays as it was
    // The block refuses from now on, even a request it could have served before.
    EXPECT_THROW(message<NoteMessage>(c).secret = "x", std::out_of_range);
    EXPECT_LT(c->getRemainingBytes(), 0);
}

TEST_F(MsgControlTest, WriteAndReadGoThroughTheDescriptor) {
    RawBlock a(4096), b(4096);
    MsgControl* source = note(a);
    fillNote(message<NoteMessage>(source));
    const test_support::Bytes bytes =
        test_support::encode([&](Tarvik::FastCodec& codec) { source->write(codec); });
    const test_support::Bytes direct = test_support::encode(
        [&](Tarvik::FastCodec& codec) { message<NoteMessage>(source).write(codec); });
    EXPECT_EQ(bytes, direct);

    MsgControl* target = note(b);
    test_support::decodeAll(bytes, [&](Tarvik::FastCodec& codec) { target->read(codec); });
    EXPECT_EQ(test_support::encode([&](Tarvik::FastCodec& codec) { target->write(codec); }), bytes);
    message<NoteMessage>(target).checkbounds(b.begin(), b.end());
}

TEST_F(MsgControlTest, FinalizeAddsToTheTypeCountersAndRetiresTheBlock) {
    Tarvik::MsgStats& stats = StandIn::__protocol->getDescriptor(NoteMessage::ID)->getStats();
    RawBlock block(4096);

    MsgControl* c = note(block);
    message<NoteMessage>(c).title = "abc";  // 4 bytes
    message<NoteMessage>(c).title =
        "abcdefghij";  // 11 more after 4 bytes of padding; the 4 are released
    const size_t used = sizeof(NoteMessage) + 8 + 11;
    c->finalize(false);
    EXPECT_EQ(stats.nalloc, used);
    EXPECT_EQ(stats.ndealloc, 4u);
    EXPECT_EQ(stats.max_size, used);
    EXPECT_EQ(c->getDescriptor(), nullptr);
    EXPECT_EQ(c->getProtocol(), nullptr);
    EXPECT_EQ(c->getPool(), nullptr);
    EXPECT_EQ(c->getId(), NoteMessage::ID);  // kept

    // A smaller message of the same type raises the sums but not the maximum.
    c = note(block);
    c->finalize(false);
    EXPECT_EQ(stats.nalloc, used + sizeof(NoteMessage));
    EXPECT_EQ(stats.ndealloc, 4u);
    EXPECT_EQ(stats.max_size, used);

    // A retired block may hold any type next.
    c = initMessage(block, TickMessage::ID, SITE);
    EXPECT_EQ(c->getIndex(), TickMessage::INDEX);
    EXPECT_STREQ(c->getDescriptor()->name(), "TickMessage");
    EXPECT_EQ(stats.nconstruct + stats.ndestroy + stats.ncopy + stats.nwrite + stats.nread +
                  stats.nundress,
              0u);
}

TEST_F(MsgControlTest, ReaderWriterConflictsAreReportedButNotRefused) {
    RawBlock block(1024);
    MsgControl* c = note(block);

    testing::internal::CaptureStderr();
    EXPECT_EQ(c->acquireWriter(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    EXPECT_EQ(c->acquireWriter(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "R/W conflict on acquiring writer (readers = 0, writers = 2) detected for "
              "'NoteMessage'.\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(c->acquireReader(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "R/W conflict on acquiring reader (readers = 1, writers = 2) detected for "
              "'NoteMessage'.\n");

    c->releaseWriter();
    c->releaseWriter();
    testing::internal::CaptureStderr();
    EXPECT_EQ(c->acquireReader(), 0);  // two readers, no writer
    EXPECT_EQ(c->acquireWriter(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "R/W conflict on acquiring writer (readers = 2, writers = 1) detected for "
              "'NoteMessage'.\n");
}

TEST_F(MsgControlDeathTest, BrokenPreconditionsStopTheProgram) {
    RawBlock block(1024);
    EXPECT_DEATH(
        MsgControl::initialize(SITE, nullptr, 1024, nullptr, StandIn::__protocol, NoteMessage::ID),
        "Assertion `buf != 0 && bufsize > 0' failed");
    EXPECT_DEATH(MsgControl::initialize(SITE, block.data(), 0, nullptr, StandIn::__protocol,
                                        NoteMessage::ID),
                 "Assertion `buf != 0 && bufsize > 0' failed");
    EXPECT_DEATH(
        MsgControl::initialize(SITE, block.data(), 1024, nullptr, nullptr, NoteMessage::ID),
        "Assertion `protocol != 0' failed");
    EXPECT_DEATH(MsgControl::initialize(SITE, block.data() + 4, 512, nullptr, StandIn::__protocol,
                                        NoteMessage::ID),
                 "ALIGNMENT == 0' failed");
    EXPECT_DEATH(MsgControl::initialize(SITE, block.data(), 64, nullptr, StandIn::__protocol,
                                        NoteMessage::ID),
                 "Assertion `bufsize > static_cast<size_t>\\(OFFSET\\)");
    EXPECT_DEATH(MsgControl::get(nullptr), "Assertion `buffer != 0' failed");

    Tarvik::MsgDescriptorT<TickMessage> orphan("TickMessage", nullptr);
    EXPECT_DEATH(::new (block.data())
                     MsgControl(SITE, block.data(), block.data() + 128, 512, &orphan, nullptr),
                 "Assertion `_protocol != 0' failed");
    EXPECT_DEATH(::new (block.data())
                     MsgControl(SITE, block.data(), block.data() + 128, 512, nullptr, nullptr),
                 "Assertion `_descriptor != 0' failed");

    MsgControl* c = note(block);
    c->finalize(false);
    EXPECT_DEATH(c->finalize(false), "Assertion `_buffer != 0 && _descriptor != 0' failed");
}

// The allocator counts in int: a larger region is refused rather than cut, also where the cut
// would leave a small positive size.
TEST_F(MsgControlDeathTest, RegionLargerThanTheAllocatorCountsStopsTheProgram) {
    RawBlock block(1024);
    Tarvik::MsgDescriptor* desc = StandIn::__protocol->getDescriptor(NoteMessage::ID);
    for (size_t size : {size_t(INT_MAX) + 1, (size_t(1) << 32) + 512}) {
        SCOPED_TRACE(size);
        EXPECT_DEATH(::new (block.data())
                         MsgControl(SITE, block.data(), block.data() + 128, size, desc, nullptr),
                     "Assertion `size <= static_cast<size_t>\\(INT_MAX\\)' failed");
    }
}

// After finalize() the block has no descriptor: encoding, decoding or reporting a conflict on
// it stops on an assertion instead of following a null pointer.
TEST_F(MsgControlDeathTest, UsingARetiredBlockStopsTheProgram) {
    RawBlock block(1024);
    MsgControl* c = note(block);
    c->finalize(false);
    std::vector<char> buf(64, 1);
    Tarvik::FastCodec codec(buf.data(), buf.data() + buf.size());
    EXPECT_DEATH(c->write(codec), "Assertion `_descriptor != 0' failed");
    EXPECT_DEATH(c->read(codec), "Assertion `_descriptor != 0' failed");
    EXPECT_EQ(c->acquireWriter(), 0);
    EXPECT_DEATH(c->acquireReader(), "Assertion `_descriptor != 0' failed");
}

// Several threads build, fill, encode and retire blocks of both stand-in types at once, as
// pooled messages are retired on whichever thread drops them; the types' shared counters add up
// to exactly what every retired block used and released.
namespace {

struct Retired {
    size_t used = 0, released = 0, largest = 0;

    void add(size_t u, size_t r) {
        used += u;
        released += r;
        largest = std::max(largest, u);
    }
};

const size_t BLOCK = 4096;

// The bytes a live block has taken from its region.
size_t usedBytes(const MsgControl* c) {
    return BLOCK - MsgControl::OFFSET - static_cast<size_t>(c->getRemainingBytes());
}

}  // namespace

TEST_F(MsgControlThreads, ConcurrentRetiresAddUpInTheTypeCounters) {
    const int threads = 4;
    const int rounds = 400;
    std::atomic<bool> go{false};
    std::atomic<int> mismatches{0};
    std::vector<Retired> notes(threads), ticks(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            RawBlock block(BLOCK), copy(BLOCK);
            while (!go.load()) std::this_thread::yield();
            for (int r = 0; r < rounds; ++r) {
                MsgControl* c = note(block);
                NoteMessage& m = message<NoteMessage>(c);
                m.title = "abc";  // 4 bytes, released by the next assignment
                m.title = std::string(4 + static_cast<size_t>(t * 37 + r) % 200, 'a' + t).c_str();
                m.values.insert(m.values.end(), static_cast<size_t>(r % 9), r);
                // Encoded and read into a block of its own: the message is this thread's alone.
                const test_support::Bytes bytes =
                    test_support::encode([&](Tarvik::FastCodec& out) { c->write(out); });
                MsgControl* back = note(copy);
                test_support::decode(bytes, [&](Tarvik::FastCodec& in) { back->read(in); });
                if (message<NoteMessage>(back).title != m.title) ++mismatches;
                // Reading into an empty message grows each container once, from nothing.
                notes[t].add(usedBytes(back), 0);
                back->finalize(false);
                back = initMessage(copy, TickMessage::ID, SITE);
                message<TickMessage>(back).seq = r;
                ticks[t].add(usedBytes(back), 0);
                back->finalize(false);
                notes[t].add(usedBytes(c), 4);
                c->finalize(false);
            }
        });
    }
    go = true;
    for (std::thread& w : workers) w.join();
    EXPECT_EQ(mismatches.load(), 0);

    for (Tarvik::MsgType_t id : {NoteMessage::ID, TickMessage::ID}) {
        SCOPED_TRACE(id);
        Retired expected;
        for (int t = 0; t < threads; ++t) {
            const Retired& part = id == NoteMessage::ID ? notes[t] : ticks[t];
            expected.used += part.used;
            expected.released += part.released;
            expected.largest = std::max(expected.largest, part.largest);
        }
        const Tarvik::MsgStats& stats = StandIn::__protocol->getDescriptor(id)->getStats();
        EXPECT_EQ(stats.nalloc, expected.used);
        EXPECT_EQ(stats.ndealloc, expected.released);
        EXPECT_EQ(stats.max_size, expected.largest);
    }
}
