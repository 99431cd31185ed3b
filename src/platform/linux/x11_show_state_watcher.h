#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/linux/show_state_queue.h"
#include "platform/linux/spawned_child.h"
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
  void run();

  const std::string m_displayName;
  // Last, so that its thread ends before what the thread uses.
  ShowStateQueue m_queue;
};

}  // namespace kip
