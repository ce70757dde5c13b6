#include "comm/posix/line_settings.h"

#include <sys/ioctl.h>
#include <termios.h>
#ifdef __linux__
#include <linux/serial.h>

#include "comm/posix/custom_baud.h"
#endif

#include <cerrno>
#include <cstdint>

#include "comm/posix/line_mapping.h"

namespace ostrabel1::comm::posix {

namespace {

// What a failed apply puts back.
struct DeviceState {
    termios attributes{};
    std::uint32_t baud = 0;
    int modem_lines = 0;
    bool has_modem_lines = false;
};

// A device without modem lines or without a mode, such as a pseudo-terminal, says so with these.
bool means_not_supported(int error) { return error == ENOTTY || error == EINVAL; }

bool set_line(int fd, int line, LineLevel level) {
    if (ioctl(fd, level == LineLevel::kHigh ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
    return means_not_supported(errno);
}

// RTS raised only while sending is the kernel's RS-485 mode. A driver without it leaves RTS at its
// level at rest (low), which suits transceivers that switch direction by themselves. A mode left
// on by an earlier block is turned off, since nothing carries over.
bool set_rts_toggle(int fd, bool toggle) {
#ifdef TIOCSRS485
    serial_rs485 mode{};
    if (ioctl(fd, TIOCGRS485, &mode) != 0) return true;
    const bool enabled = (mode.flags & SER_RS485_ENABLED) != 0;
    if (!toggle && !enabled) return true;
    if (toggle) {
        mode.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        mode.flags &= ~static_cast<std::uint32_t>(SER_RS485_RTS_AFTER_SEND);
    } else {
        mode.flags &= ~static_cast<std::uint32_t>(SER_RS485_ENABLED);
    }
    return ioctl(fd, TIOCSRS485, &mode) == 0 || means_not_supported(errno);
#else
    (void)fd;
    (void)toggle;
    return true;
#endif
}

bool read_device_baud(int fd, std::uint32_t& baud) {
#ifdef __linux__
    return read_baud(fd, baud);
#else
    termios now{};
    if (tcgetattr(fd, &now) != 0) return false;
    baud = static_cast<std::uint32_t>(cfgetospeed(&now));  // speeds are plain numbers on the BSDs
    return true;
#endif
}

// A driver that can't make a rate keeps another, often the old one, and says nothing: read it
// back. Rates within 2% count as the same, the tolerance the kernel itself uses to match a rate.
bool device_took_baud(int fd, std::uint32_t wanted) {
    std::uint32_t actual = 0;
    if (!read_device_baud(fd, actual)) return false;
    const std::uint64_t difference = actual > wanted ? actual - wanted : wanted - actual;
    return difference * 50 <= wanted;
}

bool set_attributes(int fd, const LineRequest& request) {
    if (tcsetattr(fd, TCSANOW, &request.attributes) != 0) return false;
#ifdef __linux__
    if (!request.standard_speed && !set_custom_baud(fd, request.baud)) return false;
#endif
    return device_took_baud(fd, request.baud);
}

bool set_modem_lines(int fd, const LineRequest& request) {
    return set_line(fd, TIOCM_DTR, request.dtr) && set_line(fd, TIOCM_RTS, request.rts) &&
           set_rts_toggle(fd, request.rts_toggle);
}

bool save_state(int fd, DeviceState& state) {
    if (tcgetattr(fd, &state.attributes) != 0 || !read_device_baud(fd, state.baud)) return false;
    state.has_modem_lines = ioctl(fd, TIOCMGET, &state.modem_lines) == 0;
    return true;
}

void restore_state(int fd, const DeviceState& state) {
    tcsetattr(fd, TCSANOW, &state.attributes);
#ifdef __linux__
    // tcsetattr can't carry a rate that has no speed constant.
    std::uint32_t now = 0;
    if (read_baud(fd, now) && now != state.baud) set_custom_baud(fd, state.baud);
#endif
    if (state.has_modem_lines) ioctl(fd, TIOCMSET, &state.modem_lines);
}

}  // namespace

bool apply_block(int fd, const DeviceControlBlock& block) {
    DeviceState before;
    if (!save_state(fd, before)) return false;
    LineRequest request;
    if (!block_to_line_request(block, before.attributes, request)) return false;
    if (set_attributes(fd, request) && set_modem_lines(fd, request)) return true;
    restore_state(fd, before);
    return false;
}

}  // namespace ostrabel1::comm::posix
