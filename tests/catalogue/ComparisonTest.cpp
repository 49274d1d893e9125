// Comparison of catalogue records and messages: stored representations field by field, strings
// with their NUL as signed bytes, the two empty strings, lists and nested records.
#include <gtest/gtest.h>

#include <string>

#include "CatalogueTestUtil.h"

using namespace Orbanex;
using namespace cattest;

namespace {

class Comparison : public CatalogueTest {};

// a < b, not b < a, and the two unequal.
template <class X>
void expectOrdered(const X& a, const X& b) {
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(a == b);
}

}  // namespace

TEST_F(Comparison, DecimalsAndEnumerationsByTheirStoredValue) {
    const int64_t order[] = {Tarvik::NMA, Tarvik::NDA, Tarvik::NA, -5, -1, 0, 700};
    for (size_t i = 0; i + 1 < sizeof order / sizeof order[0]; ++i) {
        SCOPED_TRACE(i);
        InBlock<MDEntry> a, b;
        a->price = order[i];
        b->price = order[i + 1];
        expectOrdered(*a, *b);
    }
    // By number, not by declaration index: DONE (0) < PENDING (3) < ERROR (4).
    InBlock<TradeCapture> done, pending, error;
    done->matchStatus = MatchStatus::DONE;
    pending->matchStatus = MatchStatus::PENDING;
    error->matchStatus = MatchStatus::ERROR;
    expectOrdered(*done, *pending);
    expectOrdered(*pending, *error);
}

TEST_F(Comparison, StringsByStoredBytesWithTheNulAsSignedChars) {
    InBlock<KeyValuePair> plain, accented, longer, unassigned, assignedEmpty, otherUnassigned;
    plain->value = "a";            // 61 00
    accented->value = "a\xE9";     // 61 e9 00: e9 is below the NUL as a signed char
    longer->value = "ab";          // 61 62 00
    assignedEmpty->value.clear();  // 00
    expectOrdered(*accented, *plain);
    expectOrdered(*plain, *longer);
    expectOrdered(*unassigned, *assignedEmpty);
    expectOrdered(*unassigned, *plain);
    EXPECT_TRUE(*unassigned == *otherUnassigned);
}

TEST_F(Comparison, ListsByCountAndElement) {
    InBlock<BatchesCompletedMessage> shorter, longer, bigger;
    for (int v : {1, 2}) shorter->batchesCompleted.add_back() = v;
    for (int v : {1, 2, 3}) longer->batchesCompleted.add_back() = v;
    for (int v : {1, 3}) bigger->batchesCompleted.add_back() = v;
    expectOrdered(*shorter, *longer);  // a proper prefix is less
    expectOrdered(*longer, *bigger);   // the first differing element decides
    InBlock<BatchesCompletedMessage> negative;
    negative->batchesCompleted.add_back() = -1;
    expectOrdered(*negative, *shorter);  // signed
}

TEST_F(Comparison, FieldsDecideInDeclarationOrder) {
    // MarketView: fmID (marketID, then feedID), the six times, isSnapshot, the entries. In each
    // case an earlier field makes a less, a later one would make it greater.
    struct Case {
        const char* what;
        void (*set)(MarketView& a, MarketView& b);
    };
    const Case cases[] = {
        {"marketID before feedID",
         [](MarketView& a, MarketView&) {
             a.fmID.marketID = -1;
             a.fmID.feedID = 9;
         }},
        {"feedID before the times",
         [](MarketView& a, MarketView&) {
             a.fmID.feedID = -1;
             a.timeExchange = 99;
         }},
        {"a time before isSnapshot",
         [](MarketView& a, MarketView&) {
             a.timeApiClient = -1;
             a.isSnapshot = true;
         }},
        {"isSnapshot before the entries",
         [](MarketView& a, MarketView& b) {
             b.isSnapshot = true;
             a.mdEntryList[0].price = 1;
         }},
        {"the entries last", [](MarketView& a, MarketView&) { a.mdEntryList.resize(0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InBlock<MarketView> a, b;
        a->mdEntryList.resize(1);
        b->mdEntryList.resize(1);
        c.set(*a, *b);
        expectOrdered(*a, *b);
    }
}
