#include "comm/posix/mode_string.h"

namespace ostrabel1::comm::posix {

bool parse_mode_string(const char* /*text*/, DeviceControlBlock& /*block*/) { return false; }

}  // namespace ostrabel1::comm::posix
