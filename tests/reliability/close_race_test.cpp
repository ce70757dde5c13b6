// A port closed by one thread while others wait on it or keep calling with its handle: the waiting
// calls come back within 100 ms with their failure values, and no call ever reaches the descriptors
// that the next open of the process is given (often the very numbers the port had).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "open_line.h"
#include "process_probe.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double milliseconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void print_latencies(const char* what, std::vector<double> latencies) {
    std::sort(latencies.begin(), latencies.end());
    std::printf("%s: %zu closes, latency min %.3f ms, median %.3f ms, max %.3f ms\n", what, latencies.size(),
                latencies.front(), latencies[latencies.size() / 2], latencies.back());
}

class CloseWhileWaiting : public ::testing::TestWithParam<jint> {};

TEST_P(CloseWhileWaiting, AWaitingReadReturnsWithin100ms) {
    std::vector<double> latencies;
    for (int round = 0; round < 30; ++round) {
        OpenLine open;
        ASSERT_TRUE(open.ok());
        ASSERT_EQ(natives::set_receive_timeout(open.port, GetParam()), 1);
        const jint port = open.port;
        BlockedCall reader([port] { return natives::read_byte(port); });
        std::this_thread::sleep_for(5ms);  // the read is in its wait by now
        ASSERT_FALSE(reader.done());

        const auto closing = Clock::now();
        EXPECT_EQ(open.close(), 1);
        ASSERT_TRUE(reader.wait(1000ms)) << "the read kept waiting on a closed port";
        EXPECT_EQ(reader.result(), -1);
        // Close hands back only once the read has let go of the port, so this can come out negative.
        latencies.push_back(std::max(0.0, milliseconds_between(closing, reader.returned_at())));
        EXPECT_LT(latencies.back(), 100.0);
    }
    print_latencies(GetParam() == 0 ? "read without time-out" : "read with a 60 s time-out", latencies);
}

// A thread that writes to the port until the output buffer is full and the write blocks; the
// constructor returns once the count has stopped growing.
struct StuckWriter {
    explicit StuckWriter(jint port)
        : call([port, this] {
              jint result;
              while ((result = natives::write_byte(port, 'w')) == 1) ++written;
              return result;
          }) {
        for (long seen = -1; written.load() != seen;) {
            seen = written.load();
            std::this_thread::sleep_for(200ms);
        }
    }
    std::atomic<long> written{0};
    BlockedCall call;
};

TEST_P(CloseWhileWaiting, AWriteBlockedOnAFullBufferReturnsWithin100ms) {
    OpenLine open;
    ASSERT_TRUE(open.ok());
    ASSERT_EQ(natives::set_receive_timeout(open.port, GetParam()), 1);
    const jint port = open.port;
    StuckWriter stuck(port);
    BlockedCall& writer = stuck.call;
    ASSERT_FALSE(writer.done());

    const auto closing = Clock::now();
    EXPECT_EQ(open.close(), 1);
    ASSERT_TRUE(writer.wait(1000ms)) << "the write kept waiting on a closed port";
    EXPECT_EQ(writer.result(), 0);
    const double latency = std::max(0.0, milliseconds_between(closing, writer.returned_at()));
    std::printf("blocked write after %ld bytes: returned %.3f ms after close began\n", stuck.written.load(), latency);
    EXPECT_LT(latency, 100.0);
}

// With a write stuck on a full buffer, the other natives still come back (none waits for the output
// to drain), and a close then frees the writer: nothing holds the port so long that close waits.
TEST(StuckWrite, OtherCallsAndTheCloseStillGoThrough) {
    OpenLine open;
    ASSERT_TRUE(open.ok());
    const jint port = open.port;
    StuckWriter stuck(port);
    BlockedCall& writer = stuck.call;
    ASSERT_FALSE(writer.done());

    BlockedCall others([port] {
        natives::set_comm_state(port, "baud=19200 parity=e data=7 stop=2");
        natives::set_comm_state(port, "96,n,8,1");
        natives::set_receive_timeout(port, 10);
        natives::clear_input(port);
        return natives::read_byte(port);
    });
    ASSERT_TRUE(others.wait(1000ms)) << "a native waited on the stuck output";
    EXPECT_EQ(others.result(), -1);

    BlockedCall closer([&open] { return open.close(); });
    ASSERT_TRUE(closer.wait(1000ms)) << "close waited on the stuck write";
    EXPECT_EQ(closer.result(), 1);
    ASSERT_TRUE(writer.wait(1000ms));
    EXPECT_EQ(writer.result(), 0);
}

INSTANTIATE_TEST_SUITE_P(Timeouts, CloseWhileWaiting, ::testing::Values(0, 60'000));

// Bytes available on `fd` right now, without waiting.
std::string available(int fd) {
    std::string got;
    char buffer[64];
    for (pollfd ready{fd, POLLIN, 0}; poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

// Readers and writers hammer whichever handle is current, including one just closed; after every
// close the test opens a pipe in the descriptor numbers just freed and checks nothing touched it.
TEST(CloseRace, StaleCallsNeverReachTheNextOwnerOfTheDescriptors) {
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    std::atomic<jint> current{0};
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0}, writes{0}, bytes_read{0};

    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&] {
            while (!stop) {
                if (natives::read_byte(current.load()) >= 0) ++bytes_read;
                ++reads;
                std::this_thread::yield();
            }
        });
        threads.emplace_back([&] {
            while (!stop) {
                natives::write_byte(current.load(), 'w');
                ++writes;
                std::this_thread::yield();
            }
        });
    }
    // The device side: drains what the writers send and now and then sends something back.
    threads.emplace_back([&] {
        while (!stop) {
            available(line.master());
            line.send("d");
            std::this_thread::sleep_for(1ms);
        }
    });

    // One open, a short life and a close, then a pipe in the freed numbers; what went wrong, if anything.
    int rounds = 0, reused = 0;
    const auto one_round = [&]() -> std::string {
        const std::set<int> before = open_descriptors();
        const jint port = natives::open_port(line.path());
        if (port == 0) return "the port could not be opened again";
        std::set<int> port_fds;
        for (int fd : open_descriptors())
            if (before.count(fd) == 0) port_fds.insert(fd);
        current = port;
        std::this_thread::sleep_for(2ms);
        if (natives::close_port(port) != 1) return "the close failed";

        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0 || write(ends[1], "M", 1) != 1) return "no pipe";
        if (port_fds.count(ends[0]) != 0 || port_fds.count(ends[1]) != 0) ++reused;
        std::this_thread::sleep_for(1ms);  // the threads keep calling with the closed handle meanwhile
        const std::string left = available(ends[0]);
        close(ends[0]);
        close(ends[1]);
        ++rounds;
        return left == "M" ? "" : "a call on a closed port reached a descriptor it no longer owns";
    };
    std::string failure;
    for (const auto until = Clock::now() + 3s; failure.empty() && Clock::now() < until;) failure = one_round();
    stop = true;
    current = 0;
    for (std::thread& thread : threads) thread.join();
    std::printf("%d open/close rounds, %d with the port's descriptor numbers reused at once; %ld reads (%ld bytes), "
                "%ld writes on live and stale handles\n",
                rounds, reused, reads.load(), bytes_read.load(), writes.load());
    EXPECT_EQ(failure, "") << "in round " << rounds + 1;
    EXPECT_GT(reused, 0) << "the race this test is after never happened";
}

}  // namespace
