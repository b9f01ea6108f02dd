// Single-instance lock: an exclusive flock on a file of the user's runtime
// folder ($XDG_RUNTIME_DIR, else /tmp). The file's name is derived from the
// lock name and the user id, so each build (each lock name) and each user has
// its own lock. The system releases the lock when the process ends in any way,
// a crash or SIGKILL included, so a stale lock never blocks the next start.
#pragma once
#include <string>

namespace platform {

class InstanceLock {
 public:
  // Tries to take the lock at once (never waits).
  explicit InstanceLock(const std::string& name);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when this object holds the lock. False when another process (or
  // another InstanceLock object) holds it, and also when the lock could not be
  // taken at all (no usable folder, a file owned by someone else, a symbolic
  // link in place of the file, ...): the caller then counts as a second instance.
  bool Held() const { return fd_ >= 0; }

  // Gives the lock up (also done by the destructor).
  void Release();

  // The lock file used for a lock name under the current environment and user.
  static std::string PathFor(const std::string& name);

 private:
  int fd_ = -1;
};

}  // namespace platform
