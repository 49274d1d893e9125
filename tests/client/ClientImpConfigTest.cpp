#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "api/ConfigMessage.h"
#include "client/ClientImp.h"

namespace {

using namespace ZURAV;

APIMarket market(MarketID_t id, FeedID_t feedID, const std::string& name = "") {
    APIMarket m;
    m.marketID = id;
    m.feedID = feedID;
    m.name = name.empty() ? "M" + std::to_string(id) : name;
    return m;
}

APIFeed feed(FeedID_t id, const std::string& name, FeedFlags_t flags,
             std::initializer_list<MarketID_t> markets = {}) {
    APIFeed f;
    f.feedID = id;
    f.name = name;
    f.exchangeName = "X" + name;
    f.flags = flags;
    for (MarketID_t m : markets) f.marketList.push_back(market(m, id));
    return f;
}

class ClientImpConfig : public testing::Test {
  protected:
    void configure(std::vector<APIFeed> feeds) {
        ConfigMessage* msg = new ConfigMessage();
        const ShpOXMessage sm(msg);
        msg->feedsList = std::move(feeds);
        client.dispatchMessage(sm, msg, ConfigMessage::ID);
    }
    std::vector<FeedID_t> feedOrder() {
        int n = -1;
        const APIFeed* feeds = client.getFeeds(n);
        std::vector<FeedID_t> ids;
        for (int i = 0; i < n; ++i) ids.push_back(feeds[i].feedID);
        return ids;
    }

    ClientImp client{nullptr, "user", "password", "localhost", 1, nullptr, 0};
};

TEST_F(ClientImpConfig, NothingIsKnownBeforeTheFirstConfiguration) {
    int n = -1;
    EXPECT_EQ(client.getFeeds(n), nullptr);
    EXPECT_EQ(n, 0);
    for (FeedID_t id : {0, 1, -1}) EXPECT_EQ(client.getFeedByID(id), nullptr);
    EXPECT_EQ(client.getFeedByName(""), nullptr);
    EXPECT_TRUE(client.sortedFeedIDs().empty());
    EXPECT_FALSE(client.lookupFeed(0, 0).feed);
}

TEST_F(ClientImpConfig, FeedsKeepTheirArrivalOrderWhileTheIdListIsAscending) {
    configure({feed(12, "twelve", 2), feed(3, "three", 4)});
    configure({feed(7, "seven", 6)});
    EXPECT_EQ(feedOrder(), (std::vector<FeedID_t>{12, 3, 7}));
    EXPECT_EQ(client.sortedFeedIDs(), (std::vector<FeedID_t>{3, 7, 12}));
    ASSERT_NE(client.getFeedByID(3), nullptr);
    EXPECT_EQ(client.getFeedByID(3)->name, "three");
    EXPECT_EQ(client.getFeedByID(3)->exchangeName, "Xthree");
    EXPECT_EQ(client.getFeedByID(8), nullptr);
}

TEST_F(ClientImpConfig, AKnownFeedOnlyGainsMarketsAndKeepsItsFirstNameAndFlags) {
    configure({feed(12, "twelve", 2), feed(3, "three", 4, {1}), feed(7, "seven", 6)});
    configure({feed(3, "renamed", 2, {10, 11})});

    EXPECT_EQ(feedOrder(), (std::vector<FeedID_t>{12, 3, 7}));
    const APIFeed* three = client.getFeedByID(3);
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->name, "three");
    EXPECT_EQ(three->flags, 4);
    ASSERT_EQ(three->marketList.size(), 3u);
    EXPECT_EQ(three->marketList[1].marketID, 10);
    EXPECT_EQ(three->marketList[2].marketID, 11);
    EXPECT_EQ(client.getFeedByName("renamed"), nullptr);
}

TEST_F(ClientImpConfig, LookupsReturnTheFirstMatchInConfigurationOrder) {
    APIFeed first = feed(1, "same", 2);
    first.marketList = {market(5, 1, "five"), market(5, 1, "five again"), market(6, 1, "six")};
    configure({first, feed(2, "same", 4, {5})});

    const APIFeed* byName = client.getFeedByName("same");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->feedID, 1);

    const APIMarket* five = client.getMarketByID(*byName, 5);
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(five, &byName->marketList[0]);
    EXPECT_EQ(client.getMarketByName(*byName, "five again"), &byName->marketList[1]);
    EXPECT_EQ(client.getMarketByName(*byName, "six"), &byName->marketList[2]);
    EXPECT_EQ(client.getMarketByName(*byName, "Five"), nullptr);
    EXPECT_EQ(client.getMarketByID(*byName, 7), nullptr);
    // A null name finds nothing rather than being read.
    EXPECT_EQ(client.getFeedByName(nullptr), nullptr);
    EXPECT_EQ(client.getMarketByName(*byName, nullptr), nullptr);
}

TEST_F(ClientImpConfig, ClearingForgetsEveryFeed) {
    configure({feed(3, "three", 6, {1})});
    client.clearConfiguration();
    int n = -1;
    client.getFeeds(n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(client.getFeedByID(3), nullptr);
    EXPECT_FALSE(client.lookupFeed(3, 1).feed);
    EXPECT_TRUE(client.sortedFeedIDs().empty());

    configure({feed(4, "four", 2)});
    EXPECT_EQ(feedOrder(), (std::vector<FeedID_t>{4}));
}

TEST_F(ClientImpConfig, TheSessionsLookupReturnsFeedMarketAndFlagsAsValues) {
    configure({feed(3, "three", 6, {10, 0}), feed(4, "four", 0)});
    struct Case {
        FeedID_t feed;
        MarketID_t market;
        bool feedFound;
        bool marketFound;
        FeedFlags_t flags;
    };
    const Case cases[] = {
        {3, 10, true, true, 6},  {3, 0, true, true, 6},    {3, 11, true, false, 6},
        {4, 10, true, false, 0}, {5, 10, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "feed " << c.feed << " market " << c.market);
        const ClientImp::FeedLookup found = client.lookupFeed(c.feed, c.market);
        EXPECT_EQ(found.feed, c.feedFound);
        EXPECT_EQ(found.market, c.marketFound);
        EXPECT_EQ(found.flags, c.flags);
    }
}

TEST_F(ClientImpConfig, AFeedHasMarketsOnlyWhenEveryGivenIdIsOneOfThem) {
    APIFeed twice = feed(2, "twice", 2);
    twice.marketList = {market(5, 2), market(5, 2)};
    configure({feed(1, "one", 2, {5, 6, 7}), twice, feed(3, "bare", 2)});
    struct Case {
        FeedID_t feed;
        std::vector<MarketID_t> ids;
        bool expected;
    };
    const Case cases[] = {
        {1, {5}, true},
        {1, {7, 5, 6}, true},
        {1, {5, 8}, false},
        {9, {5}, false},  // unknown feed
        {3, {}, false},   // a feed without markets
        // A market listed twice does not stand in for an id the feed lacks.
        {2, {5, 9}, false},
        {2, {5, 5}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "feed " << c.feed << ", " << c.ids.size() << " ids");
        EXPECT_EQ(client.feedHasMarkets(c.feed, c.ids), c.expected);
    }
}

TEST_F(ClientImpConfig, MarketDataMarketsAreThoseOfMarketDataFeedsInOrder) {
    APIFeed md = feed(9, "md", 2 | 4, {3, 1});
    md.marketList.push_back(market(8, 77));  // named by the market's own feed id
    configure({feed(2, "trading", 4, {4}), md, feed(5, "md2", 2, {6})});

    std::vector<std::pair<FeedID_t, MarketID_t>> got;
    for (const FeedMarketID& id : client.marketDataMarkets()) {
        got.push_back(std::make_pair(id.feedID, id.marketID));
    }
    EXPECT_EQ(got, (std::vector<std::pair<FeedID_t, MarketID_t>>{{9, 3}, {9, 1}, {77, 8}, {5, 6}}));
}

}  // namespace
