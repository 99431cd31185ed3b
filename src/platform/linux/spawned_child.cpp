#include "platform/linux/spawned_child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace kip {

namespace {

// How often a child without a pidfd is looked at while someone waits for it.
constexpr std::chrono::milliseconds kPollStep{20};

// Called through syscall: the C library's declaration of pidfd_open lacks C linkage in some versions.
int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

int exitCodeFrom(const siginfo_t& info) {
  if (info.si_code == CLD_EXITED) return info.si_status;
  return 128 + info.si_status;
}

}  // namespace

SpawnedChild::SpawnedChild(pid_t pid) : m_pid(pid) {
  // The child cannot be reaped before this (nobody but this object waits for it), so its pid is still
  // its own even if it has ended already.
  m_pidfd = openPidfd(pid);
  if (m_pidfd >= 0) fcntl(m_pidfd, F_SETFD, FD_CLOEXEC);
  m_byPidfd = m_pidfd >= 0;
}

SpawnedChild::~SpawnedChild() {
  if (m_pidfd >= 0) close(m_pidfd);
}

bool SpawnedChild::reap() {
  std::lock_guard lock(m_mutex);
  if (m_reaped) return true;
  siginfo_t info{};
  int rc = 0;
  do {
    rc = m_byPidfd ? waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(m_pidfd), &info, WEXITED | WNOHANG)
                   : waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG);
    // Kernels that open pidfds but cannot wait on them yet: wait by pid, which is still ours.
    if (rc != 0 && errno == EINVAL && m_byPidfd) {
      m_byPidfd = false;
      errno = EINTR;
    }
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    // ECHILD: someone else reaped it; it has ended in any case.
    if (errno == ECHILD) {
      m_reaped = true;
      m_exitCode = 0;
    }
    return m_reaped;
  }
  if (info.si_pid == 0) return false;
  m_reaped = true;
  m_exitCode = exitCodeFrom(info);
  return true;
}

std::optional<int> SpawnedChild::exitCode() {
  if (!reap()) return std::nullopt;
  std::lock_guard lock(m_mutex);
  return m_exitCode;
}

bool SpawnedChild::waitForExit(std::uint32_t limitMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  while (!reap()) {
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
    if (m_pidfd >= 0) {
      pollfd fd{m_pidfd, POLLIN, 0};
      poll(&fd, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
    } else {
      std::this_thread::sleep_for(std::min(kPollStep, std::chrono::milliseconds(left)));
    }
  }
  return true;
}

}  // namespace kip
