#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kip {

// A few threads that run posted jobs in the order they were posted. A process creation blocks its
// caller until the new program has been loaded; spread over these threads, creations overlap.
class SpawnPool {
 public:
  explicit SpawnPool(std::size_t threads) : m_size(threads) {}
  // Runs the jobs still queued, then ends the threads.
  ~SpawnPool();
  SpawnPool(const SpawnPool&) = delete;
  SpawnPool& operator=(const SpawnPool&) = delete;

  // Queues job; the threads are started at the first one. They receive no signals.
  void post(std::function<void()> job);

 private:
  void run();

  std::size_t m_size;
  std::mutex m_mutex;
  std::condition_variable m_ready;
  std::deque<std::function<void()>> m_jobs;
  bool m_stop = false;
  std::vector<std::thread> m_threads;
};

}  // namespace kip
