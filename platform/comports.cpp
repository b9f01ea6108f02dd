#include "platform/comports.h"

namespace platform {

// Placeholder until the profile-file layer lands: the default mapping only.
std::string ComDevicePath(int port) { return "/dev/ttyS" + std::to_string(port - 1); }

}  // namespace platform
