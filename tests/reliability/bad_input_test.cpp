// Whatever the Java side passes (any handle, any mode string, any byte value, any time-out), every
// native gives a plain result, touches no descriptor it did not open and leaves a good port working.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "natives.h"
#include "process_probe.h"
#include "pseudo_terminal.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string drain(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    std::string got;
    char buffer[256];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<std::size_t>(n));
    fcntl(fd, F_SETFL, flags);
    return got;
}

// Every native on a handle that names no open port: each must report failure and do nothing else.
void expect_refused_everywhere(jint handle) {
    SCOPED_TRACE("handle " + std::to_string(handle));
    EXPECT_EQ(natives::read_byte(handle), -1);
    EXPECT_EQ(natives::write_byte(handle, 'W'), 0);
    EXPECT_EQ(natives::clear_input(handle), 0);
    EXPECT_EQ(natives::set_receive_timeout(handle, 5000), 0);
    EXPECT_FALSE(natives::set_comm_state(handle, "baud=9600 parity=n data=8 stop=1"));
    EXPECT_FALSE(natives::set_comm_state(handle, "96,n,8,1"));
    EXPECT_EQ(natives::close_port(handle), 0);
}

TEST(BadHandle, NoNativeActsOnAHandleItDidNotIssue) {
    // A live port nearby, so a stray handle that reached it would show.
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    const std::set<int> before = open_descriptors();
    const jint live = natives::open_port(line.path());
    ASSERT_NE(live, 0);
    ASSERT_EQ(natives::set_receive_timeout(live, 20), 1);
    std::vector<int> library_fds;
    for (int fd : open_descriptors())
        if (before.count(fd) == 0) library_fds.push_back(fd);

    // Descriptors of our own, each holding one byte: none may gain or lose a byte.
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    ASSERT_EQ(write(pipe_ends[1], "P", 1), 1);
    char file_name[] = "/tmp/ostrabel1-bad-handle-XXXXXX";
    const int file = mkstemp(file_name);
    ASSERT_GE(file, 0);
    unlink(file_name);
    ASSERT_EQ(write(file, "F", 1), 1);

    // A port opened and closed: its handle is stale, and stays stale once its slot is reused.
    PseudoTerminal other;
    ASSERT_TRUE(other.ok());
    const jint closed = natives::open_port(other.path());
    ASSERT_NE(closed, 0);
    ASSERT_EQ(natives::close_port(closed), 1);
    const jint reopened = natives::open_port(other.path());
    ASSERT_NE(reopened, 0);
    ASSERT_NE(reopened, closed);

    std::vector<jint> handles = {0,       -1,          1,           2,          3,           INT_MIN,
                                 INT_MAX, INT_MIN + 1, INT_MAX - 1, 1023,       1024,        1025,
                                 0x400,   0x7FFFFC00,  live + 1024, live - 1024, live ^ 0x40000000,
                                 -live,   closed,      pipe_ends[0], pipe_ends[1], file};
    for (int fd : library_fds) handles.push_back(fd);
    std::mt19937 random(20240607);
    for (int i = 0; i < 5000; ++i) handles.push_back(static_cast<jint>(random()));

    for (jint handle : handles) {
        if (handle == live || handle == reopened) continue;
        expect_refused_everywhere(handle);
    }

    EXPECT_EQ(drain(pipe_ends[0]), "P") << "a native read from or wrote into a pipe it never opened";
    EXPECT_EQ(lseek(file, 0, SEEK_END), 1) << "a native wrote into a file it never opened";
    EXPECT_EQ(line.receive(64, 50), "") << "a stray write reached the live port";
    EXPECT_EQ(other.receive(64, 50), "") << "a stale handle wrote to the port that reused its slot";

    // The live ports are as they were: time-out unchanged (20 ms, not 5000 or forever), bytes flow.
    const auto start = Clock::now();
    EXPECT_EQ(natives::read_byte(live), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    ASSERT_TRUE(line.send("k"));
    EXPECT_EQ(natives::read_byte(live), 'k');
    EXPECT_EQ(natives::write_byte(reopened, 'r'), 1);
    EXPECT_EQ(other.receive(1), "r");

    EXPECT_EQ(natives::close_port(reopened), 1);
    EXPECT_EQ(natives::close_port(live), 1);
    EXPECT_EQ(natives::close_port(live), 0) << "a second close of the same port";
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    close(file);
}

termios line_settings(const PseudoTerminal& line) {
    termios settings{};
    tcgetattr(line.master(), &settings);  // on a master, this reads the slave's settings
    return settings;
}

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc)) &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

std::vector<std::string> hostile_mode_strings() {
    std::vector<std::string> texts = {
        "",
        " ",
        "=",
        "======",
        ",,,,,,,,",
        "baud=",
        "baud= parity= data= stop=",
        "baud=0",
        "baud=-1",
        "baud=4294967295",
        "baud=4294967296",
        "baud=99999999999999999999999999999999",
        "baud=9600 baud=9600 baud=9600",
        "data=0",
        "data=255",
        "data=-8",
        "stop=0",
        "stop=3",
        "stop=1.5 data=8",
        "stop=1.",
        "parity=z",
        "parity=",
        "xon=maybe",
        "dtr=hs rts=tg odsr=on octs=on idsr=on to=on",
        "to=on to=off to=on",
        "baud=19200 parity=e data=7 stop=2",  // accepted ones between the rest, so refusals meet changed lines
        "96",
        "96,",
        "96,n",
        "96,n,8",
        "96,n,8,1,",
        "96,n,8,1,x,p",
        "96,n,8,1,q",
        "-96,n,8,1",
        "96,n,9,1",
        "96,n,8,3",
        "99999999999999999999,n,8,1",
        "COM1:96,n,8,1",
        "COM1: baud=9600",
        "COM999999999999:",
        "baud=9600\tparity=n\ndata=8\rstop=1",
        "baud=115200 parity=o data=5 stop=1.5",
        "%s%s%s%n%n%x",
        "\xc0\x80",               // a NUL as modified UTF-8 carries it
        "\xff\xfe\xfd",
        "\xed\xa0\x80",           // a lone surrogate, as modified UTF-8 may hold
        "baud=\xef\xbc\x99\xef\xbc\x96",  // full-width digits
        std::string(1 << 20, 'a'),
        "baud=" + std::string(1 << 20, '9'),
        "96," + std::string(100000, ','),
    };
    std::string repeated;
    for (int i = 0; i < 20000; ++i) repeated += "baud=9600 ";
    texts.push_back(repeated);
    std::mt19937 random(7);
    const std::string alphabet = "baudprityostxnhgf=,:.0123456789 -+\t";
    for (int i = 0; i < 2000; ++i) {
        std::string text(random() % 64, ' ');
        for (char& c : text) {
            // Half from the grammar's own letters, half any byte but NUL.
            c = random() % 2 ? alphabet[random() % alphabet.size()] : static_cast<char>(1 + random() % 255);
        }
        texts.push_back(text);
    }
    return texts;
}

TEST(BadModeString, AnyTextGivesAPlainResultAndARefusalChangesNothing) {
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    const jint port = natives::open_port(line.path());
    ASSERT_NE(port, 0);

    int accepted = 0;
    termios current = line_settings(line);
    for (const std::string& text : hostile_mode_strings()) {
        SCOPED_TRACE("mode string \"" + text.substr(0, 60) + "\"");
        const bool applied = natives::set_comm_state(port, text);
        const termios after = line_settings(line);
        if (applied) {
            ++accepted;
        } else {
            EXPECT_TRUE(same_settings(current, after)) << "a refused string changed the line";
        }
        EXPECT_NE(cfgetospeed(&after), static_cast<speed_t>(B0)) << "the line was hung up";
        current = after;
    }
    std::printf("mode strings: %zu tried, %d accepted\n", hostile_mode_strings().size(), accepted);

    // The port still moves every byte value both ways.
    ASSERT_EQ(natives::set_receive_timeout(port, 2000), 1);
    // Accepted strings may have turned on software flow control, which swallows two byte values.
    if (accepted > 0) {
        ASSERT_TRUE(natives::set_comm_state(port, "baud=9600 parity=n data=8 stop=1 xon=off"));
    }
    for (int value = 0; value < 256; ++value) {
        ASSERT_TRUE(line.send(std::string(1, static_cast<char>(value))));
        ASSERT_EQ(natives::read_byte(port), value);
    }
    EXPECT_EQ(natives::close_port(port), 1);
}

TEST(BadByteValue, OnlyTheLowEightBitsAreSentAndEveryByteIsReadAsItCame) {
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    const jint port = natives::open_port(line.path());
    ASSERT_NE(port, 0);
    ASSERT_EQ(natives::set_receive_timeout(port, 2000), 1);

    std::vector<jint> values = {256, 0x141, -1, -128, -256, INT_MIN, INT_MAX, 0x7FFFFF00, 0x12345678};
    for (int value = 0; value < 256; ++value) values.push_back(value);
    std::string expected;
    for (jint value : values) {
        ASSERT_EQ(natives::write_byte(port, value), 1) << value;
        expected.push_back(static_cast<char>(value & 0xFF));
    }
    EXPECT_EQ(line.receive(expected.size()), expected);

    std::string all(256, '\0');
    for (int value = 0; value < 256; ++value) all[value] = static_cast<char>(value);
    ASSERT_TRUE(line.send(all + all));
    for (int value = 0; value < 512; ++value) ASSERT_EQ(natives::read_byte(port), value % 256);
    EXPECT_EQ(natives::close_port(port), 1);
}

// Values that mean "wait longer than any test runs": a read must not come back early through an
// overflow in the deadline.
TEST(BadTimeout, HugeAndNegativeValuesWaitForTheByte) {
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    const jint port = natives::open_port(line.path());
    ASSERT_NE(port, 0);
    for (jint milliseconds : {0, -1, INT_MIN, INT_MAX, INT_MIN + 1, -1000, 1 << 30}) {
        SCOPED_TRACE("time-out " + std::to_string(milliseconds));
        ASSERT_EQ(natives::set_receive_timeout(port, milliseconds), 1);
        std::atomic<int> got{-2};
        std::thread reader([&] { got = natives::read_byte(port); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(got.load(), -2) << "the read ended before any byte came";
        ASSERT_TRUE(line.send("z"));
        reader.join();
        EXPECT_EQ(got.load(), 'z');
    }
    EXPECT_EQ(natives::close_port(port), 1);
}

TEST(BadTimeout, ShortValuesEndTheReadWithoutAByte) {
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    const jint port = natives::open_port(line.path());
    ASSERT_NE(port, 0);
    for (jint milliseconds : {1, 2, 20, 250}) {
        SCOPED_TRACE("time-out " + std::to_string(milliseconds));
        ASSERT_EQ(natives::set_receive_timeout(port, milliseconds), 1);
        const auto start = Clock::now();
        EXPECT_EQ(natives::read_byte(port), -1);
        const auto waited = Clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(milliseconds));
        EXPECT_LT(waited, std::chrono::milliseconds(milliseconds) + std::chrono::seconds(1));
    }
    EXPECT_EQ(natives::close_port(port), 1);
}

}  // namespace
