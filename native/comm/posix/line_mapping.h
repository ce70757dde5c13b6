// Maps a device-control block onto a terminal's termios settings and modem lines, without touching
// a device, so that every rule can be checked on its own.
#ifndef OSTRABEL1_COMM_POSIX_LINE_MAPPING_H
#define OSTRABEL1_COMM_POSIX_LINE_MAPPING_H

#include <termios.h>

#include <cstdint>

#include "comm/posix/device_control_block.h"

namespace ostrabel1::comm::posix {

enum class LineLevel : std::uint8_t { kLow, kHigh };

// What a block asks of a device.
struct LineRequest {
    termios attributes{};          // every flag the block governs, raw mode, and the speed when standard
    std::uint32_t baud = 0;        // bits per second
    bool standard_speed = false;   // `baud` has a speed constant, already set in `attributes`
    LineLevel dtr = LineLevel::kLow;
    LineLevel rts = LineLevel::kLow;  // the level at rest when `rts_toggle`
    bool rts_toggle = false;          // RTS raised only while sending
};

// Checks the block as Windows' SetCommState would and maps it onto `current`: baud rate 0, a data
// size outside 5-8, an unknown parity, 1.5 stop bits with other than 5 data bits, 2 stop bits with 5,
// or a setting this platform has no means for, is refused. Flags the block does not govern (other
// control characters, HUPCL) keep their values from `current`. Returns false and leaves `request`
// alone when refused.
bool block_to_line_request(const DeviceControlBlock& block, const termios& current, LineRequest& request);

// The speed constant for a standard rate, or false when the platform has none for it.
bool standard_speed_for(std::uint32_t baud, speed_t& speed);

}  // namespace ostrabel1::comm::posix

#endif
