// Text dumps of the generated classes: the common layout rules, shown on the order classes.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "ApiTestUtil.h"
#include "api/APIAll.h"
#include "common/FastOStream.h"

using namespace ZURAV;
using namespace apitest;

namespace {

class TextDump : public apitest::ApiTest {};

const char* const CANCEL_ALL_GROUP =
    "( cxlID=\"X1\"  monitoredOnly=T  timeApiClient=0  timeApiServer=0  timeHandler=0  feedID=3 )";
const char* const REJECTED_GROUP =
    "( sequenceID=-1  orderID=-1  clOrdID=\"A\"  modelID=\"\"  timeExchange=0  timeHandler=0  "
    "timeApiServer=0  timeApiClient=0  feedID=1  marketID=2  reason=DUPLICATE_ORDER )";

}  // namespace

TEST_F(TextDump, TerminalRecordsStayOnOneLine) {
    EXPECT_EQ(text(cancelAll()), std::string("<CancelAllOrder ") + CANCEL_ALL_GROUP + ">");
    EXPECT_EQ(text(duplicateA()), std::string("<OrderRejected ") + REJECTED_GROUP + ">");
}

TEST_F(TextDump, MessagesPutContentsUnderTheFirstField) {
    CancelAllOrderMessage cancel;
    cancel.contents = cancelAll();
    EXPECT_EQ(text(cancel), "<CancelAllOrderMessage ( userID=0\n" + spaces(25) +
                                "contents=" + CANCEL_ALL_GROUP + " )>");
    OrderRejectedMessage rejected;
    rejected.contents = duplicateA();
    EXPECT_EQ(text(rejected), "<OrderRejectedMessage ( userID=0\n" + spaces(24) +
                                  "contents=" + REJECTED_GROUP + " )>");
}

TEST_F(TextDump, ListsBreakAndIndentUnderTheirFirstElement) {
    ComplexOrder x = complexOrder();
    x.parameters.push_back(pair("c", "d"));
    const std::string indent = "\n" + spaces(16);
    EXPECT_EQ(text(x), "<ComplexOrder ( orderName=\"n\"" + indent + "orderID=1" + indent +
                           "clOrdID=\"c\"" + indent + "timeApiClient=0" + indent +
                           "timeApiServer=0" + indent + "timeHandler=0" + indent + "feedID=2" +
                           indent + "parameters=[ ( key=\"a\"  value=\"b\" )\n" + spaces(29) +
                           "( key=\"c\"  value=\"d\" ) ] )>");
    x.parameters.resize(1);
    EXPECT_NE(text(x).find("parameters=[ ( key=\"a\"  value=\"b\" ) ] )>"), std::string::npos);
    x.parameters.clear();
    EXPECT_NE(text(x).find("parameters=[  ] )>"), std::string::npos);
}

TEST_F(TextDump, StartValuesAndUnnamedValues) {
    const std::string na = NA_TEXT;
    const std::string submit = text(SubmitOrder());
    EXPECT_NE(submit.find("clOrdID=\"\""), std::string::npos);
    EXPECT_NE(submit.find("timeInForce=DAY"), std::string::npos);
    for (const char* f : {"amount=", "price=", "stopPrice=", "maxShow="}) {
        EXPECT_NE(submit.find(f + na), std::string::npos) << f;
    }
    const std::string canceled = text(OrderCanceled());
    EXPECT_NE(canceled.find("amount=" + na + "  price=" + na), std::string::npos);
    for (const char* f : {"clOrdID=\"\"", "exOrdID=\"\"", "cxlID=\"\"", "modelID=\"\""}) {
        EXPECT_NE(canceled.find(f), std::string::npos) << f;
    }
    // A value without a name prints nothing after its label.
    OrderRejected unnamed = duplicateA();
    unnamed.reason = static_cast<RejectReason::Type>(200);
    EXPECT_NE(text(unnamed).find("reason= )>"), std::string::npos);
    // A string prints up to its first NUL, but travels whole.
    KeyValuePair nul = pair("a", "");
    nul.key = std::string("ab\0c", 4);
    EXPECT_EQ(text(nul), "<KeyValuePair ( key=\"ab\"  value=\"\" )>");
}

TEST_F(TextDump, AllOutputsGiveTheSameText) {
    OrderRejectedMessage msg;
    msg.contents = duplicateA();
    std::ostringstream compact, pretty, viaBase;
    msg.dump(compact, false);
    msg.dump(pretty, true);
    viaBase << static_cast<const OXMessage&>(msg);
    EXPECT_EQ(compact.str(), pretty.str());
    EXPECT_EQ(viaBase.str(), compact.str());
    Orbanex::StaticOStream<1024> cursor;
    cursor << static_cast<const OXMessage&>(msg);
    EXPECT_EQ(std::string(cursor.buffer(), cursor.size()), compact.str());
}

TEST_F(TextDump, TextsLongerThanTheBufferAreCutShort) {
    ComplexOrder x;
    x.orderName = std::string(40000, 'n');
    x.parameters.assign(8, pair("", ""));
    for (KeyValuePair& p : x.parameters) p.value = std::string(40000, 'v');
    const std::string dumped = text(x);
    EXPECT_LE(dumped.size(), 262144u);
    EXPECT_GT(dumped.size(), 200000u);
    EXPECT_EQ(dumped.compare(0, 14, "<ComplexOrder "), 0);
}
