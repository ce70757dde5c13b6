// Line settings applied to a real pseudo-terminal. A pseudo-terminal keeps the rate, the flow-control
// flags and the raw mode it is given, but always reports 8 data bits and no parity, and has no modem
// lines; those parts are checked without a device in line_mapping_test.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "comm/port.h"
#include "comm/posix/custom_baud.h"
#include "comm/posix/line_settings.h"
#include "comm/posix/mode_string.h"
#include "pseudo_terminal.h"

namespace {

using namespace ostrabel1::comm::posix;

class ApplyBlock : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.ok());
        port = open(line.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(port, 0);
    }
    void TearDown() override {
        if (port >= 0) close(port);
    }

    bool apply(const char* definition) {
        DeviceControlBlock block{};
        parse_mode_string(definition, block);
        return apply_block(port, block);
    }
    termios settings() const {
        termios t{};
        EXPECT_EQ(tcgetattr(port, &t), 0);
        return t;
    }
    std::uint32_t baud() const {
        std::uint32_t rate = 0;
        EXPECT_TRUE(read_baud(port, rate));
        return rate;
    }

    PseudoTerminal line;
    int port = -1;
};

TEST_F(ApplyBlock, SetsAnyRate) {
    for (std::uint32_t rate : {9600u, 110u, 115200u, 250000u, 31250u, 4000000u, 1u, 3000000000u}) {
        SCOPED_TRACE(rate);
        DeviceControlBlock block{};
        block.BaudRate = rate;
        block.ByteSize = 8;
        ASSERT_TRUE(apply_block(port, block));
        EXPECT_EQ(baud(), rate);
        const termios t = settings();
        EXPECT_NE(cfgetospeed(&t), static_cast<speed_t>(B0));
    }
}

TEST_F(ApplyBlock, MakesTheLineRawAndSetsFlowControl) {
    ASSERT_TRUE(apply("baud=19200 data=8 xon=on octs=on"));
    termios t = settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK | ISTRIP), IXON | IXOFF);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

// Every setting comes from the block at hand: a flag the first block set is gone after a second
// block that doesn't name it.
TEST_F(ApplyBlock, SecondApplyInheritsNothing) {
    ASSERT_TRUE(apply("96,n,8,1,x"));
    ASSERT_TRUE(apply("baud=250000 data=8 octs=on"));
    termios t = settings();
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(baud(), 250000u);

    ASSERT_TRUE(apply("baud=9600 data=8"));
    t = settings();
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(baud(), 9600u);
}

// A refused block changes nothing, including a rate that only the numeric interface can express.
TEST_F(ApplyBlock, RefusedBlockChangesNothing) {
    ASSERT_TRUE(apply("baud=250000 data=8 xon=on"));
    const termios before = settings();
    const char* refused[] = {
        "",                                // zero block: no rate, no data size
        "baud=9600",                       // no data size
        "data=8",                          // no rate
        "baud=9600 data=5 stop=2",         // 2 stop bits on a 5-bit word
        "baud=9600 data=8 stop=1.5",       // 1.5 only on a 5-bit word
        "baud=9600 data=4",                // the parser refuses it, so the block stays zero
        "96,n,8,1 garbage",
    };
    for (const char* definition : refused) {
        SCOPED_TRACE(definition);
        EXPECT_FALSE(apply(definition));
        const termios after = settings();
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof after.c_cc), 0);
        EXPECT_EQ(baud(), 250000u);
    }
}

TEST_F(ApplyBlock, RefusesADeviceThatIsNotATerminal) {
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    DeviceControlBlock block{};
    block.BaudRate = 9600;
    block.ByteSize = 8;
    EXPECT_FALSE(apply_block(pipe_ends[0], block));
    EXPECT_FALSE(apply_block(-1, block));
    close(pipe_ends[0]);
    close(pipe_ends[1]);
}

// The whole road from a string through the port layer, as setCommState takes it.
TEST(SetCommState, StringsReachThePort) {
    PseudoTerminal line;
    ASSERT_TRUE(line.ok());
    const ostrabel1::comm::Handle handle = ostrabel1::comm::open_port(line.path().c_str());
    ASSERT_NE(handle, 0);
    EXPECT_TRUE(ostrabel1::comm::set_comm_state(handle, "COM1: baud=250000 parity=n data=8 stop=1 rts=hs"));
    EXPECT_TRUE(ostrabel1::comm::set_comm_state(handle, "96,n,8,1"));
    EXPECT_TRUE(ostrabel1::comm::set_comm_state(handle, "baud=9600 data=8 dtr=hs rts=tg"));  // no RS-485 mode here
    EXPECT_FALSE(ostrabel1::comm::set_comm_state(handle, "baud=9600"));
    EXPECT_FALSE(ostrabel1::comm::set_comm_state(handle, "baud=9600,data=8"));
    EXPECT_NE(ostrabel1::comm::close_port(handle), 0);
}

}  // namespace
