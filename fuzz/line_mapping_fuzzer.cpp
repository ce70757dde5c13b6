// Any device-control block, field values the parser would never produce included, mapped onto any
// current termios settings: the mapping never misbehaves and keeps its rules (see block_checks.h).
#include <fuzzer/FuzzedDataProvider.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>

#include "block_checks.h"

using ostrabel1::comm::posix::DeviceControlBlock;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    DeviceControlBlock block;
    // Baud rates near the standard ones are more interesting than uniform ones.
    block.BaudRate = input.ConsumeBool() ? input.PickValueInArray<std::uint32_t>(
                                               {0, 50, 75, 110, 300, 1200, 9600, 14400, 19200, 38400, 57600, 115200,
                                                128000, 256000, 460800, 921600, 4000000, 4000001, 0xFFFFFFFF})
                                         : input.ConsumeIntegral<std::uint32_t>();
    block.fBinary = input.ConsumeBool();
    block.fParity = input.ConsumeBool();
    block.fOutxCtsFlow = input.ConsumeBool();
    block.fOutxDsrFlow = input.ConsumeBool();
    block.fDtrControl = input.ConsumeIntegralInRange<std::uint8_t>(0, 5);
    block.fDsrSensitivity = input.ConsumeBool();
    block.fTXContinueOnXoff = input.ConsumeBool();
    block.fOutX = input.ConsumeBool();
    block.fInX = input.ConsumeBool();
    block.fRtsControl = input.ConsumeIntegralInRange<std::uint8_t>(0, 5);
    block.ByteSize = input.ConsumeIntegral<std::uint8_t>();
    block.Parity = input.ConsumeIntegral<std::uint8_t>();
    block.StopBits = input.ConsumeIntegral<std::uint8_t>();
    block.XonChar = static_cast<char>(input.ConsumeIntegral<std::uint8_t>());
    block.XoffChar = static_cast<char>(input.ConsumeIntegral<std::uint8_t>());

    // Whatever the device held before, flags and speeds included.
    termios current{};
    current.c_iflag = input.ConsumeIntegral<tcflag_t>();
    current.c_oflag = input.ConsumeIntegral<tcflag_t>();
    current.c_cflag = input.ConsumeIntegral<tcflag_t>();
    current.c_lflag = input.ConsumeIntegral<tcflag_t>();
    for (cc_t& control : current.c_cc) control = input.ConsumeIntegral<cc_t>();
    current.c_ispeed = input.ConsumeIntegral<speed_t>();
    current.c_ospeed = input.ConsumeIntegral<speed_t>();

    fuzz_checks::check_mapping(block, current);
    return 0;
}
