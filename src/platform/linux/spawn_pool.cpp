#include "platform/linux/spawn_pool.h"

#include <signal.h>

#include "platform/linux/signal_free_thread.h"

namespace kip {

SpawnPool::~SpawnPool() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_ready.notify_all();
  for (auto& thread : m_threads) thread.join();
}

void SpawnPool::post(std::function<void()> job) {
  {
    std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
    if (m_threads.empty()) {
      for (std::size_t i = 0; i < m_size; ++i) m_threads.push_back(signalFreeThread([this] { run(); }));
    }
  }
  m_ready.notify_one();
}

void SpawnPool::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(m_mutex);
      m_ready.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
      if (m_jobs.empty()) return;
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    job();
  }
}

}  // namespace kip
