#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/window_control.h"

struct DBusConnection;

namespace kip {

// The windows of KWin (KDE Plasma), reached through its scripting interface on the session bus
// (org.kde.KWin, /Scripting): each request loads a small script that looks for the first normal window
// of the started process (or of a process it started), acts on it, and calls back on this connection
// whether it found one. Plasma 6 keeps the script at /Scripting/Script<id>, Plasma 5.27 at /<id>; Plasma 6 names the
// window list windowList and the active window activeWindow, Plasma 5.27 clientList and activeClient; the script uses
// whichever the workspace has.
class KWinWindows final : public WindowControl {
 public:
  // busAddress empty: the session bus.
  explicit KWinWindows(std::string busAddress = {},
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
  ~KWinWindows() override;
  KWinWindows(const KWinWindows&) = delete;
  KWinWindows& operator=(const KWinWindows&) = delete;

  bool hasWindow(int pid) override;
  bool postCommand(int pid, WindowCommand command) override;
  bool applyShowState(int pid, ShowState state) override;

  // The script for the processes (the first one's window first), the action ("none", "close",
  // "minimize", "maximize", "restore", "activate") and the name and token of the call back.
  static std::string scriptText(const std::vector<int>& pids, std::string_view action, const std::string& service,
                                const std::string& token);

 private:
  // Runs the script for the process; true when it found a window, nullopt when KWin did not answer. One
  // request of the process at a time (see requestLock in the source).
  std::optional<bool> run(int pid, std::string_view action);
  bool connect();
  // The script's answer, waited for at most limit; nullopt when none came.
  std::optional<bool> awaitAnswer(const std::string& token, std::chrono::milliseconds limit);

  std::string m_busAddress;
  std::chrono::milliseconds m_timeout;
  DBusConnection* m_bus = nullptr;
};

}  // namespace kip
