#include "platform/linux/child_reaper.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include "platform/linux/signal_free_thread.h"

namespace kip {

namespace {

// How often children without a pidfd are looked at.
constexpr int kPollWithoutPidfdMs = 100;

}  // namespace

ChildReaper::ChildReaper() = default;

ChildReaper::~ChildReaper() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.signal();
  if (m_thread.joinable()) m_thread.join();
}

void ChildReaper::adopt(std::shared_ptr<SpawnedChild> child) {
  if (!child) return;
  std::lock_guard lock(m_mutex);
  m_incoming.push_back(std::move(child));
  ++m_watching;
  if (!m_thread.joinable()) {
    m_thread = signalFreeThread([this] { run(); });
  }
  m_wake.signal();
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
    fds.push_back({m_wake.fd(), POLLIN, 0});
    bool anyWithoutPidfd = false;
    for (const auto& child : children) {
      fds.push_back({child->pidfd(), POLLIN, 0});
      anyWithoutPidfd = anyWithoutPidfd || child->pidfd() < 0;
    }
    const int timeout = (anyWithoutPidfd || m_wake.fd() < 0) ? kPollWithoutPidfdMs : -1;
    const int ready = poll(fds.data(), fds.size(), timeout);
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      m_wake.clear();
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
