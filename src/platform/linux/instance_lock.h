#pragma once

#include <string>

namespace kip {

// The single-instance rule: an exclusive flock on "KipLauncher.lock" in the runtime folder, held until
// the process ends (the kernel frees it on a crash).
class InstanceLock {
 public:
  explicit InstanceLock(const std::string& runtimeDir);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when this process holds the lock: it is the first instance.
  [[nodiscard]] bool acquired() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

}  // namespace kip
