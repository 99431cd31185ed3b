#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/linux/spawned_child.h"
#include "platform/linux/wake_event.h"
#include "platform/process_launcher.h"

namespace kip {

// The starts a show-state watcher's thread has still to look at, handed over from the threads that start
// programs, and that thread itself: started with the first start, ended (and joined) with the queue, so
// a watcher declares its queue last.
class ShowStateQueue {
 public:
  struct Entry {
    std::shared_ptr<SpawnedChild> child;
    ShowState state;
    std::chrono::steady_clock::time_point deadline;  // the window is waited for until then
  };

  explicit ShowStateQueue(std::chrono::milliseconds limit) : m_limit(limit) {}
  ~ShowStateQueue();
  ShowStateQueue(const ShowStateQueue&) = delete;
  ShowStateQueue& operator=(const ShowStateQueue&) = delete;

  // Hands a start over and wakes the thread, which runs body and is started with the first start.
  void add(std::shared_ptr<SpawnedChild> child, ShowState state, const std::function<void()>& body);
  // On the thread: moves the starts handed over into entries; false once the queue is ending.
  bool take(std::vector<Entry>& entries);
  // On the thread: the starts it still watches; finish() when it ends.
  void settle(std::size_t watching);
  void finish();
  // Starts still watched for.
  [[nodiscard]] std::size_t pending() const;
  // Readable when a start was handed over or the queue is ending; clearWake() takes the wake-ups back.
  [[nodiscard]] int wakeFd() const { return m_wake.fd(); }
  void clearWake() const { m_wake.clear(); }

 private:
  const std::chrono::milliseconds m_limit;
  mutable std::mutex m_mutex;
  std::vector<Entry> m_incoming;
  std::size_t m_pending = 0;
  bool m_stop = false;
  WakeEvent m_wake;
  std::thread m_thread;
};

}  // namespace kip
