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
  // Why the lock could not even be tried (the lock file cannot be opened); empty when it was acquired or
  // another process holds it.
  [[nodiscard]] const std::string& problem() const { return m_problem; }

 private:
  int m_fd = -1;
  std::string m_problem;
};

}  // namespace kip
