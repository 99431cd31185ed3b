#include "platform/linux/spawn_pool.h"

#include <signal.h>

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
      // Signals stay with the program's main thread.
      sigset_t all, previous;
      sigfillset(&all);
      pthread_sigmask(SIG_SETMASK, &all, &previous);
      for (std::size_t i = 0; i < m_size; ++i) m_threads.emplace_back([this] { run(); });
      pthread_sigmask(SIG_SETMASK, &previous, nullptr);
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
