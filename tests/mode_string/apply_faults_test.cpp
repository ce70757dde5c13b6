// Drivers that don't do what they are asked, played by a stand-in for ioctl() in front of a real
// pseudo-terminal (fake_driver.cpp): the block must fail and the device must be left exactly as it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "comm/posix/custom_baud.h"
#include "comm/posix/line_settings.h"
#include "fake_driver.h"
#include "pseudo_terminal.h"

namespace {

using namespace ostrabel1::comm::posix;

class DriverFault : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.ok());
        port = open(line.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(port, 0);
        // A known starting point, with a rate only the numeric interface can express.
        DeviceControlBlock start{};
        start.BaudRate = 250000;
        start.ByteSize = 8;
        ASSERT_TRUE(apply_block(port, start));
        ASSERT_EQ(tcgetattr(port, &before), 0);
    }
    void TearDown() override {
        fake_driver::refused_rate = 0;
        fake_driver::modem_line_error = 0;
        if (port >= 0) close(port);
    }

    void expect_unchanged() const {
        termios after{};
        ASSERT_EQ(tcgetattr(port, &after), 0);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        std::uint32_t rate = 0;
        EXPECT_TRUE(read_baud(port, rate));
        EXPECT_EQ(rate, 250000u);
    }

    static DeviceControlBlock xon_xoff_at(std::uint32_t rate) {
        DeviceControlBlock block{};
        block.BaudRate = rate;
        block.ByteSize = 8;
        block.fOutX = block.fInX = true;
        block.fOutxCtsFlow = true;
        block.fDtrControl = kDtrEnable;
        return block;
    }

    PseudoTerminal line;
    int port = -1;
    termios before{};
};

TEST_F(DriverFault, RateTheDriverDoesNotTakeFailsAndRestores) {
    fake_driver::refused_rate = 300000;
    EXPECT_FALSE(apply_block(port, xon_xoff_at(300000)));
    expect_unchanged();
}

TEST_F(DriverFault, ModemLineFailureFailsAndRestores) {
    fake_driver::modem_line_error = EIO;
    EXPECT_FALSE(apply_block(port, xon_xoff_at(19200)));
    expect_unchanged();
}

// A device with no modem lines says so with ENOTTY or EINVAL; that is no reason to refuse.
TEST_F(DriverFault, MissingModemLinesAreNoError) {
    for (int error : {ENOTTY, EINVAL}) {
        fake_driver::modem_line_error = error;
        EXPECT_TRUE(apply_block(port, xon_xoff_at(19200)));
    }
}

}  // namespace
