// Sequence ids, replay, batches and venue events: worked examples in bytes, text and order.
#include <gtest/gtest.h>

#include <string>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class SequenceEvents : public apitest::ApiTest {};

EventReport event(ExchEventType::Type code, int marketID, int feedID, const char* contents) {
    EventReport x;
    x.eventCode = code;
    x.fmID.marketID = marketID;
    x.fmID.feedID = feedID;
    x.eventContents = contents;
    return x;
}

UserSequenceID userSeq(int userID, int sequenceID) {
    UserSequenceID x;
    x.userID = userID;
    x.sequenceID = sequenceID;
    return x;
}

}  // namespace

TEST_F(SequenceEvents, BatchBytes) {
    BatchRegisterMessage reg;
    reg.feedID = 1;
    reg.marketIDList = {1, 2};
    reg.batchDefID = 1;
    EXPECT_EQ(hex(encode(reg)), "02 02 02 04 02");

    BatchesCompletedMessage none;
    EXPECT_EQ(hex(encode(none)), "00");
    BatchUnregisterMessage unreg;
    unreg.batchDefID = 3;
    EXPECT_EQ(hex(encode(unreg)), "06");
}

TEST_F(SequenceEvents, BatchesCompletedText) {
    BatchesCompletedMessage done;
    done.batchesCompleted = {5, 6, 7};
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

    EventReportMessage msg;
    msg.sequenceID = 12;
    msg.contents = event(ExchEventType::TRADING_OPEN, 4, 3, "open");
    EXPECT_EQ(text(msg), "<EventReportMessage ( sequenceID=12" + br(22) +
                             "contents=( eventCode=TRADING_OPEN" + br(33) +
                             "fmID=( marketID=4  feedID=3 )" + br(33) +
                             "eventContents=\"open\" ) )>");
    EXPECT_EQ(hex(encode(msg)), "18 06 08 06 04 6f 70 65 6e");
}

TEST_F(SequenceEvents, DateRolloverOrdersFalseBeforeTrue) {
    DateRolloverMessage a;
    a.contents.fmID.marketID = 1;
    a.contents.fmID.feedID = 2;
    a.contents.tradeDate = 3;
    a.contents.settleDate = 4;
    DateRolloverMessage b = a;
    b.dispatchToAll = true;
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_EQ(hex(encode(b)), "02 04 06 08 01");
    EXPECT_EQ(text(b), "<DateRolloverMessage ( contents=( fmID=( marketID=1  feedID=2 )" + br(34) +
                           "tradeDate=3" + br(34) + "settleDate=4 )" + br(23) +
                           "dispatchToAll=T )>");
}

TEST_F(SequenceEvents, ReplayStatusWithoutANameIsKept) {
    // feedID 1, replayStatus 3, userID 0.
    ShpOXMessage msg = decode(ReplayDoneMessage::ID, bytes("02 03 00"));
    ASSERT_TRUE(msg);
    const ReplayDone& done = msg->getRef<ReplayDoneMessage>().contents;
    EXPECT_EQ(static_cast<int>(done.replayStatus), 3);
    EXPECT_EQ(hex(encodeRecord(done)), "02 03");
    EXPECT_EQ(text(done), "<ReplayDone ( feedID=1  replayStatus= )>");

    ReplayMessage replay;
    replay.feedID = 1;
    replay.first = 10;
    replay.last = 20;
    EXPECT_EQ(hex(encode(replay)), "02 14 28 00");
    EXPECT_EQ(text(replay), "<ReplayMessage ( feedID=1  first=10  last=20  userID=0 )>");
}

TEST_F(SequenceEvents, LastSequenceIDOrdersByItsListFirst) {
    LastSequenceIDMessage shorter, longer;
    shorter.feedSeqIDs = {userSeq(1, 2)};
    longer.feedSeqIDs = {userSeq(1, 2), userSeq(3, 4)};
    shorter.feedID = 9;  // later fields do not count once the lists differ
    shorter.sequenceID = 9;
    EXPECT_TRUE(shorter < longer);
    EXPECT_FALSE(longer < shorter);
    EXPECT_TRUE(shorter != longer);

    longer.feedID = 3;
    longer.origFeedID = 3;
    longer.sequenceID = 20;
    EXPECT_EQ(hex(encode(longer)), "02 02 04 06 08 06 06 28");
    EXPECT_EQ(text(longer), "<LastSequenceIDMessage ( feedSeqIDs=[ ( userID=1  sequenceID=2 )" +
                                br(38) + "( userID=3  sequenceID=4 ) ]" + br(25) + "feedID=3" +
                                br(25) + "origFeedID=3" + br(25) + "sequenceID=20 )>");
}
