#include "comm/posix/line_settings.h"

namespace ostrabel1::comm::posix {

bool apply_block(int /*fd*/, const DeviceControlBlock& /*block*/) { return false; }

}  // namespace ostrabel1::comm::posix
