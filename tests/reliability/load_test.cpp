// Load: many threads and many ports at once for a few seconds. Every byte written arrives exactly
// once and unaltered, in the order its writer wrote it, and nothing deadlocks.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "open_line.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kRunFor = 3s;

// A byte stream both ends can produce on their own: the checker replays the writer's stream, so a
// byte lost, doubled, altered or moved shows up as the first difference.
class Stream {
public:
    explicit Stream(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
    std::uint8_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<std::uint8_t>(state_ >> 11);
    }

private:
    std::uint32_t state_;
};

// What one direction of one port saw.
struct Direction {
    std::atomic<long> sent{0};
    std::atomic<bool> sending{true};
    long received = 0;
    long first_difference = -1;  // position of the first byte that was not the expected one
};

// The port writes through the natives; the device side reads and checks.
void port_to_device(jint port, int master, std::uint32_t seed, Direction& out) {
    std::thread writer([&] {
        Stream stream(seed);
        const auto until = Clock::now() + kRunFor;
        while (Clock::now() < until) {
            for (int i = 0; i < 64; ++i) {
                if (natives::write_byte(port, stream.next()) != 1) {
                    out.sending = false;
                    return;
                }
                ++out.sent;
            }
        }
        out.sending = false;
    });
    Stream expected(seed);
    std::uint8_t buffer[4096];
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        const int n = poll(&ready, 1, 1000);
        if (n == 1 && (ready.revents & POLLIN) != 0) {
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0) break;
            for (ssize_t i = 0; i < got; ++i, ++out.received) {
                if (buffer[i] != expected.next() && out.first_difference < 0) out.first_difference = out.received;
            }
            continue;
        }
        if (!out.sending) break;  // a second with nothing to read after the writer stopped
    }
    writer.join();
}

// The device side writes; the port reads through the natives and checks.
void device_to_port(jint port, int master, std::uint32_t seed, Direction& in) {
    std::thread writer([&] {
        Stream stream(seed);
        std::uint8_t chunk[97];
        const auto until = Clock::now() + kRunFor;
        while (Clock::now() < until) {
            for (std::uint8_t& byte : chunk) byte = stream.next();
            if (write(master, chunk, sizeof chunk) != static_cast<ssize_t>(sizeof chunk)) break;
            in.sent += sizeof chunk;
        }
        in.sending = false;
    });
    Stream expected(seed);
    for (;;) {
        const int value = natives::read_byte(port);
        if (value >= 0) {
            if (value != expected.next() && in.first_difference < 0) in.first_difference = in.received;
            ++in.received;
            continue;
        }
        if (!in.sending) break;  // a whole time-out with nothing after the writer stopped
    }
    writer.join();
}

TEST(Load, ManyPortsBothWaysEveryByteOnceInOrder) {
    constexpr int kPorts = 6;
    std::array<OpenLine, kPorts> lines;
    std::array<Direction, kPorts> outbound, inbound;
    for (OpenLine& open : lines) {
        ASSERT_TRUE(open.ok());
        ASSERT_EQ(natives::set_receive_timeout(open.port, 1000), 1);
    }

    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < kPorts; ++i) {
        threads.emplace_back(port_to_device, lines[i].port, lines[i].line.master(), 100 + i, std::ref(outbound[i]));
        threads.emplace_back(device_to_port, lines[i].port, lines[i].line.master(), 200 + i, std::ref(inbound[i]));
    }
    for (std::thread& thread : threads) thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    long sent = 0, received = 0;
    for (int i = 0; i < kPorts; ++i) {
        for (const Direction* direction : {&outbound[i], &inbound[i]}) {
            SCOPED_TRACE("port " + std::to_string(i) + (direction == &outbound[i] ? " outbound" : " inbound"));
            EXPECT_GT(direction->sent.load(), 0);
            EXPECT_EQ(direction->received, direction->sent.load()) << "bytes lost or doubled";
            EXPECT_EQ(direction->first_difference, -1) << "a byte altered or out of order";
            sent += direction->sent.load();
            received += direction->received;
        }
    }
    std::printf("%d ports, %d threads (a writer and a reader each way per port), %.2f s: %ld bytes written, "
                "%ld received, %ld lost\n",
                kPorts, kPorts * 4, seconds, sent, received, sent - received);
}

TEST(Load, ManyWritersOnOnePortKeepEachWritersOrder) {
    // A byte carries its writer (high 3 bits) and that writer's sequence number (low 5 bits): single
    // bytes from different threads interleave, but each writer's own bytes must stay in order.
    constexpr int kWriters = 8;
    OpenLine open;
    ASSERT_TRUE(open.ok());
    std::array<std::atomic<long>, kWriters> sent{};
    std::atomic<int> writing{kWriters};
    std::vector<std::thread> writers;
    const auto start = Clock::now();
    for (int id = 0; id < kWriters; ++id) {
        writers.emplace_back([&, id] {
            const auto until = Clock::now() + kRunFor;
            for (long sequence = 0; Clock::now() < until; ++sequence) {
                if (natives::write_byte(open.port, (id << 5) | static_cast<int>(sequence & 31)) != 1) break;
                ++sent[id];
            }
            --writing;
        });
    }
    std::array<long, kWriters> received{};
    long out_of_order = 0;
    std::uint8_t buffer[4096];
    for (;;) {
        pollfd ready{open.line.master(), POLLIN, 0};
        if (poll(&ready, 1, 1000) == 1 && (ready.revents & POLLIN) != 0) {
            const ssize_t got = read(open.line.master(), buffer, sizeof buffer);
            if (got <= 0) {
                ADD_FAILURE() << "the device end stopped reading";
                open.close();  // frees writers stuck on the full buffer
                break;
            }
            for (ssize_t i = 0; i < got; ++i) {
                const int id = buffer[i] >> 5;
                if ((buffer[i] & 31) != (received[id] & 31)) ++out_of_order;
                ++received[id];
            }
        } else if (writing == 0) {
            break;
        }
    }
    for (std::thread& writer : writers) writer.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    long total_sent = 0, total_received = 0;
    for (int id = 0; id < kWriters; ++id) {
        EXPECT_EQ(received[id], sent[id].load()) << "writer " << id;
        total_sent += sent[id].load();
        total_received += received[id];
    }
    EXPECT_EQ(out_of_order, 0);
    std::printf("%d writer threads on one port, %.2f s: %ld bytes written, %ld received, %ld lost, %ld out of order\n",
                kWriters, seconds, total_sent, total_received, total_sent - total_received, out_of_order);
}

TEST(Load, ManyReadersOnOnePortShareTheBytesWithoutLossOrDoubling) {
    // Readers take turns at one input queue: together they must see each byte exactly once. A
    // thread changing the receive time-out meanwhile must not disturb them.
    constexpr int kReaders = 8;
    OpenLine open;
    ASSERT_TRUE(open.ok());
    ASSERT_EQ(natives::set_receive_timeout(open.port, 500), 1);
    std::array<long, 256> sent_counts{};
    std::atomic<bool> sending{true};
    std::atomic<bool> running{true};

    std::vector<std::array<long, 256>> seen(kReaders);
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int id = 0; id < kReaders; ++id) {
        threads.emplace_back([&, id] {
            for (;;) {
                const int value = natives::read_byte(open.port);
                if (value >= 0) {
                    ++seen[id][value];
                } else if (!sending) {
                    return;
                }
            }
        });
    }
    threads.emplace_back([&] {
        for (jint milliseconds = 400; running; milliseconds = milliseconds == 400 ? 600 : 400) {
            natives::set_receive_timeout(open.port, milliseconds);
            std::this_thread::sleep_for(1ms);
        }
    });
    long sent = 0;
    Stream stream(300);
    std::uint8_t chunk[61];
    for (const auto until = Clock::now() + kRunFor; Clock::now() < until;) {
        for (std::uint8_t& byte : chunk) {
            byte = stream.next();
            ++sent_counts[byte];
        }
        if (write(open.line.master(), chunk, sizeof chunk) != static_cast<ssize_t>(sizeof chunk)) {
            ADD_FAILURE() << "the device end stopped writing";
            break;
        }
        sent += sizeof chunk;
    }
    sending = false;
    for (int id = 0; id < kReaders; ++id) threads[id].join();
    running = false;
    threads.back().join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    long received = 0;
    for (int value = 0; value < 256; ++value) {
        long count = 0;
        for (const auto& counts : seen) count += counts[value];
        EXPECT_EQ(count, sent_counts[value]) << "byte value " << value;
        received += count;
    }
    std::printf("%d reader threads on one port, %.2f s: %ld bytes written, %ld read, %ld lost\n", kReaders, seconds,
                sent, received, sent - received);
}

}  // namespace
