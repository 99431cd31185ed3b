#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/window_control.h"

namespace kip {

class JsonValue;

// The windows of Hyprland, reached through its request socket (.socket.sock of the instance that
// $HYPRLAND_INSTANCE_SIGNATURE names): `j/clients` names each window's process, dispatchers act on a window
// by its address. Hyprland has no minimised state: Minimize moves the window to the hidden special
// workspace "minimized", Restore and activation bring it back to the active workspace; Maximize is
// Hyprland's own maximise (fullscreen mode 1, which keeps gaps and bars), Restore ends it; Close asks the
// window to close. One connection per request, as Hyprland answers one request and closes.
class HyprlandWindows final : public WindowControl {
 public:
  struct Window {
    std::string address;  // "0x…", as the dispatchers take it
    int pid = 0;
    std::string appClass;
    std::string workspace;  // its name; special workspaces begin with "special"
    bool fullscreen = false;
  };

  explicit HyprlandWindows(std::string socketPath, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

  // The request socket of the instance: under $XDG_RUNTIME_DIR/hypr where Hyprland 0.40 and later keep it,
  // else under /tmp/hypr as older ones did; empty without a signature.
  static std::string socketPathOf(const std::string& signature, const std::string& runtimeDir);

  // The mapped windows in Hyprland's order; empty when it cannot be reached.
  std::vector<Window> windows();
  // The first window of the process, else the first of a process it started.
  std::optional<Window> windowOf(int pid);

  bool hasWindow(int pid) override;
  bool postCommand(int pid, WindowCommand command) override;
  bool applyShowState(int pid, ShowState state) override;

  // The windows a `j/clients` reply holds, in its order.
  static std::vector<Window> windowsOfClients(const JsonValue& clients);
  // The dispatch request that carries the command out on the window, empty when the window is as asked
  // already; activeWorkspace is where a hidden window is brought back to.
  static std::string requestText(const Window& window, WindowCommand command, const std::string& activeWorkspace);

 private:
  // Sends one request and returns the reply; nullopt on any failure.
  std::optional<std::string> request(const std::string& text);
  std::optional<std::string> activeWorkspace();
  bool act(const Window& window, WindowCommand command);

  std::string m_socketPath;
  std::chrono::milliseconds m_timeout;
};

}  // namespace kip
