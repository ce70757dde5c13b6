// The device goes away (the master end of the line closes) while a read or a write waits on it:
// the call comes back at once with its failure value, later calls fail at once instead of waiting,
// and the port still closes cleanly.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "open_line.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double milliseconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Waits until `count` has stopped growing for a while: the writer is then blocked on a full buffer.
void wait_until_stalled(const std::atomic<long>& count) {
    long seen = -1;
    while (count.load() != seen) {
        seen = count.load();
        std::this_thread::sleep_for(200ms);
    }
}

class DeviceVanishes : public ::testing::TestWithParam<jint> {};

TEST_P(DeviceVanishes, WhileAReadWaits) {
    OpenLine open;
    ASSERT_TRUE(open.ok());
    ASSERT_EQ(natives::set_receive_timeout(open.port, GetParam()), 1);
    BlockedCall reader([&] { return natives::read_byte(open.port); });
    std::this_thread::sleep_for(50ms);
    ASSERT_FALSE(reader.done()) << "the read ended with no byte and no fault";

    const auto vanished = Clock::now();
    open.line.close_master();
    ASSERT_TRUE(reader.wait(1000ms)) << "the read did not notice the device had gone";
    EXPECT_EQ(reader.result(), -1);
    std::printf("read returned %.2f ms after the device vanished\n", milliseconds_between(vanished, reader.returned_at()));

    // Later calls fail at once; none waits out the time-out or spins.
    BlockedCall again([&] { return natives::read_byte(open.port); });
    ASSERT_TRUE(again.wait(1000ms)) << "a read on a vanished device waited";
    EXPECT_EQ(again.result(), -1);
    BlockedCall write([&] { return natives::write_byte(open.port, 'x'); });
    ASSERT_TRUE(write.wait(1000ms)) << "a write to a vanished device waited";
    EXPECT_EQ(write.result(), 0);
    EXPECT_EQ(open.close(), 1);
}

TEST_P(DeviceVanishes, WhileAWriteWaitsOnAFullBuffer) {
    OpenLine open;
    ASSERT_TRUE(open.ok());
    ASSERT_EQ(natives::set_receive_timeout(open.port, GetParam()), 1);
    std::atomic<long> written{0};
    BlockedCall writer([&] {
        jint result;
        while ((result = natives::write_byte(open.port, 'w')) == 1) ++written;
        return result;
    });
    wait_until_stalled(written);
    ASSERT_FALSE(writer.done()) << "a write failed although the device was there";

    const auto vanished = Clock::now();
    open.line.close_master();
    ASSERT_TRUE(writer.wait(1000ms)) << "the write did not notice the device had gone";
    EXPECT_EQ(writer.result(), 0);
    std::printf("write returned %.2f ms after the device vanished, %ld bytes were buffered\n",
                milliseconds_between(vanished, writer.returned_at()), written.load());

    BlockedCall reader([&] { return natives::read_byte(open.port); });
    ASSERT_TRUE(reader.wait(1000ms)) << "a read on a vanished device waited";
    EXPECT_EQ(reader.result(), -1);
    EXPECT_EQ(open.close(), 1);
}

TEST_P(DeviceVanishes, BeforeAnyCallTheRestStillGivePlainResults) {
    OpenLine open;
    ASSERT_TRUE(open.ok());
    open.line.close_master();
    ASSERT_EQ(natives::set_receive_timeout(open.port, GetParam()), 1);
    BlockedCall calls([&] {
        natives::clear_input(open.port);
        natives::set_comm_state(open.port, "baud=9600 parity=n data=8 stop=1");
        return natives::read_byte(open.port) == -1 && natives::write_byte(open.port, 1) == 0 ? 1 : 0;
    });
    ASSERT_TRUE(calls.wait(1000ms)) << "a call on a vanished device waited";
    EXPECT_EQ(calls.result(), 1);
    EXPECT_EQ(open.close(), 1);
}

// Time-out 0 waits without limit; the long one must not be what ends the wait either.
INSTANTIATE_TEST_SUITE_P(Timeouts, DeviceVanishes, ::testing::Values(0, 60'000));

}  // namespace
