// The POSIX port layer through the bridge, against real pseudo-terminals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "comm/posix/port_table.h"
#include "fake_jni_env.h"
#include "natives.h"
#include "ostrabel1.h"
#include "pseudo_terminal.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

class PosixPort : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(line.ok()); }
    void TearDown() override { EXPECT_EQ(jni.acquired(), jni.released()); }

    jint open(const std::string& name) { return Java_javax_comm_SerialPort_openPort(jni.env(), nullptr, jni.string(name)); }
    jboolean configure(jint handle, const std::string& definition) {
        return Java_javax_comm_SerialPort_setCommState(jni.env(), nullptr, handle, jni.string(definition));
    }
    static jint close(jint handle) { return natives::close_port(handle); }
    static jint set_timeout(jint handle, jint ms) { return natives::set_receive_timeout(handle, ms); }
    static jint read(jint handle) { return natives::read_byte(handle); }
    static jint write(jint handle, jint value) { return natives::write_byte(handle, value); }
    static jint clear(jint handle) { return natives::clear_input(handle); }

    static std::uint32_t stored_timeout(jint handle) {
        const ostrabel1::comm::posix::PortLease port(handle);
        return port ? port.receive_timeout_ms() : 0xDEADBEEF;
    }

    FakeJniEnv jni;
    PseudoTerminal line;
};

TEST_F(PosixPort, OpenRefusesWhatIsNotATerminalDevice) {
    char file[] = "/tmp/ostrabel1-not-a-port-XXXXXX";
    const int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    for (const std::string& name : {std::string("/dev/ostrabel1-no-such-device"), std::string(file), std::string("/dev/null"), std::string("/tmp"), std::string()}) {
        EXPECT_EQ(open(name), 0) << name;
    }
    std::remove(file);
}

TEST_F(PosixPort, OpenGivesAUsableHandleThatIsNeitherZeroNorMinusOne) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    EXPECT_NE(handle, -1);
    EXPECT_EQ(write(handle, 'A'), 1);
    EXPECT_EQ(line.receive(1), "A");
    EXPECT_EQ(close(handle), 1);
}

TEST_F(PosixPort, OpenLeavesTheLineRawAndBinary) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    // Bytes that a terminal would translate or act on come through as they are.
    const std::string bytes("\r\n\x03\x04\x11\x13\x1a\x7f\xff\x00", 10);
    ASSERT_TRUE(line.send(bytes));
    std::string got;
    set_timeout(handle, 500);
    for (std::size_t i = 0; i < bytes.size(); ++i) got.push_back(static_cast<char>(read(handle)));
    EXPECT_EQ(got, bytes);
    close(handle);
}

TEST_F(PosixPort, ASecondOpenFailsWhileThePortIsOpenAndSucceedsAfterClose) {
    const jint first = open(line.path());
    ASSERT_NE(first, 0);
    EXPECT_EQ(open(line.path()), 0) << "same process";

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FakeJniEnv child_jni;
        const jint handle =
            Java_javax_comm_SerialPort_openPort(child_jni.env(), nullptr, child_jni.string(line.path()));
        _exit(handle == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process";

    EXPECT_EQ(close(first), 1);
    const jint again = open(line.path());
    EXPECT_NE(again, 0);
    EXPECT_NE(again, first) << "a new open gets a new handle";
    close(again);
}

TEST_F(PosixPort, CloseTwiceFailsTheSecondTimeAndTheOldHandleStaysDead) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    EXPECT_EQ(close(handle), 1);
    EXPECT_EQ(close(handle), 0);
    // Even once the same table slot serves a new port, the old handle names nothing.
    const jint reopened = open(line.path());
    ASSERT_NE(reopened, 0);
    EXPECT_EQ(write(handle, 'x'), 0);
    EXPECT_EQ(read(handle), -1);
    EXPECT_EQ(close(handle), 0);
    EXPECT_EQ(line.receive(1, 50), "");
    close(reopened);
}

TEST_F(PosixPort, EveryNativeFailsCleanlyWithAHandleThatWasNeverOpened) {
    for (const jint handle : {0, -1, 1, 2, 3, 1023, 1024, 1025, 0x12345, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(close(handle), 0);
        EXPECT_EQ(configure(handle, "baud=9600 parity=n data=8 stop=1"), JNI_FALSE);
        EXPECT_EQ(set_timeout(handle, 250), 0);
        EXPECT_EQ(read(handle), -1);
        EXPECT_EQ(write(handle, 'x'), 0);
        EXPECT_EQ(clear(handle), 0);
    }
}

TEST_F(PosixPort, ReceiveTimeoutIsStoredPerPortAsUnsignedMilliseconds) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    EXPECT_EQ(stored_timeout(handle), 0u) << "a fresh port waits without limit";
    const struct {
        jint from_java;
        std::uint32_t stored;
    } cases[] = {{250, 250}, {0, 0}, {-1, 4294967295u}, {INT_MIN, 2147483648u}};
    for (const auto& c : cases) {
        EXPECT_EQ(set_timeout(handle, c.from_java), 1);
        EXPECT_EQ(stored_timeout(handle), c.stored);
    }
    close(handle);
    const jint reopened = open(line.path());
    EXPECT_EQ(stored_timeout(reopened), 0u) << "nothing carries over to the next open";
    close(reopened);
}

TEST_F(PosixPort, TimeoutAndLineSettingsNeverDisturbEachOther) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    termios before{};
    // Time-out first, then settings: the time-out survives.
    EXPECT_EQ(set_timeout(handle, 250), 1);
    configure(handle, "baud=19200 parity=n data=8 stop=1");
    EXPECT_EQ(stored_timeout(handle), 250u);
    // Settings first, then time-out: the settings survive.
    ASSERT_EQ(tcgetattr(line.master(), &before), 0);
    EXPECT_EQ(set_timeout(handle, 900), 1);
    termios after{};
    ASSERT_EQ(tcgetattr(line.master(), &after), 0);
    EXPECT_EQ(cfgetispeed(&before), cfgetispeed(&after));
    EXPECT_EQ(before.c_cflag, after.c_cflag);
    EXPECT_EQ(before.c_iflag, after.c_iflag);
    close(handle);
}

TEST_F(PosixPort, ReadbyteGivesEveryByteValueAsZeroTo255) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    set_timeout(handle, 1000);
    std::string all;
    for (int value = 0; value < 256; ++value) all.push_back(static_cast<char>(value));
    ASSERT_TRUE(line.send(all));
    for (int value = 0; value < 256; ++value) ASSERT_EQ(read(handle), value);
    close(handle);
}

TEST_F(PosixPort, WritebyteSendsEveryByteValueAndTheLowEightBits) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    std::string expected;
    for (int value = 0; value < 256; ++value) {
        ASSERT_EQ(write(handle, value), 1);
        expected.push_back(static_cast<char>(value));
    }
    EXPECT_EQ(line.receive(256), expected);
    EXPECT_EQ(write(handle, 0x141), 1);
    EXPECT_EQ(write(handle, -1), 1);
    EXPECT_EQ(line.receive(2), "\x41\xff");
    close(handle);
}

TEST_F(PosixPort, ReadWithNoDataEndsAfterTheTimeoutAndNotBefore) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    set_timeout(handle, 250);
    const auto start = Clock::now();
    EXPECT_EQ(read(handle), -1);
    const auto waited = elapsed_ms(start);
    EXPECT_GE(waited, 250);
    EXPECT_LT(waited, 1500);
    close(handle);
}

TEST_F(PosixPort, TimeoutZeroWaitsUntilAByteArrives) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    set_timeout(handle, 0);
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        line.send("Z");
    });
    const auto start = Clock::now();
    EXPECT_EQ(read(handle), 'Z');
    EXPECT_GE(elapsed_ms(start), 350);
    sender.join();
    close(handle);
}

TEST_F(PosixPort, AVanishedDeviceEndsAWaitingReadAtOnce) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    set_timeout(handle, 0);
    std::thread vanish([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        line.close_master();
    });
    const auto start = Clock::now();
    EXPECT_EQ(read(handle), -1);
    EXPECT_LT(elapsed_ms(start), 1000);
    vanish.join();
    // Later calls fail at once too, and the port still closes cleanly.
    const auto again = Clock::now();
    EXPECT_EQ(read(handle), -1);
    EXPECT_LT(elapsed_ms(again), 100);
    EXPECT_EQ(write(handle, 'x'), 0);
    EXPECT_EQ(close(handle), 1);
}

TEST_F(PosixPort, ClearcomDiscardsWaitingInputButNotOutputNorLaterInput) {
    const jint handle = open(line.path());
    ASSERT_NE(handle, 0);
    set_timeout(handle, 200);
    ASSERT_TRUE(line.send("stale"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the bytes reach the input queue
    ASSERT_EQ(write(handle, 'o'), 1);                             // output waiting for the other end
    EXPECT_EQ(clear(handle), 1);
    EXPECT_EQ(read(handle), -1) << "the waiting input is gone";
    EXPECT_EQ(line.receive(1), "o") << "the waiting output is not";
    ASSERT_TRUE(line.send("new"));
    EXPECT_EQ(read(handle), 'n');
    close(handle);
}

}  // namespace
