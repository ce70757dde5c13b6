// Any bytes as a mode string, the way they reach the parser from setCommState: parsing never reads
// past the text, gives one answer per text, leaves the block zero when it refuses, and an accepted
// block maps onto the line without breaking the mapping's rules.
#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "block_checks.h"
#include "comm/posix/mode_string.h"

using ostrabel1::comm::posix::DeviceControlBlock;
using ostrabel1::comm::posix::parse_mode_string;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exactly sized copy, so that AddressSanitizer sees any read past the terminating NUL.
    const std::string text(reinterpret_cast<const char*>(data), size);

    DeviceControlBlock first{};
    const bool accepted = parse_mode_string(text.c_str(), first);
    DeviceControlBlock second{};
    fuzz_checks::require(parse_mode_string(text.c_str(), second) == accepted, "the parser gives one answer per text");
    fuzz_checks::require(fuzz_checks::same_block(first, second), "the parser gives one block per text");
    if (!accepted) {
        fuzz_checks::require(fuzz_checks::same_block(first, DeviceControlBlock{}), "a refused text leaves the block zero");
        return 0;
    }

    // The line as the port layer leaves it after opening: raw, at 9600 baud.
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&raw, B9600);
    fuzz_checks::check_mapping(first, raw);
    return 0;
}
