// The catalogue's counted initialize() and finalize(), from a process in which nothing has built
// the catalogue yet.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "catalogue/OXProtocol.h"
#include "framework/MsgDescriptor.h"

using namespace Orbanex;

namespace {

// What a built registry answers, to compare two builds.
std::string answers() {
    std::string text = __protocol->getName();
    size_t count = 0;
    const int* index = __protocol->getMessageIndex(count);
    for (size_t i = 0; i < count; ++i) {
        const Tarvik::MsgDescriptor* d = __protocol->getDescriptor(index[i]);
        text += std::string(" ") + d->name() + ":" + std::to_string(d->index());
    }
    return text + " " + __protocol->getSignature() + " " + __protocol->getSignatureAPI() + " " +
           __protocol->getSignatureStorage();
}

}  // namespace

TEST(ProtocolLifecycle, CountedBuildsOnceAndFreesAtTheBalancingFinalize) {
    EXPECT_EQ(__protocol, nullptr);
    // Unbalanced: nothing to free, and the count does not go below zero.
    finalize();
    finalize();
    EXPECT_EQ(__protocol, nullptr);

    initialize();
    ASSERT_NE(__protocol, nullptr);
    const Tarvik::MsgProtocol* first = __protocol;
    const Tarvik::MsgDescriptor* version = __protocol->getDescriptor(0);
    const std::string built = answers();

    initialize();
    EXPECT_EQ(__protocol, first);
    EXPECT_EQ(__protocol->getDescriptor(0), version);
    finalize();
    EXPECT_EQ(__protocol, first);
    EXPECT_EQ(__protocol->getDescriptor(0), version);
    finalize();
    EXPECT_EQ(__protocol, nullptr);
    finalize();
    EXPECT_EQ(__protocol, nullptr);

    // The earlier unbalanced calls left nothing owed: one initialize() builds again, and one
    // finalize() frees.
    initialize();
    ASSERT_NE(__protocol, nullptr);
    EXPECT_EQ(answers(), built);
    finalize();
    EXPECT_EQ(__protocol, nullptr);
}

TEST(ProtocolLifecycle, EnumerationTablesStayFilledAfterFinalize) {
    initialize();
    finalize();
    EXPECT_TRUE(Side::_initialized);
    EXPECT_STREQ(Side::toString(Side::OFR), "OFR");
    EXPECT_EQ(LogLevel::fromString("LOGDEBUG"), LogLevel::LOGDEBUG);
    EXPECT_STREQ(SubscriptionStatus::toString(3), "ERROR");
}
