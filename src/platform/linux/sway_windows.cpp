#include "platform/linux/sway_windows.h"

#include <cstring>

#include "platform/linux/json_value.h"
#include "platform/linux/process_tree.h"
#include "platform/linux/unix_socket.h"

namespace kip {

namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeaderSize = sizeof kMagic + 8;
constexpr std::uint32_t kRunCommand = 0;
constexpr std::uint32_t kGetTree = 4;
// A reply larger than this is no tree of a desktop's windows.
constexpr std::uint32_t kMaxReply = 64U << 20;

void collect(const JsonValue& node, bool inScratchpad, std::vector<SwayWindows::Window>& out) {
  if (!node.isObject()) return;
  const auto& type = node["type"].text();
  if (type == "workspace" && node["name"].text() == "__i3_scratch") inScratchpad = true;
  const auto pid = node["pid"].number(0);
  if ((type == "con" || type == "floating_con") && pid > 0) {
    SwayWindows::Window window;
    window.id = static_cast<std::int64_t>(node["id"].number(0));
    window.pid = static_cast<int>(pid);
    window.appId = node["app_id"].text();
    if (window.appId.empty()) window.appId = node["window_properties"]["class"].text();
    window.inScratchpad = inScratchpad;
    window.fullscreen = node["fullscreen_mode"].number(0) != 0;
    window.focused = node["focused"].boolean();
    out.push_back(std::move(window));
  }
  for (const auto& child : node["nodes"].items()) collect(child, inScratchpad, out);
  for (const auto& child : node["floating_nodes"].items()) collect(child, inScratchpad, out);
}

}  // namespace

SwayWindows::SwayWindows(std::string socketPath, std::chrono::milliseconds timeout)
    : m_socketPath(std::move(socketPath)), m_timeout(timeout) {}

std::optional<std::string> SwayWindows::request(std::uint32_t type, const std::string& payload) {
  UnixSocket socket(m_socketPath, m_timeout);
  if (!socket.connected()) return std::nullopt;

  // The magic text, then the payload's length and the message type in the machine's own byte order.
  std::string message(kMagic, sizeof kMagic);
  const auto length = static_cast<std::uint32_t>(payload.size());
  message.append(reinterpret_cast<const char*>(&length), 4);
  message.append(reinterpret_cast<const char*>(&type), 4);
  message += payload;
  if (!socket.sendAll(message)) return std::nullopt;

  char header[kHeaderSize];
  if (!socket.receiveAll(header, sizeof header) || std::memcmp(header, kMagic, sizeof kMagic) != 0) return std::nullopt;
  std::uint32_t replyLength = 0, replyType = 0;
  std::memcpy(&replyLength, header + sizeof kMagic, 4);
  std::memcpy(&replyType, header + sizeof kMagic + 4, 4);
  if (replyType != type || replyLength > kMaxReply) return std::nullopt;
  std::string reply(replyLength, '\0');
  if (!socket.receiveAll(reply.data(), reply.size())) return std::nullopt;
  return reply;
}

std::vector<SwayWindows::Window> SwayWindows::windowsOfTree(const JsonValue& tree) {
  std::vector<Window> windows;
  collect(tree, false, windows);
  return windows;
}

std::vector<SwayWindows::Window> SwayWindows::windows() {
  const auto reply = request(kGetTree, {});
  if (!reply) return {};
  const auto tree = JsonValue::parse(*reply);
  if (!tree) return {};
  return windowsOfTree(*tree);
}

std::optional<SwayWindows::Window> SwayWindows::windowOf(int pid) {
  if (pid <= 0) return std::nullopt;
  return firstWindowOf(windows(), pid);
}

bool SwayWindows::runCommand(const std::string& command) {
  const auto reply = request(kRunCommand, command);
  if (!reply) return false;
  const auto results = JsonValue::parse(*reply);
  if (!results || results->items().empty()) return false;
  for (const auto& result : results->items())
    if (!result["success"].boolean()) return false;
  return true;
}

std::string SwayWindows::commandText(const Window& window, WindowCommand command) {
  const std::string target = "[con_id=" + std::to_string(window.id) + "] ";
  switch (command) {
    case WindowCommand::Close:
      return target + "kill";
    case WindowCommand::Minimize:
      return target + "move scratchpad";
    case WindowCommand::Maximize:
      return target + "fullscreen enable";
    case WindowCommand::Restore:
      // Shown from the scratchpad a window floats; it goes back into the layout it came from.
      if (window.inScratchpad) return target + "scratchpad show; " + target + "floating disable";
      return target + "fullscreen disable";
    case WindowCommand::Default:
      if (window.inScratchpad) return target + "scratchpad show; " + target + "focus";
      return target + "focus";
  }
  return {};
}

bool SwayWindows::hasWindow(int pid) { return windowOf(pid).has_value(); }

bool SwayWindows::postCommand(int pid, WindowCommand command) {
  const auto window = windowOf(pid);
  return window && runCommand(commandText(*window, command));
}

bool SwayWindows::applyShowState(int pid, ShowState state) {
  const auto window = windowOf(pid);
  if (!window) return false;
  switch (state) {
    case ShowState::Minimized:
      runCommand(commandText(*window, WindowCommand::Minimize));
      break;
    case ShowState::Maximized:
      runCommand(commandText(*window, WindowCommand::Maximize));
      break;
    case ShowState::Normal:
      break;
  }
  return true;
}

}  // namespace kip
