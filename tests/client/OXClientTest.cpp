#include <gtest/gtest.h>

#include <stdexcept>

#include "client/OXClient.h"

namespace {

using namespace ZURAV;

// Records its own destruction.
class Probe : public OXClient {
  public:
    explicit Probe(bool* deleted) : OXClient("user", "secret", "localhost", 1), _deleted(deleted) {}
    ~Probe() override { *_deleted = true; }

  private:
    bool* _deleted;
};

TEST(OXClient, TheLastReleaseDeletesTheClient) {
    bool deleted = false;
    OXClient* c = new Probe(&deleted);
    c->addref();
    c->release();
    EXPECT_FALSE(deleted);
    c->release();
    EXPECT_TRUE(deleted);
}

TEST(OXClient, NullTextsAreRefused) {
    EXPECT_THROW(OXClient(nullptr, "p", "h", 1), std::invalid_argument);
    EXPECT_THROW(OXClient("u", nullptr, "h", 1), std::invalid_argument);
    EXPECT_THROW(OXClient("u", "p", nullptr, 1, "h2", 2), std::invalid_argument);
}

TEST(OXClient, ANewClientIsNeitherConnectedNorRunningAndKnowsNoFeed) {
    OXClient c("user", "secret", "localhost", 1, "other", 2);
    EXPECT_FALSE(c.isConnected());
    EXPECT_FALSE(c.isRunning());
    int fd1 = 0, fd2 = -1;
    c.get(fd1, fd2);
    EXPECT_EQ(fd1, -1);
    EXPECT_GE(fd2, 0);
    int n = -1;
    EXPECT_EQ(c.getFeeds(n), nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(c.getFeedByID(1), nullptr);
    EXPECT_EQ(c.getFeedByName("x"), nullptr);
}

}  // namespace
