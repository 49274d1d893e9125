// A signal handler for the whole process: a test of its own.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "../ClientImpInspector.h"
#include "../SessionFixtures.h"
#include "api/ProtoInit.h"
#include "client/AbstractOXHandler.h"

namespace {

using namespace ZURAV;
typedef ClientImpInspector In;

std::atomic<int> signalsHandled{0};

void onSignal(int) { signalsHandled.fetch_add(1); }

// Signals the loop thread until its handler has run n times in all. The signal is sent again
// while none arrives: a sanitizer may hold a signal back until the thread's next system call, and
// a loop waiting without limit makes none.
bool signalUntilHandled(pthread_t thread, int n) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (signalsHandled.load() < n) {
        const auto now = std::chrono::steady_clock::now();
        if (now > deadline) return false;
        pthread_kill(thread, SIGUSR1);
        const auto resend = now + std::chrono::milliseconds(20);
        while (signalsHandled.load() < n && std::chrono::steady_clock::now() < resend) {
            std::this_thread::yield();
        }
    }
    return true;
}

TEST(ClientLoopSignalThreads, AWaitInterruptedByASignalIsRetried) {
    ProtoInit::initialize();
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: the wait returns EINTR
    struct sigaction previous = {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    RecordingClient client;
    SocketPairConnection connection(client);
    client.setUseHeartbeat(false);  // the loop waits without limit
    AbstractOXHandler handler;
    In::setHandler(client, &handler);
    std::thread loop([&client] { client.dispatch(true); });
    for (int i = 1; i <= 5; ++i) {
        EXPECT_TRUE(signalUntilHandled(loop.native_handle(), signalsHandled.load() + 1));
    }
    EXPECT_EQ(client.stop(), APIResult::OK);
    loop.join();
    EXPECT_EQ(In::exitStatus(client), APIResult::OK);  // never taken for a failed wait
    In::setHandler(client, nullptr);
    sigaction(SIGUSR1, &previous, nullptr);
}

}  // namespace
