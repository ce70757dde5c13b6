// The line settings of a port as Windows describes them in its DCB, reduced to the fields this
// layer reads. A mode-command string is parsed into this block, and the block is applied to a
// terminal device. A zero-filled block (baud rate 0, 0 data bits) is one no port accepts.
#ifndef OSTRABEL1_COMM_POSIX_DEVICE_CONTROL_BLOCK_H
#define OSTRABEL1_COMM_POSIX_DEVICE_CONTROL_BLOCK_H

#include <cstdint>

namespace ostrabel1::comm::posix {

enum : std::uint8_t { kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4 };
enum : std::uint8_t { kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2 };
enum : std::uint8_t { kDtrDisable = 0, kDtrEnable = 1, kDtrHandshake = 2 };
enum : std::uint8_t { kRtsDisable = 0, kRtsEnable = 1, kRtsHandshake = 2, kRtsToggle = 3 };

struct DeviceControlBlock {
    std::uint32_t BaudRate = 0;
    bool fBinary = false;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    std::uint8_t fDtrControl = kDtrDisable;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    std::uint8_t fRtsControl = kRtsDisable;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = kNoParity;
    std::uint8_t StopBits = kOneStopBit;
    char XonChar = 0;
    char XoffChar = 0;
};

}  // namespace ostrabel1::comm::posix

#endif
