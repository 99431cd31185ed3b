#include "platform/linux/child_reaper.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kip {

namespace {

// How often children without a pidfd are looked at.
constexpr int kPollWithoutPidfdMs = 100;

}  // namespace

ChildReaper::ChildReaper() { m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

ChildReaper::~ChildReaper() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  wake();
  if (m_thread.joinable()) m_thread.join();
  if (m_wakeFd >= 0) close(m_wakeFd);
}

void ChildReaper::wake() const {
  if (m_wakeFd < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = write(m_wakeFd, &one, sizeof one);
}

void ChildReaper::adopt(std::shared_ptr<SpawnedChild> child) {
  if (!child) return;
  std::lock_guard lock(m_mutex);
  m_incoming.push_back(std::move(child));
  ++m_watching;
  if (!m_thread.joinable()) {
    // The thread takes no signals: they belong to the program's main thread.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    m_thread = std::thread([this] { run(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  wake();
}

void ChildReaper::run() {
  std::vector<std::shared_ptr<SpawnedChild>> children;
  std::vector<pollfd> fds;
  for (;;) {
    {
      std::lock_guard lock(m_mutex);
      if (m_stop) return;
      // A child that ended before it got here is reaped at once; the others wait for their pidfd.
      for (auto& child : m_incoming)
        if (!child->reap()) children.push_back(std::move(child));
      m_incoming.clear();
      m_watching = children.size();
    }

    // fds[i + 1] belongs to children[i]; a child without a pidfd gets -1, which poll skips.
    fds.clear();
    fds.push_back({m_wakeFd, POLLIN, 0});
    bool anyWithoutPidfd = false;
    for (const auto& child : children) {
      fds.push_back({child->pidfd(), POLLIN, 0});
      anyWithoutPidfd = anyWithoutPidfd || child->pidfd() < 0;
    }
    const int timeout = (anyWithoutPidfd || m_wakeFd < 0) ? kPollWithoutPidfdMs : -1;
    const int ready = poll(fds.data(), fds.size(), timeout);
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto got = read(m_wakeFd, &count, sizeof count);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < children.size(); ++i) {
      const bool due = children[i]->pidfd() < 0 || (ready > 0 && fds[i + 1].revents != 0);
      if (due && children[i]->reap()) continue;
      children[kept++] = std::move(children[i]);
    }
    children.resize(kept);
    std::lock_guard lock(m_mutex);
    m_watching = children.size() + m_incoming.size();
  }
}

}  // namespace kip
