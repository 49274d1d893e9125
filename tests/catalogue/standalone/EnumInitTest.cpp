// Runs without initialising the catalogue's enumerations: the checking conversions, and so the
// encoding and the text of any field of an enumeration type, must refuse to run.
#include <gtest/gtest.h>

#include <sstream>

#include "catalogue/LogLevel.h"
#include "catalogue/MDEntry.h"
#include "catalogue/Side.h"
#include "common/FastOStream.h"
#include "framework/FastCodec.h"
#include "support/TestBlock.h"

using namespace Orbanex;

TEST(CatalogueEnumBeforeInitialisation, CheckingConversionsAssert) {
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
    EXPECT_DEATH(
        {
            StaticOStream<16> os;
            os << LogLevel::LOGINFO;
        },
        expected);
    EXPECT_DEATH(
        {
            test_support::TestBlock block(1024);
            MDEntry entry(block.alloc());
            char buf[64];
            Tarvik::FastCodec c(buf, buf + sizeof buf);
            entry.write(c);
        },
        expected);
    EXPECT_DEATH(
        {
            test_support::TestBlock block(1024);
            MDEntry entry(block.alloc());
            std::ostringstream os;
            os << entry;
        },
        expected);
}

TEST(CatalogueEnumBeforeInitialisation, IndexConversionsAnswerZero) {
    EXPECT_FALSE(Side::_initialized);
    EXPECT_EQ(Side::toIndex(Side::OFR), 0);
    EXPECT_EQ(Side::fromIndex(1), static_cast<Side::Type>(0));
    EXPECT_EQ(LogLevel::toIndex(LogLevel::LOGDEBUG), 0);
}
