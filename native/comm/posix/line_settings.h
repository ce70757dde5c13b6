// Applies a device-control block to a terminal device, as Windows' SetCommState configures a port.
#ifndef OSTRABEL1_COMM_POSIX_LINE_SETTINGS_H
#define OSTRABEL1_COMM_POSIX_LINE_SETTINGS_H

#include "comm/posix/device_control_block.h"

namespace ostrabel1::comm::posix {

// Validates the block, maps it onto the device's termios settings and modem lines and applies it.
// A block the device can't honour fails and leaves the device as it was.
bool apply_block(int fd, const DeviceControlBlock& block);

}  // namespace ostrabel1::comm::posix

#endif
