// Baud rates by number, for rates that have no speed constant (Linux's termios2 interface).
// Kept apart because the kernel's termios header can't share a file with <termios.h>.
#ifndef OSTRABEL1_COMM_POSIX_CUSTOM_BAUD_H
#define OSTRABEL1_COMM_POSIX_CUSTOM_BAUD_H

#include <cstdint>

namespace ostrabel1::comm::posix {

// Sets both directions of the device to `baud` bits per second, leaving every other setting as it is.
bool set_custom_baud(int fd, std::uint32_t baud);

// The output rate the device reports, in bits per second, whatever way it was set.
bool read_baud(int fd, std::uint32_t& baud);

}  // namespace ostrabel1::comm::posix

#endif
