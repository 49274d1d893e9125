// The raw rows of the session table (SessionBench.h): the floor that loopback TCP allows on this
// machine, with blocking sockets, moving the library's frames (sessionFrames()) without reading
// them. The client's side runs on the bench thread, the server's side on a thread of its own.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Registry.h"
#include "SessionBench.h"

namespace Bench {
namespace {

// The client's input buffer: as large as the library's client reads into.
constexpr size_t INPUT_SIZE = 1 << 20;

// The server's side of the ping-pong: every order frame that arrives is answered with the two
// report frames, each in a write of its own, as the library's test server answers.
void echo(int fd, const SessionFrames& f) {
    std::vector<char> buf(64 * 1024);
    size_t have = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buf.data() + have, buf.size() - have);
        if (n <= 0) return;
        have += static_cast<size_t>(n);
        size_t used = 0;
        for (; have - used >= f.order.size(); used += f.order.size()) {
            if (!writeAll(fd, f.received.data(), f.received.size()) ||
                !writeAll(fd, f.done.data(), f.done.size())) {
                return;
            }
        }
        std::memmove(buf.data(), buf.data() + used, have - used);
        have -= used;
    }
}

void runPingPong(benchmark::State& st) {
    const SessionSizes& z = sessionSizes();
    const SessionFrames& f = sessionFrames();
    int port = 0;
    const int listener = listenLoopback(port);
    if (listener < 0) {
        st.SkipWithError("no listener");
        return;
    }
    std::atomic<int> serverFd{-1};
    std::thread server([&] {
        pinThisThread(cpuPlan().server);
        const int fd = acceptWithin(listener, z.deadline);
        serverFd = fd;
        if (fd >= 0) echo(fd, f);
    });

    Pinned pin(cpuPlan().client);
    const int fd = connectLoopback(port);
    std::vector<double> times;
    times.reserve(static_cast<size_t>(z.roundTrips));
    std::string error = fd < 0 ? "no connection" : "";
    if (fd >= 0) {
        // The answers of order k end at k * answer; its first report at k * answer + received.
        const uint64_t answer = f.received.size() + f.done.size();
        std::vector<char> input(INPUT_SIZE);
        uint64_t got = 0;
        Watchdog watchdog(z.deadline, [fd] { ::shutdown(fd, SHUT_RDWR); });
        for (int k = 0; k < z.warmUp + z.roundTrips && error.empty(); ++k) {
            const int64_t t0 = nowNs();
            if (!writeAll(fd, f.order.data(), f.order.size())) {
                error = "write failed";
                break;
            }
            const uint64_t need = static_cast<uint64_t>(k) * answer + f.received.size();
            while (got < need) {
                const ssize_t n = ::read(fd, input.data(), input.size());
                if (n <= 0) {
                    error = "the connection ended before the deadline";
                    break;
                }
                got += static_cast<uint64_t>(n);
            }
            if (k >= z.warmUp) times.push_back(static_cast<double>(nowNs() - t0));
        }
        ::shutdown(fd, SHUT_RDWR);
    }
    if (fd < 0) ::shutdown(listener, SHUT_RDWR);
    server.join();
    if (fd >= 0) ::close(fd);
    if (serverFd >= 0) ::close(serverFd);
    ::close(listener);
    for (auto _ : st) {
        if (!error.empty()) {
            st.SkipWithError(error.c_str());
        } else {
            reportTimes(st, times, 0,
                        static_cast<double>(f.order.size() + f.received.size() + f.done.size()));
        }
    }
}

void runStream(benchmark::State& st, int shape) {
    const SessionSizes& z = sessionSizes();
    const SessionFrames& f = sessionFrames();
    const uint64_t chunks = f.chunks(shape);
    const uint64_t bytes = chunks * f.chunk[shape].size();
    int port = 0;
    const int listener = listenLoopback(port);
    if (listener < 0) {
        st.SkipWithError("no listener");
        return;
    }
    std::atomic<bool> stopWriting{false};
    std::atomic<int64_t> startedAt{0};
    std::atomic<int> serverFd{-1};
    std::thread server([&] {
        pinThisThread(cpuPlan().server);
        const int fd = acceptWithin(listener, z.deadline);
        serverFd = fd;
        if (fd < 0) return;
        // Non-blocking, as the library's server side writes: the same writer on both.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        startedAt = nowNs();
        writeRepeated(fd, f.chunk[shape], chunks, stopWriting);
    });

    Pinned pin(cpuPlan().client);
    const int fd = connectLoopback(port);
    uint64_t got = 0;
    int64_t lastAt = 0;
    if (fd >= 0) {
        std::vector<char> input(INPUT_SIZE);
        Watchdog watchdog(z.deadline, [fd, &stopWriting] {
            stopWriting = true;
            ::shutdown(fd, SHUT_RDWR);
        });
        while (got < bytes) {
            const ssize_t n = ::read(fd, input.data(), input.size());
            if (n <= 0) break;
            got += static_cast<uint64_t>(n);
        }
        lastAt = nowNs();
    } else {
        ::shutdown(listener, SHUT_RDWR);
    }
    stopWriting = true;
    server.join();
    if (fd >= 0) ::close(fd);
    if (serverFd >= 0) ::close(serverFd);
    ::close(listener);
    for (auto _ : st) {
        if (got != bytes) {
            st.SkipWithError("the stream did not arrive whole before the deadline");
        } else {
            reportStream(st, static_cast<double>(chunks * f.framesPerChunk[shape]),
                         static_cast<double>(lastAt - startedAt) / 1e9, 0,
                         static_cast<double>(f.md[shape].size()));
        }
    }
}

void runConnects(benchmark::State& st) {
    const SessionSizes& z = sessionSizes();
    int port = 0;
    const int listener = listenLoopback(port);
    if (listener < 0) {
        st.SkipWithError("no listener");
        return;
    }
    std::atomic<bool> stop{false};
    std::thread server([&] {
        pinThisThread(cpuPlan().server);
        while (!stop) {
            const int fd = acceptWithin(listener, std::chrono::milliseconds(100));
            if (fd >= 0) ::close(fd);
        }
    });

    Pinned pin(cpuPlan().client);
    std::vector<double> times;
    times.reserve(static_cast<size_t>(z.connects));
    std::string error;
    {
        Watchdog watchdog(z.deadline, [listener] { ::shutdown(listener, SHUT_RDWR); });
        for (int k = 0; k < z.connectWarmUp + z.connects; ++k) {
            const int64_t t0 = nowNs();
            const int fd = connectLoopback(port);
            const int64_t t1 = nowNs();
            if (fd < 0) {
                error = "connect failed";
                break;
            }
            ::close(fd);
            if (k >= z.connectWarmUp) times.push_back(static_cast<double>(t1 - t0));
        }
    }
    stop = true;
    server.join();
    ::close(listener);
    for (auto _ : st) {
        if (!error.empty()) {
            st.SkipWithError(error.c_str());
        } else {
            reportTimes(st, times, 0, 0);
        }
    }
}

}  // namespace

void registerRawSessions() {
    addSessionRow("order", RAW, runPingPong);
    addSessionRow("md2", RAW, [](benchmark::State& st) { runStream(st, 0); });
    addSessionRow("md10", RAW, [](benchmark::State& st) { runStream(st, 1); });
    addSessionRow("connect", RAW, runConnects);
}

}  // namespace Bench
