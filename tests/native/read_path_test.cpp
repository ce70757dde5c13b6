// What a JVM can't see of the read and write paths: how many system calls a byte costs, and how a
// wait behaves when signals interrupt it.
#include <gtest/gtest.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "fake_jni_env.h"
#include "ostrabel1.h"
#include "pseudo_terminal.h"

// The port layer's calls into the C library go through these counters (linked with --wrap).
namespace {
std::atomic<bool> counting{false};
std::atomic<int> reads{0}, writes{0}, polls{0};
}  // namespace

extern "C" {
ssize_t __real_read(int fd, void* buffer, size_t count);
ssize_t __real_write(int fd, const void* buffer, size_t count);
int __real_ppoll(pollfd* fds, nfds_t n, const timespec* timeout, const sigset_t* mask);

ssize_t __wrap_read(int fd, void* buffer, size_t count) {
    if (counting) ++reads;
    return __real_read(fd, buffer, count);
}
ssize_t __wrap_write(int fd, const void* buffer, size_t count) {
    if (counting) ++writes;
    return __real_write(fd, buffer, count);
}
int __wrap_ppoll(pollfd* fds, nfds_t n, const timespec* timeout, const sigset_t* mask) {
    if (counting) ++polls;
    return __real_ppoll(fds, n, timeout, mask);
}
}

namespace {

using Clock = std::chrono::steady_clock;

class ReadPath : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.ok());
        handle = Java_javax_comm_SerialPort_openPort(jni.env(), nullptr, jni.string(line.path()));
        ASSERT_NE(handle, 0);
    }
    void TearDown() override {
        counting = false;
        Java_javax_comm_SerialPort_closePort(nullptr, nullptr, handle);
    }
    static void start_counting() {
        reads = writes = polls = 0;
        counting = true;
    }

    FakeJniEnv jni;
    PseudoTerminal line;
    jint handle = 0;
};

TEST_F(ReadPath, AWaitingByteCostsOneReadAndAWrittenByteOneWrite) {
    ASSERT_TRUE(line.send("abc"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    start_counting();
    EXPECT_EQ(Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, handle), 'a');
    EXPECT_EQ(Java_javax_comm_SerialOutputStream_writebyte(nullptr, nullptr, handle, 'z'), 1);
    counting = false;
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(polls, 0);
}

void on_signal(int) {}

TEST_F(ReadPath, SignalsDuringAWaitNeitherEndItEarlyNorLoseTheByte) {
    struct sigaction action {};
    action.sa_handler = on_signal;  // no SA_RESTART: every signal interrupts the wait with EINTR
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    std::atomic<bool> reading{true};
    std::atomic<std::int64_t> waited_ms{0};
    std::atomic<int> timed_out_result{0}, byte_result{0};
    std::thread reader([&] {
        Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, handle, 300);
        const auto start = Clock::now();
        timed_out_result = Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, handle);
        waited_ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        Java_javax_comm_SerialPort_setReceiveTimeout(nullptr, nullptr, handle, 0);
        byte_result = Java_javax_comm_SerialInputStream_readbyte(nullptr, nullptr, handle);
        reading = false;
    });
    const pthread_t target = reader.native_handle();
    for (int i = 0; i < 12; ++i) {  // through the timed wait and into the untimed one
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        pthread_kill(target, SIGUSR1);
    }
    line.send("\xff");
    for (int i = 0; i < 100 && reading; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (reading) line.close_master();  // never leave the reader hanging if the byte went missing
    reader.join();
    sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_EQ(timed_out_result, -1);
    EXPECT_GE(waited_ms, 300) << "a signal must not cut the time-out short";
    EXPECT_LT(waited_ms, 1500);
    EXPECT_EQ(byte_result, 255) << "the untimed wait survives signals and still gets its byte";
}

}  // namespace
