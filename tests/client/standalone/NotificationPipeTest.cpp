// Lowers the process's descriptor limit: a test of its own.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <exception>
#include <stdexcept>

#include "client/OXClient.h"

namespace {

int lowestFreeDescriptor() {
    const int fd = dup(0);
    close(fd);
    return fd;
}

TEST(NotificationPipe, AClientThatCannotMakeItsPipeIsRefusedAndLeaksNothing) {
    // One client made while descriptors are plenty: the sanitizers' first type check of an
    // object may need descriptors of its own.
    { ZURAV::OXClient warmUp("user", "secret", "localhost", 1); }
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    const int next = lowestFreeDescriptor();
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(next) + 1;  // one descriptor left; a pipe needs two
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    // Looked at once the limit is back, for the same reason.
    std::exception_ptr error;
    try {
        ZURAV::OXClient client("user", "secret", "localhost", 1);
    } catch (...) {
        error = std::current_exception();
    }
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &old), 0);
    EXPECT_EQ(lowestFreeDescriptor(), next);
    ASSERT_TRUE(error);
    try {
        std::rethrow_exception(error);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error creating notification pipe.");
    }
}

}  // namespace
