#pragma once

#include <memory>
#include <vector>

#include "platform/process_launcher.h"

namespace kip {

// The started programs' windows as one desktop interface reaches them, found by the started process
// (or, where the interface names it, a process it started).
class WindowControl {
 public:
  virtual ~WindowControl() = default;
  // True when the process shows a top-level window.
  virtual bool hasWindow(int pid) = 0;
  // Sends the command to the process's first window; false when it has none or the desktop refused.
  virtual bool postCommand(int pid, WindowCommand command) = 0;
  // Minimises or maximises the process's first window as a start asks; false while it has none.
  virtual bool applyShowState(int pid, ShowState state) = 0;
};

// Several interfaces asked in turn (a Wayland desktop's own, then X11 for the programs that run through
// XWayland): the first that finds the window acts.
class ChainedWindowControl final : public WindowControl {
 public:
  explicit ChainedWindowControl(std::vector<std::unique_ptr<WindowControl>> links) : m_links(std::move(links)) {}

  bool hasWindow(int pid) override {
    for (auto& link : m_links)
      if (link->hasWindow(pid)) return true;
    return false;
  }
  bool postCommand(int pid, WindowCommand command) override {
    for (auto& link : m_links)
      if (link->postCommand(pid, command)) return true;
    return false;
  }
  bool applyShowState(int pid, ShowState state) override {
    for (auto& link : m_links)
      if (link->applyShowState(pid, state)) return true;
    return false;
  }

 private:
  std::vector<std::unique_ptr<WindowControl>> m_links;
};

}  // namespace kip
