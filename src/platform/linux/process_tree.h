#pragma once

#include <optional>
#include <vector>

namespace kip {

// True when pid is ancestor or a process that ancestor started, directly or through others.
bool isSameOrDescendant(int pid, int ancestor);

// The process and the processes it started, directly or through others, the process first.
std::vector<int> processAndDescendants(int pid);

// The first of the windows (in the desktop's order) that the process shows, else the first that a process
// it started shows: a launcher script's program counts as the started program.
template <class Window>
std::optional<Window> firstWindowOf(const std::vector<Window>& windows, int pid) {
  if (pid <= 0) return std::nullopt;
  for (const auto& window : windows)
    if (window.pid == pid) return window;
  for (const auto& window : windows)
    if (isSameOrDescendant(window.pid, pid)) return window;
  return std::nullopt;
}

}  // namespace kip
