#include "platform/comports.h"

#include "platform/profile_file.h"
#include "platform/program_path.h"

namespace platform {

// The Ports section is only read here; the settings store writes its own keys
// with the profile-file layer, which keeps this section as it stands.
std::string ComDevicePath(int port) {
  const std::string ini = ProgramIniPath();
  if (!ini.empty()) {
    const auto mapped = ReadProfileString(ini, "Ports", "COM" + std::to_string(port));
    if (mapped && !mapped->empty()) return *mapped;
  }
  return "/dev/ttyS" + std::to_string(port - 1);
}

}  // namespace platform
