// Kept apart from <termios.h>, which can't share a file with the kernel's termios2 header.
#include "fake_driver.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdarg>

namespace fake_driver {
std::uint32_t refused_rate = 0;
int modem_line_error = 0;
}  // namespace fake_driver

extern "C" int __real_ioctl(int fd, unsigned long request, ...);

extern "C" int __wrap_ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (request == TCSETS2 && fake_driver::refused_rate != 0 &&
        static_cast<const termios2*>(argument)->c_ospeed == fake_driver::refused_rate) {
        return 0;
    }
    if ((request == TIOCMBIS || request == TIOCMBIC) && fake_driver::modem_line_error != 0) {
        errno = fake_driver::modem_line_error;
        return -1;
    }
    return __real_ioctl(fd, request, argument);
}
