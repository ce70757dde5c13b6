// How a device-control block maps onto termios, checked without a device.
#include <gtest/gtest.h>

#include <termios.h>

#include "comm/posix/line_mapping.h"

namespace {

using namespace ostrabel1::comm::posix;

DeviceControlBlock block_8n1(std::uint32_t baud = 9600) {
    DeviceControlBlock block;
    block.BaudRate = baud;
    block.ByteSize = 8;
    return block;
}

// A terminal in cooked mode with every governed flag set, so that the mapping must clear what the
// block doesn't ask for rather than keep it.
termios busy_terminal() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK | BRKINT | INLCR | IGNCR;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 3;
    t.c_cc[VSTART] = 'a';
    t.c_cc[VSTOP] = 'b';
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
    return t;
}

constexpr tcflag_t kFrame = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

struct FrameCase {
    std::uint8_t size, parity, stop;
    bool accepted;
    tcflag_t frame;  // the control flags that describe the frame
};

const FrameCase kFrames[] = {
    {8, kNoParity, kOneStopBit, true, CS8},
    {7, kEvenParity, kOneStopBit, true, CS7 | PARENB},
    {7, kOddParity, kTwoStopBits, true, CS7 | PARENB | PARODD | CSTOPB},
    {8, kMarkParity, kOneStopBit, true, CS8 | PARENB | PARODD | CMSPAR},
    {8, kSpaceParity, kOneStopBit, true, CS8 | PARENB | CMSPAR},
    {6, kNoParity, kTwoStopBits, true, CS6 | CSTOPB},
    {5, kNoParity, kOne5StopBits, true, CS5 | CSTOPB},  // 1.5 stop bits on a 5-bit word
    {5, kOddParity, kOneStopBit, true, CS5 | PARENB | PARODD},
    {5, kNoParity, kTwoStopBits, false, 0},
    {6, kNoParity, kOne5StopBits, false, 0},
    {8, kNoParity, kOne5StopBits, false, 0},
    {4, kNoParity, kOneStopBit, false, 0},
    {9, kNoParity, kOneStopBit, false, 0},
    {0, kNoParity, kOneStopBit, false, 0},
    {8, 5, kOneStopBit, false, 0},
    {8, kNoParity, 3, false, 0},
};

TEST(LineMapping, FrameFlagsFollowWindowsRules) {
    for (const FrameCase& c : kFrames) {
        SCOPED_TRACE(testing::Message() << "size " << int(c.size) << " parity " << int(c.parity) << " stop "
                                        << int(c.stop));
        DeviceControlBlock block = block_8n1();
        block.ByteSize = c.size;
        block.Parity = c.parity;
        block.StopBits = c.stop;
        LineRequest request;
        ASSERT_EQ(block_to_line_request(block, busy_terminal(), request), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(request.attributes.c_cflag & kFrame, c.frame);
        }
    }
}

TEST(LineMapping, RefusesWhatNoPortCanDo) {
    LineRequest request;
    request.baud = 77;
    DeviceControlBlock zero{};
    EXPECT_FALSE(block_to_line_request(zero, busy_terminal(), request));
    DeviceControlBlock no_baud = block_8n1(0);
    EXPECT_FALSE(block_to_line_request(no_baud, busy_terminal(), request));
    DeviceControlBlock bad_dtr = block_8n1();
    bad_dtr.fDtrControl = 3;
    EXPECT_FALSE(block_to_line_request(bad_dtr, busy_terminal(), request));
    DeviceControlBlock bad_rts = block_8n1();
    bad_rts.fRtsControl = 4;
    EXPECT_FALSE(block_to_line_request(bad_rts, busy_terminal(), request));
    EXPECT_EQ(request.baud, 77u);  // left alone
}

TEST(LineMapping, RawModeAndOnlyTheBlocksFlags) {
    LineRequest request;
    ASSERT_TRUE(block_to_line_request(block_8n1(), busy_terminal(), request));
    const termios& t = request.attributes;
    EXPECT_EQ(t.c_iflag, 0u);  // no translation, no flow control, parity errors neither drop nor mark a byte
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cflag & ~(CBAUD | HUPCL), CS8 | CLOCAL | CREAD);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
    // What the block doesn't govern stays as it was.
    EXPECT_NE(t.c_cflag & HUPCL, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 3);
}

struct SpeedCase {
    std::uint32_t baud;
    bool standard;
    speed_t speed;  // when standard
};

TEST(LineMapping, StandardRatesUseTheirConstantOthersGoByNumber) {
    const SpeedCase cases[] = {
        {50, true, B50},           {110, true, B110},   {9600, true, B9600},     {38400, true, B38400},
        {115200, true, B115200},   {921600, true, B921600}, {4000000, true, B4000000},
        {250000, false, 0},        {31250, false, 0},   {14400, false, 0},       {1, false, 0},
        {4294967295u, false, 0},
    };
    for (const SpeedCase& c : cases) {
        SCOPED_TRACE(c.baud);
        LineRequest request;
        ASSERT_TRUE(block_to_line_request(block_8n1(c.baud), busy_terminal(), request));
        EXPECT_EQ(request.baud, c.baud);
        EXPECT_EQ(request.standard_speed, c.standard);
        // Never B0, which would hang up the line: an unnamed rate leaves the old constant for now.
        EXPECT_EQ(cfgetospeed(&request.attributes), c.standard ? c.speed : static_cast<speed_t>(B1200));
    }
}

TEST(LineMapping, NeverHangsUpTheLine) {
    termios hung_up = busy_terminal();
    cfsetispeed(&hung_up, B0);
    cfsetospeed(&hung_up, B0);
    for (std::uint32_t rate : {9600u, 250000u}) {
        LineRequest request;
        ASSERT_TRUE(block_to_line_request(block_8n1(rate), hung_up, request));
        EXPECT_NE(cfgetospeed(&request.attributes), static_cast<speed_t>(B0)) << rate;
    }
}

struct FlowCase {
    const char* name;
    bool out_x, in_x, cts, dsr;
    std::uint8_t dtr, rts;
    tcflag_t iflag;        // IXON / IXOFF
    bool crtscts;
    LineLevel dtr_level, rts_level;
    bool toggle;
};

TEST(LineMapping, FlowControlAndModemLines) {
    using L = LineLevel;
    const FlowCase cases[] = {
        {"none", false, false, false, false, kDtrDisable, kRtsDisable, 0, false, L::kLow, L::kLow, false},
        {"lines on", false, false, false, false, kDtrEnable, kRtsEnable, 0, false, L::kHigh, L::kHigh, false},
        {"xon/xoff", true, true, false, false, kDtrEnable, kRtsEnable, IXON | IXOFF, false, L::kHigh, L::kHigh, false},
        {"xoff sent only", false, true, false, false, kDtrEnable, kRtsEnable, IXOFF, false, L::kHigh, L::kHigh, false},
        {"xoff obeyed only", true, false, false, false, kDtrEnable, kRtsEnable, IXON, false, L::kHigh, L::kHigh, false},
        {"output waits for CTS", false, false, true, false, kDtrEnable, kRtsEnable, 0, true, L::kHigh, L::kHigh, false},
        {"RTS handshake", false, false, false, false, kDtrEnable, kRtsHandshake, 0, true, L::kHigh, L::kHigh, false},
        {"hardware (,p)", false, false, true, true, kDtrHandshake, kRtsHandshake, 0, true, L::kHigh, L::kHigh, false},
        {"RTS toggle", false, false, false, false, kDtrEnable, kRtsToggle, 0, false, L::kHigh, L::kLow, true},
    };
    for (const FlowCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceControlBlock block = block_8n1();
        block.fOutX = c.out_x;
        block.fInX = c.in_x;
        block.fOutxCtsFlow = c.cts;
        block.fOutxDsrFlow = c.dsr;
        block.fDtrControl = c.dtr;
        block.fRtsControl = c.rts;
        LineRequest request;
        ASSERT_TRUE(block_to_line_request(block, busy_terminal(), request));
        EXPECT_EQ(request.attributes.c_iflag & (IXON | IXOFF | IXANY), c.iflag);
        EXPECT_EQ((request.attributes.c_cflag & CRTSCTS) != 0, c.crtscts);
        EXPECT_EQ(request.dtr, c.dtr_level);
        EXPECT_EQ(request.rts, c.rts_level);
        EXPECT_EQ(request.rts_toggle, c.toggle);
    }
}

TEST(LineMapping, FlowControlCharacters) {
    struct {
        char xon, xoff;
        cc_t start, stop;
    } const cases[] = {
        {0, 0, 0x11, 0x13},      // unset: the standard DC1/DC3
        {'A', 'B', 'A', 'B'},
        {'A', 'A', 0x11, 0x13},  // equal would be meaningless
        {0, 'B', 0x11, 'B'},
        {'\x91', '\x93', 0x91, 0x93},
    };
    for (const auto& c : cases) {
        DeviceControlBlock block = block_8n1();
        block.fOutX = block.fInX = true;
        block.XonChar = c.xon;
        block.XoffChar = c.xoff;
        LineRequest request;
        ASSERT_TRUE(block_to_line_request(block, busy_terminal(), request));
        EXPECT_EQ(request.attributes.c_cc[VSTART], c.start);
        EXPECT_EQ(request.attributes.c_cc[VSTOP], c.stop);
    }
}

}  // namespace
