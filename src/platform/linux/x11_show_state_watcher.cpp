#include "platform/linux/x11_show_state_watcher.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/linux/x11_windows.h"

namespace kip {

X11ShowStateWatcher::X11ShowStateWatcher(std::string displayName, std::chrono::milliseconds limit)
    : m_displayName(std::move(displayName)), m_queue(limit) {}

X11ShowStateWatcher::~X11ShowStateWatcher() = default;

void X11ShowStateWatcher::watch(std::shared_ptr<SpawnedChild> child, ShowState state) {
  if (!child || state == ShowState::Normal || m_displayName.empty()) return;
  m_queue.add(std::move(child), state, [this] { run(); });
}

std::size_t X11ShowStateWatcher::pending() const { return m_queue.pending(); }

void X11ShowStateWatcher::run() {
  using Clock = std::chrono::steady_clock;
  X11Windows windows(m_displayName);
  std::vector<ShowStateQueue::Entry> entries;
  bool watching = false;
  bool look = false;
  for (;;) {
    const auto known = entries.size();
    if (!m_queue.take(entries)) break;
    if (entries.size() != known) look = true;
    if (!entries.empty() && !windows.connect()) entries.clear();
    if (!entries.empty() && !watching) {
      // Watching first and looking afterwards misses no window that appears in between.
      windows.watchClientList(true);
      watching = true;
      look = true;
    }
    const auto now = Clock::now();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const ShowStateQueue::Entry& entry) {
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
    m_queue.settle(entries.size());
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
    pollfd fds[2] = {{m_queue.wakeFd(), POLLIN, 0}, {watching ? windows.connectionFd() : -1, POLLIN, 0}};
    // A started program that ends is noticed by its pidfd only at the next wake; the limit bounds it.
    if (poll(fds, 2, timeout) > 0) {
      if (fds[0].revents & POLLIN) m_queue.clearWake();
      if (fds[1].revents & (POLLHUP | POLLERR)) entries.clear();
    }
    if (watching && windows.drainEvents()) look = true;
  }
  m_queue.finish();
}

}  // namespace kip
