#include "platform/program_path.h"

#include <limits.h>
#include <unistd.h>

#include <mutex>

namespace platform {
namespace {

// Function-local, so the override is usable from other objects' constructors
// during static initialisation, whatever the order of the translation units.
struct Override {
  std::mutex lock;
  std::string path;
};

Override& TheOverride() {
  static Override o;
  return o;
}

}  // namespace

std::string IniPathFor(const std::string& programPath) {
  const auto slash = programPath.rfind('/');
  const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = programPath.rfind('.');
  if (dot != std::string::npos && dot >= nameStart) return programPath.substr(0, dot) + ".INI";
  return programPath + ".INI";
}

std::string ProgramIniPath() {
  {
    Override& o = TheOverride();
    std::lock_guard<std::mutex> guard(o.lock);
    if (!o.path.empty()) return o.path;
  }
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return IniPathFor(std::string(buffer, static_cast<std::size_t>(n)));
}

void SetProgramIniPath(std::string path) {
  Override& o = TheOverride();
  std::lock_guard<std::mutex> guard(o.lock);
  o.path = std::move(path);
}

}  // namespace platform
