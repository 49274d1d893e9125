// The framework's message blocks and descriptors over the real catalogue: every message class
// set up in a block through a protocol, encoded, decoded, copied and retired through its
// descriptor.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "CatalogueTestUtil.h"
#include "framework/MsgControl.h"
#include "framework/MsgDescriptor.h"

using namespace Orbanex;
using namespace cattest;
using Tarvik::MsgControl;
using test_support::RawBlock;

namespace {

template <class M>
class EveryMessageInABlock : public CatalogueTest {
  protected:
    MsgControl* setUp(RawBlock& block) {
        return MsgControl::initialize("Test.cpp:1", block.data(), block.size(), nullptr, __protocol,
                                      M::ID);
    }
    static M& message(MsgControl* c) { return *reinterpret_cast<M*>(c->getMessageBuffer()); }
};

using Messages = ::testing::Types<OX_CATALOGUE_MESSAGE_TYPES>;
TYPED_TEST_SUITE(EveryMessageInABlock, Messages);

}  // namespace

TYPED_TEST(EveryMessageInABlock, CodesCopiesAndRetiresThroughItsDescriptor) {
    RawBlock a(1 << 16), b(1 << 16), c(1 << 16);
    MsgControl* ca = this->setUp(a);
    EXPECT_EQ(ca->getId(), TypeParam::ID);
    EXPECT_EQ(ca->getIndex(), TypeParam::INDEX);
    EXPECT_EQ(ca->getDescriptor()->size(), sizeof(TypeParam));
    const std::string name = ::testing::internal::GetTypeName<TypeParam>();
    EXPECT_EQ(ca->getDescriptor()->name(), name.substr(name.rfind(':') + 1));

    TypeParam& m = this->message(ca);
    Filler(5).walk(m);
    const Bytes expected = encode(m);
    const Bytes body = test_support::encode([&](Tarvik::FastCodec& codec) { ca->write(codec); });
    EXPECT_EQ(body, expected);

    MsgControl* cb = this->setUp(b);
    EXPECT_EQ(test_support::decode(body, [&](Tarvik::FastCodec& codec) { cb->read(codec); }),
              body.size());
    EXPECT_TRUE(this->message(cb) == m);
    cb->getDescriptor()->checkbounds(cb->getMessageBuffer(), b.begin(), b.end());

    MsgControl* cc = this->setUp(c);
    cc->getDescriptor()->copy(cc->getMessageBuffer(), &m);
    EXPECT_TRUE(this->message(cc) == m);
    cc->getDescriptor()->checkbounds(cc->getMessageBuffer(), c.begin(), c.end());

    Tarvik::MsgStats& stats = ca->getDescriptor()->getStats();
    const size_t used = static_cast<size_t>(static_cast<const char*>(b.end()) -
                                            static_cast<const char*>(b.begin()) -
                                            MsgControl::OFFSET - cb->getRemainingBytes());
    cb->finalize(false);
    EXPECT_EQ(static_cast<size_t>(stats.nalloc), used);
}

TEST_F(CatalogueTest, ABlockTooSmallNamesTheMessageType) {
    RawBlock block(512);
    MsgControl* c = MsgControl::initialize("Logger.cpp:42", block.data(), block.size(), nullptr,
                                           __protocol, LogMessage::ID);
    LogMessage& m = *reinterpret_cast<LogMessage*>(c->getMessageBuffer());
    EXPECT_EQ(thrown<std::out_of_range>([&] { m.description = std::string(300, 'x'); }),
              "BufferAllocator: exhausted memory block. (MsgName=LogMessage, Site=Logger.cpp:42)");
    EXPECT_EQ(thrown<std::runtime_error>([&] {
                  MsgControl::initialize("x", block.data(), block.size(), nullptr, __protocol, 3);
              }),
              "Invalid id '3' for protocol 'Orbanex'");
}
