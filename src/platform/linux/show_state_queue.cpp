#include "platform/linux/show_state_queue.h"

#include "platform/linux/signal_free_thread.h"

namespace kip {

ShowStateQueue::~ShowStateQueue() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.signal();
  if (m_thread.joinable()) m_thread.join();
}

void ShowStateQueue::add(std::shared_ptr<SpawnedChild> child, ShowState state, const std::function<void()>& body) {
  if (m_wake.fd() < 0) return;
  std::lock_guard lock(m_mutex);
  m_incoming.push_back({std::move(child), state, std::chrono::steady_clock::now() + m_limit});
  ++m_pending;
  if (!m_thread.joinable()) m_thread = signalFreeThread(body);
  m_wake.signal();
}

bool ShowStateQueue::take(std::vector<Entry>& entries) {
  std::lock_guard lock(m_mutex);
  if (m_stop) return false;
  for (auto& entry : m_incoming) entries.push_back(std::move(entry));
  m_incoming.clear();
  return true;
}

void ShowStateQueue::settle(std::size_t watching) {
  std::lock_guard lock(m_mutex);
  m_pending = watching + m_incoming.size();
}

void ShowStateQueue::finish() {
  std::lock_guard lock(m_mutex);
  m_pending = 0;
}

std::size_t ShowStateQueue::pending() const {
  std::lock_guard lock(m_mutex);
  return m_pending;
}

}  // namespace kip
