#include "platform/instance_lock.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// FNV-1a over the whole name: two names that sanitise to the same text still
// get different files.
std::uint64_t NameHash(const std::string& name) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : name) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string RuntimeFolder() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg && xdg[0] == '/') {
    struct stat st {};
    if (::stat(xdg, &st) == 0 && S_ISDIR(st.st_mode)) return xdg;
  }
  return "/tmp";
}

}  // namespace

std::string InstanceLock::PathFor(const std::string& name) {
  std::string safe;
  for (char c : name) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == '_';
    safe += keep ? c : '_';
    if (safe.size() >= 100) break;  // keep well within NAME_MAX
  }
  char tail[64];
  std::snprintf(tail, sizeof tail, "-%016llx-%u.lock", static_cast<unsigned long long>(NameHash(name)),
                static_cast<unsigned>(::getuid()));
  return RuntimeFolder() + "/zb-" + safe + tail;
}

InstanceLock::InstanceLock(const std::string& name) {
  const std::string path = PathFor(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  // In a shared folder such as /tmp, refuse a file someone else planted.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
    ::close(fd);
    return;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

InstanceLock::~InstanceLock() { Release(); }

void InstanceLock::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would let a starting process lock a new file
  // while another still holds the old one.
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace platform
