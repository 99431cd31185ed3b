#include "platform/linux/polled_show_state_watcher.h"

#include <poll.h>

#include <algorithm>

#include "platform/linux/signal_free_thread.h"

namespace kip {

PolledShowStateWatcher::PolledShowStateWatcher(ControlFactory makeControl, std::chrono::milliseconds limit,
                                               std::chrono::milliseconds pollInterval)
    : m_makeControl(std::move(makeControl)), m_limit(limit), m_pollInterval(pollInterval) {}

PolledShowStateWatcher::~PolledShowStateWatcher() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.signal();
  if (m_thread.joinable()) m_thread.join();
}

void PolledShowStateWatcher::watch(std::shared_ptr<SpawnedChild> child, ShowState state) {
  if (!child || state == ShowState::Normal || !m_makeControl || m_wake.fd() < 0) return;
  std::lock_guard lock(m_mutex);
  m_incoming.push_back({std::move(child), state, std::chrono::steady_clock::now() + m_limit});
  ++m_pending;
  if (!m_thread.joinable()) m_thread = signalFreeThread([this] { run(); });
  m_wake.signal();
}

std::size_t PolledShowStateWatcher::pending() const {
  std::lock_guard lock(m_mutex);
  return m_pending;
}

void PolledShowStateWatcher::run() {
  using Clock = std::chrono::steady_clock;
  const auto control = m_makeControl();
  std::vector<Entry> entries;
  for (;;) {
    {
      std::lock_guard lock(m_mutex);
      if (m_stop) break;
      for (auto& entry : m_incoming) entries.push_back(std::move(entry));
      m_incoming.clear();
    }
    const auto now = Clock::now();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& entry) {
                                   return now >= entry.deadline || entry.child->reap() ||
                                          control->applyShowState(entry.child->pid(), entry.state);
                                 }),
                  entries.end());
    {
      std::lock_guard lock(m_mutex);
      m_pending = entries.size() + m_incoming.size();
    }
    pollfd wake{m_wake.fd(), POLLIN, 0};
    const int timeout = entries.empty() ? -1 : static_cast<int>(m_pollInterval.count());
    if (poll(&wake, 1, timeout) > 0) m_wake.clear();
  }
  std::lock_guard lock(m_mutex);
  m_pending = 0;
}

}  // namespace kip
