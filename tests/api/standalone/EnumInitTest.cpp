// Runs without ProtoInit::initialize(): the checking conversions must refuse to run.
#include <gtest/gtest.h>

#include <sstream>

#include "api/LogLevel.h"
#include "api/Side.h"

using namespace ZURAV;

TEST(EnumBeforeInitialisation, CheckingConversionsAssert) {
    const char* expected = "Assertion `_initialized' failed";
    EXPECT_DEATH(Side::isValid(1), expected);
    EXPECT_DEATH(Side::toString(1), expected);
    EXPECT_DEATH(Side::fromValue(1), expected);
    EXPECT_DEATH(Side::fromString("BID"), expected);
    EXPECT_DEATH(
        {
            std::ostringstream os;
            os << LogLevel::LOGINFO;
        },
        expected);
}

TEST(EnumBeforeInitialisation, UncheckedConversionsDoNotAssert) {
    EXPECT_EQ(Side::toValue(Side::OFR), 2);
    EXPECT_EQ(Side::toIndex(Side::OFR), 0);
    EXPECT_EQ(Side::fromIndex(0), static_cast<Side::Type>(0));
}
