// Parses a mode-command string, in the grammar Windows' BuildCommDCB accepts, into a device-control block.
#ifndef OSTRABEL1_COMM_POSIX_MODE_STRING_H
#define OSTRABEL1_COMM_POSIX_MODE_STRING_H

#include "comm/posix/device_control_block.h"

namespace ostrabel1::comm::posix {

// Fills `block` from `text` and returns true, or returns false and leaves `block` untouched.
// `block` must start zero-filled; fields the text does not mention stay zero, so a refused
// string leaves it all zero. A null `text` is refused.
bool parse_mode_string(const char* text, DeviceControlBlock& block);

}  // namespace ostrabel1::comm::posix

#endif
