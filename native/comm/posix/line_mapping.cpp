#include "comm/posix/line_mapping.h"

namespace ostrabel1::comm::posix {

namespace {

constexpr cc_t kDc1 = 0x11;  // the standard XON
constexpr cc_t kDc3 = 0x13;  // the standard XOFF

struct SpeedEntry {
    std::uint32_t baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},       {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

// Rates without a constant are set by number where the platform can (Linux); elsewhere refused.
bool any_speed_settable() {
#ifdef __linux__
    return true;
#else
    return false;
#endif
}

// Windows' rules for a frame: which sizes, parities and stop-bit counts go together.
bool frame_is_valid(const DeviceControlBlock& block) {
    if (block.ByteSize < 5 || block.ByteSize > 8) return false;
    if (block.Parity > kSpaceParity) return false;
    switch (block.StopBits) {
        case kOneStopBit: return true;
        case kOne5StopBits: return block.ByteSize == 5;
        case kTwoStopBits: return block.ByteSize != 5;
        default: return false;
    }
}

tcflag_t size_flag(std::uint8_t byte_size) {
    switch (byte_size) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        default: return CS8;
    }
}

bool parity_flags(std::uint8_t parity, tcflag_t& flags) {
    switch (parity) {
        case kNoParity: flags = 0; return true;
        case kOddParity: flags = PARENB | PARODD; return true;
        case kEvenParity: flags = PARENB; return true;
#ifdef CMSPAR
        case kMarkParity: flags = PARENB | CMSPAR | PARODD; return true;
        case kSpaceParity: flags = PARENB | CMSPAR; return true;
#endif
        default: return false;
    }
}

// Every control flag the block governs, cleared before the block's own are set.
constexpr tcflag_t kGovernedControl = CSIZE | CSTOPB | PARENB | PARODD
#ifdef CMSPAR
                                      | CMSPAR
#endif
#ifdef CRTSCTS
                                      | CRTSCTS
#endif
#ifdef CDSR_OFLOW
                                      | CDSR_OFLOW
#endif
#ifdef CDTR_IFLOW
                                      | CDTR_IFLOW
#endif
    ;

}  // namespace

bool standard_speed_for(std::uint32_t baud, speed_t& speed) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

bool block_to_line_request(const DeviceControlBlock& block, const termios& current, LineRequest& request) {
    if (block.BaudRate == 0 || !frame_is_valid(block)) return false;
    if (block.fDtrControl > kDtrHandshake || block.fRtsControl > kRtsToggle) return false;
    tcflag_t parity = 0;
    if (!parity_flags(block.Parity, parity)) return false;
    speed_t speed = B0;
    const bool standard = standard_speed_for(block.BaudRate, speed);
    if (!standard && !any_speed_settable()) return false;
#ifndef CRTSCTS
    if (block.fOutxCtsFlow || block.fRtsControl == kRtsHandshake) return false;
#endif

    LineRequest out;
    out.attributes = current;
    termios& t = out.attributes;

    // Raw binary mode, as a Windows comm handle always is: no line editing, echo, signals or byte
    // translation, and parity errors never drop or rewrite a byte (no INPCK, IGNPAR or PARMRK).
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                                         ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~kGovernedControl;
    t.c_cflag |= CLOCAL | CREAD | size_flag(block.ByteSize) | parity;
    // Termios has no 1.5: CSTOPB gives 1.5 stop bits on 5-bit words, which is the only size
    // that may ask for it.
    if (block.StopBits != kOneStopBit) t.c_cflag |= CSTOPB;

    if (block.fOutX) t.c_iflag |= IXON;
    if (block.fInX) t.c_iflag |= IXOFF;
    // Unset or equal characters would make flow control meaningless; use the standard pair.
    cc_t xon = block.XonChar != 0 ? static_cast<cc_t>(block.XonChar) : kDc1;
    cc_t xoff = block.XoffChar != 0 ? static_cast<cc_t>(block.XoffChar) : kDc3;
    if (xon == xoff) {
        xon = kDc1;
        xoff = kDc3;
    }
    t.c_cc[VSTART] = xon;
    t.c_cc[VSTOP] = xoff;

    // One flag serves both directions of RTS/CTS handshaking on Linux.
#ifdef CRTSCTS
    if (block.fOutxCtsFlow || block.fRtsControl == kRtsHandshake) t.c_cflag |= CRTSCTS;
#endif
    // DSR/DTR handshaking exists only on some systems; where it doesn't, DTR simply stays raised.
    // Discarding input while DSR is low, and sending on after an XOFF, have no counterpart at all.
#ifdef CDSR_OFLOW
    if (block.fOutxDsrFlow) t.c_cflag |= CDSR_OFLOW;
#endif
#ifdef CDTR_IFLOW
    if (block.fDtrControl == kDtrHandshake) t.c_cflag |= CDTR_IFLOW;
#endif

    // A rate without a constant is set by number afterwards; until then the old constant stands,
    // unless that is B0, which would hang up the line.
    if (!standard && cfgetospeed(&t) == B0) speed = B9600;
    if (speed != B0) {
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
    }
    out.baud = block.BaudRate;
    out.standard_speed = standard;
    out.dtr = block.fDtrControl == kDtrDisable ? LineLevel::kLow : LineLevel::kHigh;
    out.rts = (block.fRtsControl == kRtsDisable || block.fRtsControl == kRtsToggle) ? LineLevel::kLow
                                                                                   : LineLevel::kHigh;
    out.rts_toggle = block.fRtsControl == kRtsToggle;
    request = out;
    return true;
}

}  // namespace ostrabel1::comm::posix
