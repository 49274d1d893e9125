// Records and messages as objects: the scalar records' constructors, storage booked as released
// on destruction, assignment of strings, and the bounds check.
#include <gtest/gtest.h>

#include <string>

#include "CatalogueTestUtil.h"

using namespace Orbanex;
using namespace cattest;
using test_support::capacity;
using test_support::stored;

namespace {

class Records : public CatalogueTest {};

}  // namespace

TEST_F(Records, ScalarRecordsTakeTheirFieldsInDeclarationOrder) {
    const FeedMarketID fm(7, 2);
    EXPECT_EQ(fm.marketID, 7);
    EXPECT_EQ(fm.feedID, 2);
    const DateRollover roll(fm, 20240102, 20240104);
    EXPECT_TRUE(roll.fmID == fm);
    EXPECT_EQ(roll.tradeDate, 20240102);
    EXPECT_EQ(roll.settleDate, 20240104);
    const Subscription sub(APIType::TRADING, 3, 4);
    EXPECT_EQ(sub.apiType, APIType::TRADING);
    EXPECT_EQ(sub.marketID, 4);
    // Default-built scalar records are zero, like those built with a block's allocator.
    test_support::TestBlock block(64);
    EXPECT_TRUE(DateRollover() == DateRollover(block.alloc()));
    EXPECT_EQ(DateRollover().fmID.marketID, 0);
    DateRollover copy(roll);
    EXPECT_TRUE(copy == roll);
}

TEST_F(Records, DestructionBooksTheStorageOfStringsAndListsAsReleased) {
    InBlock<MarketView> view;
    view->mdEntryList.resize(2);
    view->mdEntryList[0].components = "first entry";
    view->mdEntryList[1].components = "second";
    const size_t expected = capacity(view->mdEntryList[0].components) +
                            capacity(view->mdEntryList[1].components) +
                            view->mdEntryList.capacity() * sizeof(MDEntry);
    const size_t before = view.alloc().unused_size();
    view.destroy();
    EXPECT_EQ(view.alloc().unused_size() - before, expected);

    InBlock<ClientConnectMessage> message;
    message->password = "secret";
    const size_t c = capacity(message->password);
    const size_t held = message.alloc().unused_size();
    message.destroy();
    EXPECT_EQ(message.alloc().unused_size() - held, c);
}

TEST_F(Records, AssigningAnUnassignedStringLeavesNoStoredBytes) {
    InBlock<ClientConnectMessage> target;
    target->user = "abc";
    InBlock<ClientConnectMessage> source;
    *target = *source;
    EXPECT_EQ(stored(target->user), "");
    EXPECT_EQ(capacity(target->user), 4u);  // the storage it had stays
    EXPECT_TRUE(*target == *source);
}

TEST_F(Records, BoundsCheckStopsAtStorageOutsideTheBlock) {
    InBlock<ClientConnectMessage> m;
    m->user = "abc";
    m->checkbounds(m.begin(), m.end());
    // A range without the message itself.
    EXPECT_DEATH(m->checkbounds(m.end(), static_cast<const char*>(m.end()) + 64),
                 "begin <= this && this < end");
    // A range that holds the message but not the storage of its string.
    const void* justTheMessage = reinterpret_cast<const char*>(&*m) + sizeof(ClientConnectMessage);
    EXPECT_DEATH(m->checkbounds(m.begin(), justTheMessage), "begin <= begin_ && begin_ <= end");
}
