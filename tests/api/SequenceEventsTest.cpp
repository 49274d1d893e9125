// Sequence ids, replay, batches and venue events: worked examples in bytes, text and order.
#include <gtest/gtest.h>

#include <string>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class SequenceEvents : public apitest::ApiTest {};

}  // namespace

TEST_F(SequenceEvents, BatchBytes) {
    EXPECT_EQ(hex(encode(batchRegister())), "02 02 02 04 02");

    BatchesCompletedMessage none;
    EXPECT_EQ(hex(encode(none)), "00");
    EXPECT_EQ(hex(encode(batchUnregister())), "06");
}

TEST_F(SequenceEvents, BatchesCompletedText) {
    BatchesCompletedMessage done = batchesCompleted();
    EXPECT_EQ(text(done),
              "<BatchesCompletedMessage ( batchesCompleted=[ 5" + br(46) + "6" + br(46) + "7 ] )>");
    done.batchesCompleted.clear();
    EXPECT_EQ(text(done), "<BatchesCompletedMessage ( batchesCompleted=[  ] )>");
    done.batchesCompleted = {5};
    EXPECT_EQ(text(done), "<BatchesCompletedMessage ( batchesCompleted=[ 5 ] )>");
}

TEST_F(SequenceEvents, EventReportBytesOrderAndText) {
    EXPECT_EQ(hex(encodeRecord(event(ExchEventType::TRADING_OPEN, 4, 3, "open"))),
              "06 08 06 04 6f 70 65 6e");

    // Same code: market first, then feed, then text.
    const EventReport base = event(ExchEventType::ERROR, 2, 9, "z");
    for (const EventReport& more :
         {event(ExchEventType::ERROR, 3, 0, "a"), event(ExchEventType::ERROR, 2, 10, "a"),
          event(ExchEventType::ERROR, 2, 9, "zz")}) {
        SCOPED_TRACE(text(more));
        EXPECT_TRUE(base < more);
        EXPECT_FALSE(more < base);
    }

    const EventReportMessage msg = eventReport();
    EXPECT_EQ(text(msg), "<EventReportMessage ( sequenceID=12" + br(22) +
                             "contents=( eventCode=TRADING_OPEN" + br(33) +
                             "fmID=( marketID=4  feedID=3 )" + br(33) +
                             "eventContents=\"open\" ) )>");
    EXPECT_EQ(hex(encode(msg)), "18 06 08 06 04 6f 70 65 6e");
}

TEST_F(SequenceEvents, DateRolloverOrdersFalseBeforeTrue) {
    const DateRolloverMessage a = dateRollover(false), b = dateRollover(true);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_EQ(hex(encode(b)), "02 04 06 08 01");
    EXPECT_EQ(text(b), "<DateRolloverMessage ( contents=( fmID=( marketID=1  feedID=2 )" + br(34) +
                           "tradeDate=3" + br(34) + "settleDate=4 )" + br(23) +
                           "dispatchToAll=T )>");
}

TEST_F(SequenceEvents, ReplayStatusWithoutANameIsKept) {
    ShpOXMessage msg = decode(ReplayDoneMessage::ID, bytes(REPLAY_DONE_STATUS_3));
    ASSERT_TRUE(msg);
    const ReplayDone& done = msg->getRef<ReplayDoneMessage>().contents;
    EXPECT_EQ(static_cast<int>(done.replayStatus), 3);
    EXPECT_EQ(hex(encodeRecord(done)), "02 03");
    EXPECT_EQ(text(done), "<ReplayDone ( feedID=1  replayStatus= )>");

    EXPECT_EQ(hex(encode(replay())), "02 14 28 00");
    EXPECT_EQ(text(replay()), "<ReplayMessage ( feedID=1  first=10  last=20  userID=0 )>");
}

TEST_F(SequenceEvents, LastSequenceIDOrdersByItsListFirst) {
    const LastSequenceIDMessage longer = lastSequenceIDs();
    LastSequenceIDMessage shorter;
    shorter.feedSeqIDs = {userSeq(1, 2)};
    shorter.feedID = 9;  // later fields do not count once the lists differ
    shorter.sequenceID = 99;
    EXPECT_TRUE(shorter < longer);
    EXPECT_FALSE(longer < shorter);
    EXPECT_TRUE(shorter != longer);

    EXPECT_EQ(hex(encode(longer)), "02 02 04 06 08 06 06 28");
    EXPECT_EQ(text(longer), "<LastSequenceIDMessage ( feedSeqIDs=[ ( userID=1  sequenceID=2 )" +
                                br(38) + "( userID=3  sequenceID=4 ) ]" + br(25) + "feedID=3" +
                                br(25) + "origFeedID=3" + br(25) + "sequenceID=20 )>");
}
