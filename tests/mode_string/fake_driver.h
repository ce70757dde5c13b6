// A stand-in for ioctl() (linked with --wrap=ioctl) that plays a driver refusing what it is asked.
#ifndef OSTRABEL1_TESTS_FAKE_DRIVER_H
#define OSTRABEL1_TESTS_FAKE_DRIVER_H

#include <cstdint>

namespace fake_driver {

// A numeric rate the driver silently ignores, keeping its old one (0: none).
extern std::uint32_t refused_rate;
// The errno with which raising or lowering a modem line fails (0: lines work).
extern int modem_line_error;

}  // namespace fake_driver

#endif
