#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "ApiTestUtil.h"
#include "api/APIAll.h"

using namespace ZURAV;
using apitest::thrown;

namespace {

class Enum : public apitest::ApiTest {};

}  // namespace

TEST_F(Enum, TablesFollowDeclarationOrder) {
    EXPECT_EQ(MatchStatus::fromIndex(0), MatchStatus::PENDING);
    EXPECT_EQ(MatchStatus::toIndex(MatchStatus::DONE), 1);
    EXPECT_EQ(MatchStatus::toIndex(MatchStatus::ERROR), 2);
    EXPECT_EQ(CancelRejectReason::toIndex(CancelRejectReason::NOT_IMPLEMENTED), 8);
    EXPECT_EQ(CancelRejectReason::toIndex(CancelRejectReason::FEED_DOWN), 9);
    EXPECT_EQ(APIResult::toIndex(APIResult::SOCKERR_DNS), 5);
    EXPECT_EQ(APIResult::toIndex(APIResult::NOT_CONNECTED), 11);
    EXPECT_EQ(APIResult::fromIndex(36), APIResult::NOT_APPLICABLE);
    EXPECT_EQ(Side::toValue(Side::OFR), 2);
    EXPECT_EQ(std::string(Side::Name), "Side");
    EXPECT_EQ(APIResult::_maxValue, 255u);
    EXPECT_EQ(APIResult::_nbValues, 37u);
    EXPECT_EQ(StandardTenor::_nbValues, 26u);
}

TEST_F(Enum, ValidityAndNamesByValue) {
    EXPECT_TRUE(APIResult::isValid(254));
    EXPECT_FALSE(APIResult::isValid(255));
    EXPECT_FALSE(Side::isValid(0));
    EXPECT_FALSE(Side::isValid(200));
    EXPECT_EQ(Side::toString(200), nullptr);
    EXPECT_STREQ(MDSource::toString(8), "OX_BOOK");
    EXPECT_EQ(MDSource::toString(3), nullptr);
    EXPECT_FALSE(TimeInForce::isValid(2));
    EXPECT_TRUE(TimeInForce::isValid(3));
    EXPECT_STREQ(StandardTenor::toString(0), "NA");
    EXPECT_EQ(Side::fromValue(1), Side::BID);
    EXPECT_EQ(RejectReason::fromValue(254), RejectReason::NOT_APPLICABLE);
}

TEST_F(Enum, UncheckedConversionsStayInsideTheirTables) {
    EXPECT_EQ(RejectReason::toIndex(static_cast<RejectReason::Type>(255)), 0);
    EXPECT_EQ(Side::toIndex(static_cast<Side::Type>(200)), 0);
    EXPECT_EQ(Side::fromIndex(2), static_cast<Side::Type>(0));
}

TEST_F(Enum, FromValueThrowsWithTheByteAsOneCharacter) {
    EXPECT_EQ(thrown<std::invalid_argument>([] { Side::fromValue(0); }),
              "Invalid value for Side: ");
    EXPECT_EQ(thrown<std::invalid_argument>([] { Side::fromValue(65); }),
              "Invalid value for Side: A");
    EXPECT_EQ(thrown<std::invalid_argument>([] { LogLevel::fromValue(65); }),
              "Invalid value for LogLevel: A");
    EXPECT_EQ(thrown<std::invalid_argument>([] { MDElement::fromValue(0); }),
              "Invalid value for MDElement: ");
}

TEST_F(Enum, FromStringMatchesNamesExactly) {
    EXPECT_EQ(Side::fromString("BID"), Side::BID);
    EXPECT_EQ(MatchStatus::fromString("PENDING"), MatchStatus::PENDING);
    EXPECT_EQ(APIResult::fromString("NOT_APPLICABLE"), APIResult::NOT_APPLICABLE);
    EXPECT_EQ(thrown<std::invalid_argument>([] { Side::fromString("bid"); }),
              "Invalid string 'bid' for converting to enum Side.");
    EXPECT_EQ(thrown<std::invalid_argument>([] { Side::fromString(""); }),
              "Invalid string '' for converting to enum Side.");
    EXPECT_EQ(thrown<std::invalid_argument>([] { Side::fromString(nullptr); }),
              "Empty string for converting to enum Side.");
    EXPECT_EQ(thrown<std::invalid_argument>([] { MDElement::fromString(nullptr); }),
              "Empty string for converting to enum MDElement.");
    EXPECT_EQ(thrown<std::invalid_argument>([] { MDElement::fromString("X"); }),
              "Invalid string 'X' for converting to enum MDElement.");
}

TEST_F(Enum, StreamWritesTheNameOrSetsBadbit) {
    std::ostringstream good;
    good << LogLevel::LOGWARN << ' ' << ExchEventType::TRADING_OPEN;
    EXPECT_EQ(good.str(), "LOGWARN TRADING_OPEN");
    std::ostringstream bad;
    bad << static_cast<Side::Type>(0);
    EXPECT_EQ(bad.str(), "");
    EXPECT_TRUE(bad.bad());
}

TEST_F(Enum, InitialisingAgainOrFinalisingKeepsTheTables) {
    ProtoInit::finalize();
    EXPECT_STREQ(Side::toString(1), "BID");
    ProtoInit::initialize();
    ProtoInit::initialize();
    EXPECT_STREQ(Side::toString(1), "BID");
    EXPECT_EQ(Side::toString(0), nullptr);
    EXPECT_EQ(MatchStatus::toIndex(MatchStatus::DONE), 1);
    EXPECT_EQ(SubscriptionStatus::fromString("ERROR"), SubscriptionStatus::ERROR);
}

TEST_F(Enum, AnyByteIsADefinedValue) {
    // A received byte without a name is kept as it came.
    const auto reason = static_cast<RejectReason::Type>(200);
    EXPECT_EQ(RejectReason::toValue(reason), 200);
    EXPECT_EQ(RejectReason::toString(reason), nullptr);
}
