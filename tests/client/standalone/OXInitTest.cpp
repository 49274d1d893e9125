// Starts and stops the whole library: a test of its own.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdlib>
#include <string>

#include "api/APIResult.h"
#include "api/VersionMessage.h"
#include "api/ZURAVProtocol.h"
#include "catalogue/OXProtocol.h"
#include "client/BuildInfo.h"
#include "client/OXInit.h"
#include "common/ThreadRegistry.h"
#include "logging/Log.h"

namespace {

using namespace ZURAV;

TEST(OXInit, InitializeStartsEveryLayerOnTheCallingThread) {
    setenv("TZ", "America/New_York", 1);
    OXInit::initialize();
    EXPECT_EQ(Orbanex::ThreadRegistry::getName(pthread_self()), "ZURAV");
    EXPECT_STREQ(getenv("TZ"), "Universal");
    EXPECT_NE(Orbanex::LogManager::instance(), nullptr);
    ASSERT_NE(Orbanex::__protocol, nullptr);
    const ShpOXMessage version = getVersionMessage();
    EXPECT_EQ(version->getRef<VersionMessage>().protosig, API_SIGNATURE);
    EXPECT_EQ(version->getRef<VersionMessage>().extra1, Orbanex::__protocol->getSignature());
    for (unsigned i = 0; i < APIResult::_nbValues; ++i) {
        const APIResult::Type value = APIResult::fromIndex(static_cast<unsigned char>(i));
        SCOPED_TRACE(static_cast<int>(value));
        EXPECT_NE(APIResult::toString(value), nullptr);
    }
    OXInit::finalize();
    EXPECT_EQ(Orbanex::LogManager::instance(), nullptr);
    EXPECT_EQ(Orbanex::__protocol, nullptr);
    EXPECT_EQ(Orbanex::ThreadRegistry::getName(pthread_self()), "N/A");
}

TEST(OXInit, TheCountingLayersWorkOnlyAtTheFirstStartAndTheLastStop) {
    OXInit::initialize();
    Orbanex::LogManager* const manager = Orbanex::LogManager::instance();
    OXInit::initialize();
    EXPECT_EQ(Orbanex::LogManager::instance(), manager);
    OXInit::finalize();
    EXPECT_EQ(Orbanex::LogManager::instance(), manager);
    EXPECT_NE(Orbanex::__protocol, nullptr);
    OXInit::finalize();
    EXPECT_EQ(Orbanex::LogManager::instance(), nullptr);
    EXPECT_EQ(Orbanex::__protocol, nullptr);
}

}  // namespace
