// Counts the message pool from a fresh process.

#include <gtest/gtest.h>

#include "catalogue/OXProtocol.h"
#include "logging/Message.h"
#include "logging/MessagingInit.h"

namespace {

TEST(MessagingInit, CountedStartFillsThePoolAndBuildsTheCatalogueOnce) {
    auto& pool = Orbanex::Message::getAtomicPool();
    ASSERT_EQ(pool.totalloc(), 0u);
    Orbanex::MessagingInit::finalize();  // unbalanced: nothing happens
    Orbanex::MessagingInit::initialize();
    const Tarvik::MsgProtocol* catalogue = Orbanex::__protocol;
    ASSERT_NE(catalogue, nullptr);
    EXPECT_EQ(pool.size(), 64u);
    EXPECT_EQ(pool.totalloc(), 64u);
    Orbanex::MessagingInit::initialize();
    EXPECT_EQ(Orbanex::__protocol, catalogue);
    EXPECT_EQ(pool.size(), 64u);

    Orbanex::MessagingInit::finalize();
    EXPECT_EQ(Orbanex::__protocol, catalogue);
    Orbanex::MessagingInit::finalize();
    EXPECT_EQ(Orbanex::__protocol, nullptr);
    EXPECT_EQ(pool.size(), 0u);
    EXPECT_EQ(pool.totdealloc(), 64u);
}

}  // namespace
