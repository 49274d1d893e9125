// User lock messages: worked examples in bytes, text and order.
#include <gtest/gtest.h>

#include <string>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class UserLock : public apitest::ApiTest {};

}  // namespace

TEST_F(UserLock, LockUserBytesAreTheMessageBody) {
    EXPECT_EQ(hex(encodeRecord(lockUser())), "02 72 31 01 01 75");
    LockUserMessage msg;
    msg.contents = lockUser();
    EXPECT_EQ(hex(encode(msg)), "02 72 31 01 01 75");

    LockResponse response;
    response.status = LockStatus::ERROR;
    EXPECT_EQ(hex(encodeRecord(response)), "00 02 00");
    LockResponseMessage answer;
    answer.contents = response;
    EXPECT_EQ(hex(encode(answer)), "00 02 00");
}

TEST_F(UserLock, LockedByteTwoReadsTrue) {
    ShpOXMessage msg = decode(LockUserMessage::ID, bytes(LOCK_USER_LOCKED_BYTE_2));
    ASSERT_TRUE(msg);
    const LockUserMessage& m = msg->getRef<LockUserMessage>();
    EXPECT_TRUE(m.contents.locked);
    EXPECT_EQ(hex(encode(m)), "02 72 31 01 01 75");
}

TEST_F(UserLock, Order) {
    LockUser unlocked = lockUser();
    unlocked.locked = false;
    EXPECT_TRUE(unlocked < lockUser());
    EXPECT_FALSE(lockUser() < unlocked);

    // clRequestID, then status, then reason; a message compares its contents alone.
    LockResponseMessage a, b;
    a.contents.clRequestID = b.contents.clRequestID = "r";
    a.contents.status = LockStatus::SUCCESS;
    a.contents.reason = "z";
    b.contents.status = LockStatus::ERROR;
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    b.contents = a.contents;
    EXPECT_TRUE(a == b);
}

TEST_F(UserLock, OneLineTexts) {
    EXPECT_EQ(text(lockUser()), "<LockUser ( clRequestID=\"r1\"  locked=T  username=\"u\" )>");
    LockUserMessage msg;
    msg.contents = lockUser();
    EXPECT_EQ(text(msg),
              "<LockUserMessage ( contents=( clRequestID=\"r1\"  locked=T  username=\"u\" ) )>");

    LockResponseMessage answer;
    answer.contents.clRequestID = "r1";
    answer.contents.status = static_cast<LockStatus::Type>(9);
    EXPECT_EQ(text(answer),
              "<LockResponseMessage ( contents=( clRequestID=\"r1\"  status=  reason=\"\" ) )>");
}
