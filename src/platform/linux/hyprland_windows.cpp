#include "platform/linux/hyprland_windows.h"

#include <sys/stat.h>

#include <sstream>

#include "platform/linux/json_value.h"
#include "platform/linux/process_tree.h"
#include "platform/linux/unix_socket.h"

namespace kip {

namespace {

// A reply larger than this is no list of a desktop's windows.
constexpr std::size_t kMaxReply = 64U << 20;
constexpr char kHidden[] = "special:minimized";

bool isHidden(const HyprlandWindows::Window& window) { return window.workspace.rfind("special", 0) == 0; }

// One dispatch as it stands, several as one batch.
std::string joined(const std::vector<std::string>& dispatches) {
  if (dispatches.size() == 1) return dispatches.front();
  std::string text = "[[BATCH]]";
  for (const auto& dispatch : dispatches) text += (text.size() > 9 ? ";" : "") + dispatch;
  return text;
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// Hyprland answers each dispatch with "ok" and a batch with one answer per command; anything else is the
// text of an error.
bool allOk(const std::string& reply) {
  std::istringstream words(reply);
  std::string word;
  bool any = false;
  while (words >> word) {
    if (word != "ok") return false;
    any = true;
  }
  return any;
}

}  // namespace

HyprlandWindows::HyprlandWindows(std::string socketPath, std::chrono::milliseconds timeout)
    : m_socketPath(std::move(socketPath)), m_timeout(timeout) {}

std::string HyprlandWindows::socketPathOf(const std::string& signature, const std::string& runtimeDir) {
  if (signature.empty() || signature.find('/') != std::string::npos) return {};
  const std::string tail = "/hypr/" + signature + "/.socket.sock";
  if (!runtimeDir.empty() && exists(runtimeDir + tail)) return runtimeDir + tail;
  if (exists("/tmp" + tail)) return "/tmp" + tail;
  return runtimeDir.empty() ? "/tmp" + tail : runtimeDir + tail;
}

std::optional<std::string> HyprlandWindows::request(const std::string& text) {
  UnixSocket socket(m_socketPath, m_timeout);
  if (!socket.connected() || !socket.sendAll(text)) return std::nullopt;
  return socket.receiveToEnd(kMaxReply);
}

std::vector<HyprlandWindows::Window> HyprlandWindows::windowsOfClients(const JsonValue& clients) {
  std::vector<Window> windows;
  for (const auto& client : clients.items()) {
    const auto pid = client["pid"].number(0);
    if (pid <= 0 || !client["mapped"].boolean(true)) continue;
    Window window;
    window.address = client["address"].text();
    if (window.address.empty()) continue;
    window.pid = static_cast<int>(pid);
    window.appClass = client["class"].text();
    window.workspace = client["workspace"]["name"].text();
    // A truth value before Hyprland 0.42, the fullscreen mode (0: none) since.
    const auto& fullscreen = client["fullscreen"];
    window.fullscreen = fullscreen.kind() == JsonValue::Kind::Bool ? fullscreen.boolean() : fullscreen.number(0) != 0;
    windows.push_back(std::move(window));
  }
  return windows;
}

std::vector<HyprlandWindows::Window> HyprlandWindows::windows() {
  const auto reply = request("j/clients");
  if (!reply) return {};
  const auto clients = JsonValue::parse(*reply);
  if (!clients) return {};
  return windowsOfClients(*clients);
}

std::optional<HyprlandWindows::Window> HyprlandWindows::windowOf(int pid) {
  if (pid <= 0) return std::nullopt;
  return firstWindowOf(windows(), pid);
}

std::optional<std::string> HyprlandWindows::activeWorkspace() {
  const auto reply = request("j/activeworkspace");
  if (!reply) return std::nullopt;
  const auto workspace = JsonValue::parse(*reply);
  if (!workspace || !workspace->isObject()) return std::nullopt;
  const auto id = (*workspace)["id"].number(0);
  if (id == 0) return std::nullopt;
  return std::to_string(static_cast<long long>(id));
}

std::string HyprlandWindows::requestText(const Window& window, WindowCommand command,
                                         const std::string& activeWorkspace) {
  const std::string target = "address:" + window.address;
  std::vector<std::string> dispatches;
  const auto show = [&] {
    if (isHidden(window)) dispatches.push_back("dispatch movetoworkspacesilent " + activeWorkspace + "," + target);
  };
  // The fullscreen dispatcher acts on the focused window and switches the mode on or off.
  const auto toggleMaximise = [&] {
    dispatches.push_back("dispatch focuswindow " + target);
    dispatches.push_back("dispatch fullscreen 1");
  };
  switch (command) {
    case WindowCommand::Close:
      dispatches.push_back("dispatch closewindow " + target);
      break;
    case WindowCommand::Minimize:
      if (!isHidden(window))
        dispatches.push_back("dispatch movetoworkspacesilent " + std::string(kHidden) + "," + target);
      break;
    case WindowCommand::Maximize:
      show();
      if (window.fullscreen)
        dispatches.push_back("dispatch focuswindow " + target);
      else
        toggleMaximise();
      break;
    case WindowCommand::Restore:
      show();
      if (window.fullscreen) toggleMaximise();
      break;
    case WindowCommand::Default:
      show();
      dispatches.push_back("dispatch focuswindow " + target);
      break;
  }
  // Nothing to do for a window that is as asked already.
  return dispatches.empty() ? std::string() : joined(dispatches);
}

bool HyprlandWindows::act(const Window& window, WindowCommand command) {
  std::string workspace;
  if (isHidden(window) && command != WindowCommand::Close && command != WindowCommand::Minimize) {
    const auto active = activeWorkspace();
    if (!active) return false;
    workspace = *active;
  }
  const auto text = requestText(window, command, workspace);
  if (text.empty()) return true;
  const auto reply = request(text);
  return reply && allOk(*reply);
}

bool HyprlandWindows::hasWindow(int pid) { return windowOf(pid).has_value(); }

bool HyprlandWindows::postCommand(int pid, WindowCommand command) {
  const auto window = windowOf(pid);
  return window && act(*window, command);
}

bool HyprlandWindows::applyShowState(int pid, ShowState state) {
  const auto window = windowOf(pid);
  if (!window) return false;
  if (state == ShowState::Minimized) act(*window, WindowCommand::Minimize);
  if (state == ShowState::Maximized) act(*window, WindowCommand::Maximize);
  return true;
}

}  // namespace kip
