#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/StatusProvider.h"
#include "common/TableFormatter.h"

using Orbanex::TableFormatter;

namespace {

std::string text(const TableFormatter& t) {
    std::ostringstream os;
    t.toText(os);
    return os.str();
}
std::string html(const TableFormatter& t) {
    std::ostringstream os;
    t.toHTML(os);
    return os.str();
}
std::string python(const TableFormatter& t) {
    std::ostringstream os;
    t.toPython(os);
    return os.str();
}

}  // namespace

TEST(TableFormatter, CellsAndHeadersGrowTheTable) {
    TableFormatter t;
    EXPECT_EQ(t.nbRows(), 0u);
    t.setCell(2, 3, std::string("x"));
    ASSERT_EQ(t.cells().size(), 3u);
    EXPECT_TRUE(t.cells()[0].empty());
    EXPECT_TRUE(t.cells()[1].empty());
    EXPECT_EQ(t.cells()[2], (TableFormatter::RowVec{"", "", "", "x"}));
    EXPECT_EQ(t.nbRows(), 4u);

    TableFormatter h;
    h.setHeader(5, "last");
    EXPECT_EQ(h.header(), (TableFormatter::RowVec{"", "", "", "", "", "last"}));
    EXPECT_EQ(h.nbRows(), 6u);
    h.setHeader(1, "second");
    EXPECT_EQ(h.header()[1], "second");
    EXPECT_EQ(h.header().size(), 6u);

    // index + 1 wraps to 0 for the largest index: nothing may be written.
    EXPECT_THROW(h.setHeader(SIZE_MAX, "x"), std::length_error);
    EXPECT_THROW(t.setCell(SIZE_MAX, 0, std::string("x")), std::length_error);
    EXPECT_THROW(t.setCell(0, SIZE_MAX, std::string("x")), std::length_error);
    EXPECT_EQ(h.header().size(), 6u);
    EXPECT_EQ(t.cells().size(), 3u);
    EXPECT_TRUE(t.cells()[0].empty());
}

TEST(TableFormatter, NumbersAreWrittenInDecimal) {
    TableFormatter t;
    size_t col = 0;
    t.setCell(0, col++, -5);
    t.setCell(0, col++, int32_t{INT32_MIN});
    t.setCell(0, col++, uint32_t{4294967295u});
    t.setCell(0, col++, int64_t{INT64_MIN});
    t.setCell(0, col++, uint64_t{UINT64_MAX});
    t.setCell(0, col++, 7UL);
    t.setCell(0, col++, size_t{12});
    t.setCell(0, col++, -9LL);
    t.setCell(0, col++, 9ULL);
    t.setCell(0, col++, static_cast<short>(-3));
    t.setCell(0, col++, 'A');  // a char is a small integer here
    t.setCell(0, col++, "literal");
    const TableFormatter::RowVec expected = {"-5",
                                             "-2147483648",
                                             "4294967295",
                                             "-9223372036854775808",
                                             "18446744073709551615",
                                             "7",
                                             "12",
                                             "-9",
                                             "9",
                                             "-3",
                                             "65",
                                             "literal"};
    EXPECT_EQ(t.cells()[0], expected);
}

TEST(TableFormatter, DoublesUseThePrecision) {
    struct Row {
        int precision;
        double value;
        const char* expected;
    };
    const Row rows[] = {
        {2, 2.5, "2.50"}, {1, 2333.0 / 1000, "2.3"},
        {0, 2.6, "3"},    {12, 2.5, "2.500000000"},  // at most nine decimals
        {-3, 2.6, "3"},   {3, -0.5, "-0.500"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("precision " + std::to_string(r.precision));
        TableFormatter t;
        t.setPrecision(r.precision);
        t.setCell(0, 0, r.value);
        EXPECT_EQ(t.cells()[0][0], r.expected);
    }
    TableFormatter fresh;
    fresh.setCell(0, 0, 1.5);
    EXPECT_EQ(fresh.cells()[0][0], "1.50000") << "five decimals before any setPrecision";
    // 300 digits do not fit the 128-byte cursor: the cell is cut short, nothing overflows.
    fresh.setCell(0, 1, 1e300);
    EXPECT_LT(fresh.cells()[0][1].size(), 128u);
    EXPECT_EQ(fresh.cells()[0][1].substr(0, 3), "100");
}

TEST(TableFormatter, TextPadsEachColumnToItsWidestCell) {
    TableFormatter t;
    t.setHeader(0, "a");
    t.setHeader(1, "bb");
    t.setCell(0, 0, std::string("ccc"));
    t.setCell(0, 1, std::string("d"));
    t.setCell(1, 0, std::string("e"));  // a short row ends early
    EXPECT_EQ(text(t),
              "    a      bb    \n"
              "    ccc    d     \n"
              "    e      \n");
}

TEST(TableFormatter, HtmlPadsShortRowsWithEmptyCells) {
    TableFormatter t;
    t.setHeader(0, "name");
    t.setHeader(1, "n");
    t.setHeader(2, "min");
    t.setCell(0, 0, std::string("ioPath"));
    EXPECT_EQ(html(t),
              "<table border=\"1\">\n"
              " <thead>\n"
              "  <tr>\n"
              "   <th>name</th>\n"
              "   <th>n</th>\n"
              "   <th>min</th>\n"
              "  </tr>\n"
              " </thead>\n"
              " <tbody>\n"
              "  <tr>\n"
              "   <td>ioPath</td>\n"
              "   <td></td>\n"
              "   <td></td>\n"
              "  </tr>\n"
              " </tbody>\n"
              "</table>\n");
}

TEST(TableFormatter, XmlNamesElementsByHeaderInLowerCase) {
    TableFormatter t;
    t.setHeader(0, "Name");
    t.setHeader(1, "Core Id");
    t.setCell(0, 0, std::string("Main Thread"));
    t.setCell(0, 1, 3);
    t.setCell(1, 0, std::string("Logger"));  // no cell for "Core Id": an empty element
    t.setCell(2, 0, std::string("x"));
    t.setCell(2, 1, std::string("y"));
    t.setCell(2, 2, std::string("beyond the header"));  // not written
    std::ostringstream os;
    t.toXML(os, "Thread Registry", "Thread", "All Threads");
    EXPECT_EQ(os.str(),
              "<thread_registry name=\"All Threads\">\n"
              "  <thread>\n"
              "   <name>main_thread</name>\n"
              "   <core_id>3</core_id>\n"
              "  </thread>\n"
              "  <thread>\n"
              "   <name>logger</name>\n"
              "   <core_id></core_id>\n"
              "  </thread>\n"
              "  <thread>\n"
              "   <name>x</name>\n"
              "   <core_id>y</core_id>\n"
              "  </thread>\n"
              "</thread_registry>\n");
    EXPECT_EQ(Orbanex::wordToTag("Two Words"), "two_words");
}

TEST(TableFormatter, PythonListHasOneTuplePerRow) {
    TableFormatter empty;
    EXPECT_EQ(python(empty), "[\n]\n");

    TableFormatter t;
    t.setCell(0, 0, std::string("a"));
    t.setCell(0, 1, std::string("b"));
    EXPECT_EQ(python(t), "[\n  (\"a\", \"b\", ),\n]\n");

    t.setHeader(2, "third");  // the header is not written, but widens every row
    t.setCell(1, 0, std::string("c"));
    EXPECT_EQ(python(t), "[\n  (\"a\", \"b\", \"\", ),\n  (\"c\", \"\", \"\", ),\n]\n");
}

namespace {

class Silent : public Orbanex::StatusProvider {
  public:
    std::string getProviderName() const override { return "silent"; }
    int getPageMask() const override { return 0; }
};

class Debuggable : public Orbanex::StatusProvider {
  public:
    std::string getProviderName() const override { return "debuggable"; }
    int getPageMask() const override { return PAGE_DEBUG; }

  protected:
    void dumpDebug(TableFormatter& fmtr) override {
        fmtr.setHeader(0, "k");
        fmtr.setCell(0, 0, 1);
    }
};

}  // namespace

TEST(StatusProvider, PagesAreHtmlTablesFilledByTheHooks) {
    EXPECT_EQ(Orbanex::StatusProvider::PAGE_STATUS, 1);
    EXPECT_EQ(Orbanex::StatusProvider::PAGE_DEBUG, 2);
    const std::string emptyTable =
        "<table border=\"1\">\n <thead>\n  <tr>\n  </tr>\n </thead>\n <tbody>\n </tbody>\n"
        "</table>\n";

    Silent silent;
    Orbanex::StatusProvider& s = silent;
    std::ostringstream status, debug;
    s.dumpStatus(status);
    s.dumpDebug(debug);
    EXPECT_EQ(status.str(), emptyTable);
    EXPECT_EQ(debug.str(), emptyTable);

    Debuggable debuggable;
    Orbanex::StatusProvider& d = debuggable;
    std::ostringstream page, other;
    d.dumpDebug(page);
    d.dumpStatus(other);
    EXPECT_EQ(page.str(),
              "<table border=\"1\">\n <thead>\n  <tr>\n   <th>k</th>\n  </tr>\n </thead>\n"
              " <tbody>\n  <tr>\n   <td>1</td>\n  </tr>\n </tbody>\n</table>\n");
    EXPECT_EQ(other.str(), emptyTable);
}
