#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/FastCodec.h"
#include "framework/MsgControl.h"
#include "framework/MsgDescriptor.h"
#include "framework/MsgDescriptorT.h"
#include "framework/MsgProtocol.h"
#include "support/Bytes.h"
#include "support/CodecBytes.h"
#include "support/StandInFixture.h"
#include "support/TestBlock.h"

using StandIn::NoteMessage;
using StandIn::TickMessage;
using Tarvik::FastCodec;
using Tarvik::MsgControl;
using Tarvik::MsgDescriptor;
using test_support::Bytes;
using test_support::decode;
using test_support::decodeAll;
using test_support::encode;
using test_support::hex;
using test_support::RawBlock;
using test_support::TestBlock;

namespace {

class MsgDescriptorTest : public test_support::StandInTest {
  protected:
    static MsgDescriptor* descriptor(Tarvik::MsgType_t id) {
        return StandIn::__protocol->getDescriptor(id);
    }
};

using MsgDescriptorDeathTest = MsgDescriptorTest;

// Every string of a note, for checking where their storage lies.
std::vector<const bufstl::bufstring*> strings(const NoteMessage& m) {
    std::vector<const bufstl::bufstring*> all = {&m.title, &m.secret, &m.padding};
    for (const StandIn::Entry& e : m.entries) {
        all.push_back(&e.name);
        for (const bufstl::bufstring& t : e.tags) all.push_back(&t);
    }
    return all;
}

}  // namespace

TEST_F(MsgDescriptorTest, ReportsTheClassConstantsAndTheNameItWasGiven) {
    const char* name = "SomeName";
    Tarvik::MsgDescriptorT<TickMessage> d(name, StandIn::__protocol);
    EXPECT_EQ(d.name(), name);
    EXPECT_EQ(d.id(), 0x0A02);
    EXPECT_EQ(d.index(), 1);
    EXPECT_EQ(d.size(), sizeof(TickMessage));
    EXPECT_EQ(d.protocol(), StandIn::__protocol);
    EXPECT_EQ(d.getTypeObject(), nullptr);
    int tag = 0;
    d.setTypeObject(&tag);
    EXPECT_EQ(d.getTypeObject(), &tag);
    const Tarvik::MsgStats& s = d.getStats();
    EXPECT_EQ(s.nconstruct + s.ndestroy + s.ncopy + s.nwrite + s.nread + s.nalloc + s.ndealloc +
                  s.max_size + s.nundress,
              0u);
}

TEST_F(MsgDescriptorTest, ConstructAtNullDoesNothing) {
    TestBlock b(1024);
    descriptor(NoteMessage::ID)->construct(nullptr, b.alloc());
    EXPECT_EQ(b.alloc().size(), 0u);
}

TEST_F(MsgDescriptorTest, StandInProtocolAnswersItsRegistryQuestions) {
    const Tarvik::MsgProtocol& p = *StandIn::__protocol;
    EXPECT_STREQ(p.getName(), "StandIn");
    size_t count = 0;
    const int* ids = p.getMessageIndex(count);
    ASSERT_EQ(count, 2u);
    for (size_t i = 0; i < count; ++i) {
        const MsgDescriptor* d = p.getDescriptor(static_cast<Tarvik::MsgType_t>(ids[i]));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->index(), static_cast<short>(i));
        EXPECT_EQ(p.getMessageName(d->id()), std::string(d->name()));
    }
    EXPECT_EQ(p.getDescriptor(0x0A03), nullptr);
    EXPECT_EQ(p.getDefinition(), nullptr);
    size_t size = 0;
    EXPECT_EQ(std::string(static_cast<const char*>(p.getCompressedDefinition(size))),
              "(Not supported.)");
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(std::string(p.getSignature()).size(), 32u);
}

TEST_F(MsgDescriptorTest, MessagesRoundTripThroughTheirDescriptors) {
    RawBlock a(4096), b(4096);
    MsgControl* source = initMessage(a, NoteMessage::ID);
    fillNote(message<NoteMessage>(source));
    MsgDescriptor* d = descriptor(NoteMessage::ID);

    const Bytes bytes = encode([&](FastCodec& c) { d->write(source->getMessageBuffer(), c); });
    EXPECT_EQ(bytes, encode([&](FastCodec& c) { message<NoteMessage>(source).write(c); }));

    MsgControl* target = initMessage(b, NoteMessage::ID);
    decodeAll(bytes, [&](FastCodec& c) { d->read(target->getMessageBuffer(), c); });
    const NoteMessage& in = message<NoteMessage>(source);
    const NoteMessage& out = message<NoteMessage>(target);
    EXPECT_EQ(out.timestamp, in.timestamp);
    EXPECT_TRUE(out.title == in.title);
    EXPECT_TRUE(out.secret == in.secret);
    EXPECT_TRUE(out.padding == in.padding);
    EXPECT_TRUE(out.values == in.values);
    ASSERT_EQ(out.entries.size(), 2u);
    EXPECT_EQ(out.entries[0].id, 7);
    EXPECT_STREQ(out.entries[0].tags[2].c_str(), "ccc");
    // The unassigned tag decodes as the assigned empty string, which compares unequal.
    EXPECT_EQ(out.entries[0].tags[1].size_(), 0u);
    EXPECT_FALSE(out.entries[0].tags == in.entries[0].tags);
    EXPECT_TRUE(out.entries[1].name == in.entries[1].name);
    ASSERT_EQ(out.points.size(), 2u);
    EXPECT_EQ(out.points[1].x, -2147483647 - 1);
    EXPECT_EQ(out.points[1].y, 2147483647);
    d->checkbounds(target->getMessageBuffer(), b.begin(), b.end());

    // The scrambled field is plain text in memory and scrambled on the wire.
    EXPECT_EQ(hex(bytes).find(hex(Bytes(in.secret.c_str(), in.secret.c_str() + 19))),
              std::string::npos);

    RawBlock t(1024);
    MsgControl* tick = initMessage(t, TickMessage::ID);
    TickMessage& tm = message<TickMessage>(tick);
    tm.seq = 300;
    tm.price = Tarvik::NA;
    tm.flag = true;
    tm.kind = -1;
    const Bytes tickBytes = encode([&](FastCodec& c) { tick->write(c); });
    EXPECT_EQ(hex(tickBytes), "d8 04 07 01 ff");
    RawBlock t2(1024);
    MsgControl* tick2 = initMessage(t2, TickMessage::ID);
    decode(tickBytes, [&](FastCodec& c) { tick2->read(c); });
    EXPECT_EQ(encode([&](FastCodec& c) { tick2->write(c); }), tickBytes);
}

TEST_F(MsgDescriptorTest, TruncatedOrInflatedBodiesRaiseDecodeErrorInsideTheInput) {
    RawBlock a(4096);
    MsgControl* source = initMessage(a, NoteMessage::ID);
    fillNote(message<NoteMessage>(source));
    const Bytes bytes = encode([&](FastCodec& c) { source->write(c); });

    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        RawBlock b(4096);
        MsgControl* target = initMessage(b, NoteMessage::ID);
        EXPECT_THROW(decode(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(cut)),
                            [&](FastCodec& c) { target->read(c); }),
                     Tarvik::DecodeError);
        message<NoteMessage>(target).checkbounds(b.begin(), b.end());
    }

    // A list count no body of this size could hold is refused before anything is sized.
    RawBlock b(4096);
    MsgControl* target = initMessage(b, NoteMessage::ID);
    EXPECT_THROW(decode(test_support::unhex("00 00 00 00 00 ff ff 01 02"),
                        [&](FastCodec& c) { target->read(c); }),
                 Tarvik::DecodeError);
    EXPECT_EQ(message<NoteMessage>(target).values.capacity(), 0u);
}

TEST_F(MsgDescriptorTest, CopyLandsWhollyInTheTargetBlock) {
    RawBlock a(4096), b(4096);
    MsgControl* source = initMessage(a, NoteMessage::ID);
    fillNote(message<NoteMessage>(source));
    const ptrdiff_t sourceRemaining = source->getRemainingBytes();
    MsgControl* target = initMessage(b, NoteMessage::ID);
    message<NoteMessage>(target).title = "to be replaced";

    descriptor(NoteMessage::ID)->copy(target->getMessageBuffer(), source->getMessageBuffer());
    EXPECT_EQ(source->getRemainingBytes(), sourceRemaining);
    NoteMessage& copy = message<NoteMessage>(target);
    for (const bufstl::bufstring* s : strings(copy)) {
        if (test_support::capacity(*s) != 0) {
            EXPECT_TRUE(b.holds(s->c_str()));
        }
    }
    EXPECT_TRUE(b.holds(&*copy.entries.begin()));
    EXPECT_TRUE(b.holds(&*copy.points.begin()));
    EXPECT_TRUE(b.holds(&*copy.values.begin()));
    descriptor(NoteMessage::ID)->checkbounds(target->getMessageBuffer(), b.begin(), b.end());

    const Bytes before = encode([&](FastCodec& c) { target->write(c); });
    EXPECT_EQ(before, encode([&](FastCodec& c) { source->write(c); }));
    message<NoteMessage>(source).entries[0].name = "changed";
    message<NoteMessage>(source).entries[0].tags[0] = "changed too";
    EXPECT_EQ(encode([&](FastCodec& c) { target->write(c); }), before);
}

TEST_F(MsgDescriptorTest, DestroyBooksEveryContainerCapacityAsReleased) {
    const Tarvik::MsgStats& stats = descriptor(NoteMessage::ID)->getStats();
    RawBlock a(4096);
    MsgControl* c = initMessage(a, NoteMessage::ID);
    descriptor(NoteMessage::ID)->destroy(c->getMessageBuffer());  // nothing was taken
    c->finalize(false);
    EXPECT_EQ(stats.ndealloc, 0u);

    c = initMessage(a, NoteMessage::ID);
    NoteMessage& m = message<NoteMessage>(c);
    m.title = "12345678";                   // capacity 9
    m.values.insert(m.values.end(), 3, 1);  // 12 bytes
    m.entries.resize(1);                    // one Entry
    m.entries[0].name = "abc";              // 4 bytes
    const ptrdiff_t remaining = c->getRemainingBytes();
    descriptor(NoteMessage::ID)->destroy(&m);
    EXPECT_EQ(c->getRemainingBytes(), remaining);  // released bytes are not reused
    c->finalize(false);
    EXPECT_EQ(stats.ndealloc, 9 + 12 + sizeof(StandIn::Entry) + 4);
}

TEST_F(MsgDescriptorDeathTest, CheckboundsStopsWhenTheMessageLiesOutsideTheRange) {
    RawBlock a(4096), other(4096);
    MsgControl* c = initMessage(a, NoteMessage::ID);
    fillNote(message<NoteMessage>(c));
    MsgDescriptor* d = descriptor(NoteMessage::ID);
    d->checkbounds(c->getMessageBuffer(), a.begin(), a.end());
    EXPECT_DEATH(d->checkbounds(c->getMessageBuffer(), other.begin(), other.end()),
                 "Assertion `begin <= this && this < end' failed");
    // The message inside, its storage not: the container's own assertion fires.
    EXPECT_DEATH(d->checkbounds(c->getMessageBuffer(), a.begin(), c->getMessageBuffer() + 1),
                 "Assertion `begin_ == 0 \\|\\| \\(begin <= begin_ && begin_ <= end\\)' failed");
}
