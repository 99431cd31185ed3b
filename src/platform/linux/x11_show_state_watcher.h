#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/spawned_child.h"
#include "platform/linux/wake_event.h"
#include "platform/process_launcher.h"

namespace kip {

// Applies a start's show state (minimised, maximised) to the started program's first window when it
// appears. It watches on a thread and an X11 connection of its own, so the start does not wait; a
// program that shows no window within the limit, or ends, is given up.
class X11ShowStateWatcher {
 public:
  X11ShowStateWatcher(std::string displayName, std::chrono::milliseconds limit);
  ~X11ShowStateWatcher();
  X11ShowStateWatcher(const X11ShowStateWatcher&) = delete;
  X11ShowStateWatcher& operator=(const X11ShowStateWatcher&) = delete;

  // Starts watching for the child's first window; Normal needs no watching.
  void watch(std::shared_ptr<SpawnedChild> child, ShowState state);
  // Starts still watched for.
  [[nodiscard]] std::size_t pending() const;

 private:
  struct Entry {
    std::shared_ptr<SpawnedChild> child;
    ShowState state;
    std::chrono::steady_clock::time_point deadline;
  };
  void run();

  const std::string m_displayName;
  const std::chrono::milliseconds m_limit;
  mutable std::mutex m_mutex;
  std::vector<Entry> m_incoming;
  std::size_t m_pending = 0;
  bool m_stop = false;
  WakeEvent m_wake;
  std::thread m_thread;
};

}  // namespace kip
