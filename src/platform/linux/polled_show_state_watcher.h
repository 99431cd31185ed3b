#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "platform/linux/show_state_queue.h"
#include "platform/linux/spawned_child.h"
#include "platform/linux/window_control.h"

namespace kip {

// Applies a start's show state to the started program's first window when it appears, through a
// window-control interface that offers no notice of new windows: it looks every pollInterval on a
// thread and a control of its own, for at most the limit; a program that ends is given up.
class PolledShowStateWatcher {
 public:
  using ControlFactory = std::function<std::unique_ptr<WindowControl>()>;

  PolledShowStateWatcher(ControlFactory makeControl, std::chrono::milliseconds limit,
                         std::chrono::milliseconds pollInterval = std::chrono::milliseconds(100));
  ~PolledShowStateWatcher();
  PolledShowStateWatcher(const PolledShowStateWatcher&) = delete;
  PolledShowStateWatcher& operator=(const PolledShowStateWatcher&) = delete;

  // Starts watching for the child's first window; Normal needs no watching.
  void watch(std::shared_ptr<SpawnedChild> child, ShowState state);
  // Starts still watched for.
  [[nodiscard]] std::size_t pending() const;

 private:
  void run();

  const ControlFactory m_makeControl;
  const std::chrono::milliseconds m_pollInterval;
  // Last, so that its thread ends before what the thread uses.
  ShowStateQueue m_queue;
};

}  // namespace kip
