#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "common/Stats.h"
#include "common/TableFormatter.h"

using Orbanex::StatsAccBase;
using Orbanex::StatsMgr;
using Orbanex::TableFormatter;
using Orbanex::TimerStatsAcc;

namespace {

// Directs accumulator summaries into a string for the life of the fixture.
class StatsAccTest : public ::testing::Test {
  protected:
    void SetUp() override { StatsAccBase::registerOutstats(&_out); }
    void TearDown() override { StatsAccBase::registerOutstats(nullptr); }

    std::ostringstream _out;
};

}  // namespace

TEST_F(StatsAccTest, SummaryIsPrintedOnDestruction) {
    {
        TimerStatsAcc acc("t", "ns", true);
        for (long v : {1000L, 2000L, 4000L}) acc.add(v);
        EXPECT_EQ(acc.nbSamples(), 3);
        EXPECT_EQ(acc.min(), 1000);
        EXPECT_EQ(acc.max(), 4000);
        EXPECT_EQ(acc.avg(), 2333.0);
    }
    EXPECT_EQ(_out.str(), "StatsAcc  't'  [ 1000 | 2333 | 4000 ||  +/-1247.84  #3 ]\n");
}

TEST_F(StatsAccTest, NothingIsPrintedWithoutSamplesOrWhenNotAsked) {
    { TimerStatsAcc empty("empty", "ns", true); }
    {
        TimerStatsAcc quiet("quiet", "ns", false);
        quiet.add(5);
    }
    EXPECT_EQ(_out.str(), "");
    StatsAccBase::registerOutstats(nullptr);
    {
        TimerStatsAcc nowhere("nowhere", "ns", true);
        nowhere.add(5);
    }
}

TEST_F(StatsAccTest, HistogramCountsOutOfRangeSamplesAtTheEdges) {
    {
        TimerStatsAcc acc("h", "ns", 0, 100, 4, true);
        for (long v : {10L, 30L, 30L, 99L, 150L, -5L}) acc.add(v);
        EXPECT_EQ(acc.histogramCount(0), 2);
        EXPECT_EQ(acc.histogramCount(3), 2);
    }
    EXPECT_EQ(_out.str(),
              "StatsAcc  'h'  [ -5 | 52 | 150 ||  +/-54.7753  #6 ]\n"
              "<histogram name='h' units='ns'>\n"
              "  <nsamples>6</nsamples>\n"
              "  <min>-5</min>\n"
              "  <max>150</max>\n"
              "  <mean>52</mean>\n"
              "  <sd>54.7753</sd>\n"
              "  <samples>\n"
              "    <sample midpoint='12' count='2' />\n"
              "    <sample midpoint='37' count='2' />\n"
              "    <sample midpoint='62' count='0' />\n"
              "    <sample midpoint='87' count='2' />\n"
              "  </samples>\n"
              "</histogram>\n");
}

TEST_F(StatsAccTest, ScaleSkipAndHugeSamples) {
    {
        TimerStatsAcc acc("us", "us", false);
        acc.setSkip(2);
        acc.scaleToUS(1000);
        for (long v : {999999L, 999999L, 1000L, 3000L}) acc.add(v);
        acc.dump(_out);
    }
    EXPECT_EQ(_out.str(), "StatsAcc  'us'  [ 1 | 2 | 3 ||  +/-1  #2 ]\n");

    // Three-second samples: their squares overflow 64 bits long before their sum does.
    TimerStatsAcc big("big", "ns", false);
    for (int i = 0; i < 4; ++i) big.add(3000000000L);
    big.add(1000000000L);
    EXPECT_EQ(big.avg(), 2600000000.0);
    EXPECT_NEAR(big.sd(), 800000000.0, 1.0);
}

// Sums and the histogram's span in T would overflow for samples and ranges near its limits.
TEST_F(StatsAccTest, ExtremeSamplesAndRangesDoNotOverflow) {
    TimerStatsAcc sums("sums", "ns", false);
    for (int i = 0; i < 3; ++i) sums.add(LONG_MAX);
    EXPECT_EQ(sums.avg(), static_cast<double>(LONG_MAX));
    EXPECT_EQ(sums.sd(), 0.0);
    TimerStatsAcc lows("lows", "ns", false);
    for (int i = 0; i < 3; ++i) lows.add(LONG_MIN);
    EXPECT_EQ(lows.avg(), static_cast<double>(LONG_MIN));

    {
        // The whole range in four buckets of 2^62 - 1; each sample is near a bucket's middle.
        TimerStatsAcc acc("wide", "ns", LONG_MIN, LONG_MAX, 4, true);
        const long eighth = 1L << 61;
        for (long v : {LONG_MIN, LONG_MIN + eighth, -eighth, eighth, LONG_MAX}) acc.add(v);
        const int counts[] = {2, 1, 1, 1};
        for (int bucket = 0; bucket < 4; ++bucket) {
            SCOPED_TRACE(bucket);
            EXPECT_EQ(acc.histogramCount(bucket), counts[bucket]);
        }
    }
    const std::string text = _out.str();
    const std::string midpoints =
        "    <sample midpoint='-6917529027641081856' count='2' />\n"
        "    <sample midpoint='-2305843009213693953' count='1' />\n"
        "    <sample midpoint='2305843009213693950' count='1' />\n"
        "    <sample midpoint='6917529027641081853' count='1' />\n";
    EXPECT_NE(text.find(midpoints), std::string::npos) << text;
}

TEST(StatsAcc, IoPathIsPredefined) {
    TimerStatsAcc& io = Orbanex::IOPathStats::stats();
    EXPECT_EQ(io.name(), "ioPath");
    EXPECT_EQ(io.nbSamples(), 0);
    Orbanex::IOPathStats::onInputStart();
    Orbanex::IOPathStats::onOutput();
    Orbanex::IOPathStats::onOutput();  // only the first output after an input counts
    Orbanex::IOPathStats::onInputEnd();
    EXPECT_EQ(io.nbSamples(), 1);
    EXPECT_GE(io.min(), 0);
}

TEST(Timer, AccumulatesClosedIntervals) {
    Orbanex::Timer t;
    EXPECT_FALSE(t.isActive());
    EXPECT_EQ(t.stop(), 0) << "no interval is open";
    t.start();
    EXPECT_TRUE(t.isActive());
    const Orbanex::Timestamp_t first = t.stop();
    EXPECT_GE(first, 0);
    EXPECT_FALSE(t.isActive());
    t.start();
    const Orbanex::Timestamp_t second = t.stop();
    EXPECT_EQ(t.get(), first + second);
    t.reset();
    EXPECT_EQ(t.get(), 0);
    EXPECT_GT(Orbanex::Timer::getres(), 0);
}

namespace {

std::vector<TableFormatter::RowVec> timings(TableFormatter& t) {
    StatsMgr::instance()->dumpTimings(t);
    EXPECT_EQ(t.header(), (TableFormatter::RowVec{"name", "n", "min", "avg", "max", "sd"}));
    return t.cells();
}

}  // namespace

TEST(StatsMgr, TimingsTableShowsMicrosecondsWithOneDecimal) {
    StatsMgr::initialize();
    ASSERT_NE(StatsMgr::instance(), nullptr);
    TableFormatter none;
    EXPECT_TRUE(timings(none).empty());

    TimerStatsAcc& t = StatsMgr::instance()->getTimer("send");
    EXPECT_EQ(&StatsMgr::instance()->getTimer("send"), &t);
    for (long v : {1000L, 2000L, 4000L}) t.add(v);
    StatsMgr::instance()->getTimer("idle");

    TableFormatter table;
    const std::vector<TableFormatter::RowVec> expected = {
        {"idle"}, {"send", "3", "1.0", "2.3", "4.0", "1.2"}};
    EXPECT_EQ(timings(table), expected);

    StatsMgr::finalize();
    EXPECT_EQ(StatsMgr::instance(), nullptr);
}
