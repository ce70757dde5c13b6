// Checks shared by the fuzz targets: what must hold of a device-control block and of its mapping
// whatever the input was. A broken rule aborts, which libFuzzer reports as a finding.
#ifndef OSTRABEL1_FUZZ_BLOCK_CHECKS_H
#define OSTRABEL1_FUZZ_BLOCK_CHECKS_H

#include <termios.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "comm/posix/device_control_block.h"
#include "comm/posix/line_mapping.h"

namespace fuzz_checks {

using ostrabel1::comm::posix::DeviceControlBlock;
using ostrabel1::comm::posix::LineLevel;
using ostrabel1::comm::posix::LineRequest;

inline void require(bool holds, const char* rule) {
    if (holds) return;
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

inline bool same_termios(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           a.c_line == b.c_line && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

inline bool same_block(const DeviceControlBlock& a, const DeviceControlBlock& b) {
    return a.BaudRate == b.BaudRate && a.fBinary == b.fBinary && a.fParity == b.fParity &&
           a.fOutxCtsFlow == b.fOutxCtsFlow && a.fOutxDsrFlow == b.fOutxDsrFlow && a.fDtrControl == b.fDtrControl &&
           a.fDsrSensitivity == b.fDsrSensitivity && a.fTXContinueOnXoff == b.fTXContinueOnXoff &&
           a.fOutX == b.fOutX && a.fInX == b.fInX && a.fRtsControl == b.fRtsControl && a.ByteSize == b.ByteSize &&
           a.Parity == b.Parity && a.StopBits == b.StopBits && a.XonChar == b.XonChar && a.XoffChar == b.XoffChar;
}

// A request no mapping would produce, to show whether a refusal left it alone.
inline LineRequest marked_request() {
    LineRequest request;
    std::memset(&request.attributes, 0x5A, sizeof request.attributes);
    request.baud = 0xDEADBEEF;
    request.standard_speed = true;
    request.dtr = LineLevel::kHigh;
    request.rts = LineLevel::kHigh;
    request.rts_toggle = true;
    return request;
}

inline bool same_request(const LineRequest& a, const LineRequest& b) {
    return same_termios(a.attributes, b.attributes) && a.baud == b.baud && a.standard_speed == b.standard_speed &&
           a.dtr == b.dtr && a.rts == b.rts && a.rts_toggle == b.rts_toggle;
}

// Maps `block` onto `current` twice and checks the outcome; returns whether it was accepted.
inline bool check_mapping(const DeviceControlBlock& block, const termios& current) {
    using ostrabel1::comm::posix::block_to_line_request;
    LineRequest first = marked_request();
    const bool accepted = block_to_line_request(block, current, first);
    LineRequest second = marked_request();
    require(block_to_line_request(block, current, second) == accepted, "the mapping gives one answer per block");
    if (!accepted) {
        require(same_request(first, marked_request()), "a refused block leaves the request alone");
        return false;
    }
    require(same_request(first, second), "the mapping gives one request per block");
    require(first.baud != 0, "an accepted block has a baud rate");
    // A speed the block does not set may stay as it was, so only a line that was up must stay up.
    if (first.standard_speed || cfgetospeed(&current) != B0) {
        require(cfgetospeed(&first.attributes) != B0, "an accepted block never hangs up the line");
    }
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    require(block.ByteSize >= 5 && block.ByteSize <= 8, "only data sizes 5 to 8 are accepted");
    require((first.attributes.c_cflag & CSIZE) == sizes[block.ByteSize - 5], "the data size is the block's");
    return true;
}

}  // namespace fuzz_checks

#endif
