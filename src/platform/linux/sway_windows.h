#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/window_control.h"

namespace kip {

class JsonValue;

// The windows of sway and the other i3-compatible compositors, reached through their IPC socket
// ($SWAYSOCK): the tree (GET_TREE) names each window's process, commands (RUN_COMMAND) act on a window
// by its container id. Close = kill; Minimize = move to the scratchpad; Maximize = fullscreen, the
// nearest the compositor has; Restore = back from the scratchpad into the layout, fullscreen off;
// the default command focuses the window. Each request uses a connection of its own.
class SwayWindows final : public WindowControl {
 public:
  struct Window {
    std::int64_t id = 0;
    int pid = 0;
    std::string appId;
    bool inScratchpad = false;
    bool fullscreen = false;
    bool focused = false;
  };

  explicit SwayWindows(std::string socketPath, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

  // The windows in the tree's order; empty when the compositor cannot be reached.
  std::vector<Window> windows();
  // The first window of the process, else the first of a process it started.
  std::optional<Window> windowOf(int pid);
  // Runs a command text; true when the compositor carried out every command in it.
  bool runCommand(const std::string& command);

  bool hasWindow(int pid) override;
  bool postCommand(int pid, WindowCommand command) override;
  bool applyShowState(int pid, ShowState state) override;

  // The windows a GET_TREE reply holds, in its order.
  static std::vector<Window> windowsOfTree(const JsonValue& tree);
  // The command text that carries the command out on the window.
  static std::string commandText(const Window& window, WindowCommand command);

 private:
  // Sends one message and returns the reply's payload; nullopt on any failure.
  std::optional<std::string> request(std::uint32_t type, const std::string& payload);

  std::string m_socketPath;
  std::chrono::milliseconds m_timeout;
};

}  // namespace kip
