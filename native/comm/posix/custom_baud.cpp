#include "comm/posix/custom_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace ostrabel1::comm::posix {

bool set_custom_baud(int fd, std::uint32_t baud) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    // BOTHER takes the rate from the speed fields; a zero input field means "same as output".
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER;
    settings.c_ispeed = baud;
    settings.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &settings) == 0;
}

bool read_baud(int fd, std::uint32_t& baud) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    baud = settings.c_ospeed;
    return true;
}

}  // namespace ostrabel1::comm::posix
