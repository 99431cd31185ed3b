#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/linux/spawned_child.h"
#include "platform/linux/wake_event.h"

namespace kip {

// Reaps every adopted child as soon as it ends, on a thread of its own that waits on the children's
// pidfds, so that no zombie is left however long the program runs. It never waits for a process it
// was not given, so other code may run and wait for children of its own.
class ChildReaper {
 public:
  ChildReaper();
  // Stops the thread; children still running are reaped by the system once this program has ended.
  ~ChildReaper();
  ChildReaper(const ChildReaper&) = delete;
  ChildReaper& operator=(const ChildReaper&) = delete;

  // Watches child until it has ended and been reaped.
  void adopt(std::shared_ptr<SpawnedChild> child);
  // Adopted children not reaped yet.
  [[nodiscard]] std::size_t watching() const { return m_watching.load(); }

 private:
  void run();

  mutable std::mutex m_mutex;
  std::vector<std::shared_ptr<SpawnedChild>> m_incoming;
  bool m_stop = false;
  std::atomic<std::size_t> m_watching{0};
  WakeEvent m_wake;
  std::thread m_thread;
};

}  // namespace kip
