#include "platform/linux/polled_show_state_watcher.h"

#include <poll.h>

#include <algorithm>

namespace kip {

PolledShowStateWatcher::PolledShowStateWatcher(ControlFactory makeControl, std::chrono::milliseconds limit,
                                               std::chrono::milliseconds pollInterval)
    : m_makeControl(std::move(makeControl)), m_pollInterval(pollInterval), m_queue(limit) {}

PolledShowStateWatcher::~PolledShowStateWatcher() = default;

void PolledShowStateWatcher::watch(std::shared_ptr<SpawnedChild> child, ShowState state) {
  if (!child || state == ShowState::Normal || !m_makeControl) return;
  m_queue.add(std::move(child), state, [this] { run(); });
}

std::size_t PolledShowStateWatcher::pending() const { return m_queue.pending(); }

void PolledShowStateWatcher::run() {
  const auto control = m_makeControl();
  std::vector<ShowStateQueue::Entry> entries;
  while (m_queue.take(entries)) {
    const auto now = std::chrono::steady_clock::now();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const ShowStateQueue::Entry& entry) {
                                   return now >= entry.deadline || entry.child->reap() ||
                                          control->applyShowState(entry.child->pid(), entry.state);
                                 }),
                  entries.end());
    m_queue.settle(entries.size());
    pollfd wake{m_queue.wakeFd(), POLLIN, 0};
    const int timeout = entries.empty() ? -1 : static_cast<int>(m_pollInterval.count());
    if (poll(&wake, 1, timeout) > 0) m_queue.clearWake();
  }
  m_queue.finish();
}

}  // namespace kip
