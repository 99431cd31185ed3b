#pragma once

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <optional>

namespace kip {

// A child process of this program, known by a pidfd where the kernel has them. It is reaped at most
// once, by whichever thread notices its end first; the exit code is kept for later questions.
class SpawnedChild {
 public:
  explicit SpawnedChild(pid_t pid);
  ~SpawnedChild();
  SpawnedChild(const SpawnedChild&) = delete;
  SpawnedChild& operator=(const SpawnedChild&) = delete;

  [[nodiscard]] pid_t pid() const { return m_pid; }
  // The pidfd, readable once the process has ended; -1 where the kernel has none.
  [[nodiscard]] int pidfd() const { return m_pidfd; }
  // Reaps the process if it has ended, without blocking; true once it has ended and been reaped.
  bool reap();
  // The exit code (128 + signal for a process killed by a signal); nullopt while it runs.
  std::optional<int> exitCode();
  // Blocks until the process ends, for at most limitMs; true when it ended.
  bool waitForExit(std::uint32_t limitMs);

 private:
  const pid_t m_pid;
  int m_pidfd = -1;
  std::mutex m_mutex;
  bool m_byPidfd = false;  // waitid takes the pidfd
  bool m_reaped = false;
  int m_exitCode = 0;
};

}  // namespace kip
