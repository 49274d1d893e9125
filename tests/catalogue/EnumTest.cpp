// The catalogue enumerations: conversions with their exact texts, declaration indexes that
// differ from value order, the one-byte view, and lookups outside the tables.
#include <gtest/gtest.h>

#include <cstring>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "CatalogueTestUtil.h"
#include "common/FastOStream.h"

using namespace Orbanex;
using namespace cattest;

namespace {

class Enums : public CatalogueTest {};

template <class E>
class EveryEnum : public CatalogueTest {};
using EnumTypes = ::testing::Types<OX_CATALOGUE_ENUM_TYPES>;
TYPED_TEST_SUITE(EveryEnum, EnumTypes);

template <class E>
std::string ostreamText(E en, bool* bad = nullptr) {
    std::ostringstream os;
    os << en;
    if (bad != nullptr) *bad = os.bad();
    return os.str();
}

template <class E>
std::string fastText(E en) {
    StaticOStream<64> os;
    os << "[" << en << "]";
    return std::string(os.buffer(), os.size());
}

}  // namespace

TYPED_TEST(EveryEnum, TablesFollowTheDeclaredValues) {
    using E = TypeParam;
    unsigned int named = 0;
    for (unsigned int v = 0; v < E::_maxValue; ++v) named += E::_names[v] != nullptr;
    EXPECT_EQ(named, E::_nbValues);
    for (unsigned int i = 0; i < E::_nbValues; ++i) {
        const typename E::Type v = E::fromIndex(static_cast<unsigned char>(i));
        SCOPED_TRACE(E::_names[v]);
        EXPECT_EQ(E::toIndex(v), i);
        EXPECT_EQ(E::fromString(E::_names[v]), v);
        EXPECT_LT(static_cast<unsigned int>(v), E::_maxValue);
        if (v < 256) {  // the one-byte conversions reach it
            EXPECT_TRUE(E::isValid(static_cast<unsigned char>(v)));
            EXPECT_EQ(E::fromValue(static_cast<unsigned char>(v)), v);
            EXPECT_STREQ(E::toString(static_cast<unsigned char>(v)), E::_names[v]);
        }
    }
    // Lookups outside the tables answer 0 instead of reading past them.
    EXPECT_EQ(E::toIndex(static_cast<typename E::Type>(E::_maxValue)), 0);
    EXPECT_EQ(E::toIndex(static_cast<typename E::Type>(-1)), 0);
    EXPECT_EQ(E::fromIndex(static_cast<unsigned char>(E::_nbValues)), 0);
    if (E::_maxValue < 256) {
        EXPECT_FALSE(E::isValid(static_cast<unsigned char>(E::_maxValue)));
        EXPECT_EQ(E::toString(static_cast<unsigned char>(E::_maxValue)), nullptr);
    }
}

TYPED_TEST(EveryEnum, InitializingAgainLeavesTheTablesAsTheyWere) {
    using E = TypeParam;
    const std::vector<const char*> names(E::_names, E::_names + E::_maxValue);
    const std::vector<unsigned char> toIndex(E::_toIndex, E::_toIndex + E::_maxValue);
    const std::vector<typename E::Type> fromIndex(E::_fromIndex, E::_fromIndex + E::_nbValues);
    E::initialize();
    EXPECT_EQ(std::vector<const char*>(E::_names, E::_names + E::_maxValue), names);
    EXPECT_EQ(std::vector<unsigned char>(E::_toIndex, E::_toIndex + E::_maxValue), toIndex);
    EXPECT_EQ(std::vector<typename E::Type>(E::_fromIndex, E::_fromIndex + E::_nbValues),
              fromIndex);
    EXPECT_TRUE(E::_initialized);
    EXPECT_STREQ(E::Name, ::testing::internal::GetTypeName<E>().substr(9).c_str());
}

TEST_F(Enums, TableSizes) {
    EXPECT_EQ(RejectReason::_maxValue, 255u);
    EXPECT_EQ(RejectReason::_nbValues, 27u);
    EXPECT_EQ(APIResult::_maxValue, 255u);
    EXPECT_EQ(APIResult::_nbValues, 37u);
    EXPECT_EQ(Request::_maxValue, 53328u);
    EXPECT_EQ(Request::_nbValues, 1u);
    EXPECT_EQ(StandardTenor::_maxValue, 26u);
    EXPECT_EQ(sizeof(Side::Type), 4u);
}

TEST_F(Enums, ValueConversionsAndTheirTexts) {
    EXPECT_FALSE(Side::isValid(0));
    EXPECT_EQ(Side::fromValue(1), Side::BID);
    EXPECT_TRUE(RejectReason::isValid(254));
    EXPECT_FALSE(RejectReason::isValid(255));
    EXPECT_EQ(LogLevel::toString(7), nullptr);
    EXPECT_EQ(LogLevel::toString(200), nullptr);
    EXPECT_STREQ(LogLevel::toString(3), "LOGWARN");

    struct Case {
        const char* what;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"Side 0", thrown<std::invalid_argument>([] { Side::fromValue(0); }),
         "Invalid value for Side: "},
        {"LogLevel 65", thrown<std::invalid_argument>([] { LogLevel::fromValue(65); }),
         "Invalid value for LogLevel: A"},
        {"LogLevel 0xE9", thrown<std::invalid_argument>([] { LogLevel::fromValue(0xE9); }),
         "Invalid value for LogLevel: \xE9"},
        {"Side null", thrown<std::invalid_argument>([] { Side::fromString(nullptr); }),
         "Empty string for converting to enum Side."},
        {"Side empty", thrown<std::invalid_argument>([] { Side::fromString(""); }),
         "Invalid string '' for converting to enum Side."},
        {"Side lower case", thrown<std::invalid_argument>([] { Side::fromString("bid"); }),
         "Invalid string 'bid' for converting to enum Side."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.text, c.expected);
    }
    EXPECT_EQ(Side::fromString("OFR"), Side::OFR);
}

TEST_F(Enums, DeclarationIndexIsNotValueOrder) {
    EXPECT_EQ(MatchStatus::fromIndex(0), MatchStatus::PENDING);
    EXPECT_EQ(MatchStatus::toIndex(MatchStatus::DONE), 1);
    EXPECT_EQ(CancelRejectReason::toIndex(CancelRejectReason::NOT_IMPLEMENTED), 8);
    EXPECT_EQ(CancelRejectReason::toIndex(CancelRejectReason::FEED_DOWN), 9);
    EXPECT_EQ(APIResult::toIndex(APIResult::SOCKERR_DNS), 5);
    EXPECT_EQ(APIResult::toIndex(APIResult::NOT_CONNECTED), 11);
}

TEST_F(Enums, OutputOperatorsWriteTheNameOrNothing) {
    bool bad = false;
    EXPECT_EQ(ostreamText(LogLevel::LOGWARN, &bad), "LOGWARN");
    EXPECT_FALSE(bad);
    EXPECT_EQ(ostreamText(static_cast<LogLevel::Type>(9), &bad), "");
    EXPECT_TRUE(bad);
    std::ostringstream padded;
    padded << std::setw(9) << std::setfill('*') << LogLevel::LOGWARN;
    EXPECT_EQ(padded.str(), "**LOGWARN");

    EXPECT_EQ(fastText(LogLevel::LOGWARN), "[LOGWARN]");
    EXPECT_EQ(fastText(static_cast<LogLevel::Type>(9)), "[]");
    // The operators see the low byte: 256 + 3 is LOGWARN.
    EXPECT_EQ(fastText(static_cast<LogLevel::Type>(259)), "[LOGWARN]");
}

TEST_F(Enums, RequestIsSeenByItsLowByte) {
    // SECURITYINFO is 53327; its low byte 79 names nothing.
    for (int b = 0; b < 256; ++b) EXPECT_FALSE(Request::isValid(static_cast<unsigned char>(b)));
    EXPECT_EQ(Request::toString(static_cast<unsigned char>(Request::SECURITYINFO)), nullptr);
    EXPECT_EQ(thrown<std::invalid_argument>([] { Request::fromValue(79); }),
              "Invalid value for Request: O");
    EXPECT_EQ(Request::fromString("SECURITYINFO"), 53327);
    EXPECT_EQ(Request::toIndex(Request::SECURITYINFO), 0);
    EXPECT_EQ(Request::fromIndex(0), Request::SECURITYINFO);
    bool bad = false;
    EXPECT_EQ(ostreamText(Request::SECURITYINFO, &bad), "");
    EXPECT_TRUE(bad);
    EXPECT_EQ(fastText(Request::SECURITYINFO), "[]");
}
