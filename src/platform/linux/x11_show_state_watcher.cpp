#include "platform/linux/x11_show_state_watcher.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/linux/signal_free_thread.h"
#include "platform/linux/x11_windows.h"

namespace kip {

X11ShowStateWatcher::X11ShowStateWatcher(std::string displayName, std::chrono::milliseconds limit)
    : m_displayName(std::move(displayName)), m_limit(limit) {}

X11ShowStateWatcher::~X11ShowStateWatcher() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.signal();
  if (m_thread.joinable()) m_thread.join();
}

void X11ShowStateWatcher::watch(std::shared_ptr<SpawnedChild> child, ShowState state) {
  if (!child || state == ShowState::Normal || m_displayName.empty() || m_wake.fd() < 0) return;
  std::lock_guard lock(m_mutex);
  m_incoming.push_back({std::move(child), state, std::chrono::steady_clock::now() + m_limit});
  ++m_pending;
  if (!m_thread.joinable()) {
    m_thread = signalFreeThread([this] { run(); });
  }
  m_wake.signal();
}

std::size_t X11ShowStateWatcher::pending() const {
  std::lock_guard lock(m_mutex);
  return m_pending;
}

void X11ShowStateWatcher::run() {
  using Clock = std::chrono::steady_clock;
  X11Windows windows(m_displayName);
  std::vector<Entry> entries;
  bool watching = false;
  bool look = false;
  for (;;) {
    {
      std::lock_guard lock(m_mutex);
      if (m_stop) break;
      if (!m_incoming.empty()) look = true;
      for (auto& entry : m_incoming) entries.push_back(std::move(entry));
      m_incoming.clear();
    }
    if (!entries.empty() && !windows.connect()) entries.clear();
    if (!entries.empty() && !watching) {
      // Watching first and looking afterwards misses no window that appears in between.
      windows.watchClientList(true);
      watching = true;
      look = true;
    }
    const auto now = Clock::now();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& entry) {
                                   if (now >= entry.deadline || entry.child->reap()) return true;
                                   if (!look) return false;
                                   const auto window = windows.firstClientOf(entry.child->pid());
                                   if (!window) return false;
                                   windows.applyShowState(*window, entry.state);
                                   return true;
                                 }),
                  entries.end());
    look = false;
    if (entries.empty() && watching) {
      windows.watchClientList(false);
      watching = false;
    }
    {
      std::lock_guard lock(m_mutex);
      m_pending = entries.size() + m_incoming.size();
    }
    // Events read along with replies wait in the library's queue, where poll cannot see them.
    if (watching && windows.drainEvents()) {
      look = true;
      continue;
    }

    int timeout = -1;
    for (const auto& entry : entries) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(entry.deadline - Clock::now()).count() + 1;
      timeout = std::max(0, timeout < 0 ? static_cast<int>(std::min<long long>(left, INT_MAX))
                                        : std::min(timeout, static_cast<int>(std::min<long long>(left, INT_MAX))));
    }
    pollfd fds[2] = {{m_wake.fd(), POLLIN, 0}, {watching ? windows.connectionFd() : -1, POLLIN, 0}};
    // A started program that ends is noticed by its pidfd only at the next wake; the limit bounds it.
    if (poll(fds, 2, timeout) > 0) {
      if (fds[0].revents & POLLIN) {
        m_wake.clear();
      }
      if (fds[1].revents & (POLLHUP | POLLERR)) entries.clear();
    }
    if (watching && windows.drainEvents()) look = true;
  }
  std::lock_guard lock(m_mutex);
  m_pending = 0;
}

}  // namespace kip
