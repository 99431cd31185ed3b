#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "session_user.h"

namespace kip::test {

// A headless sway of the tests' own. Run as root, it runs as a user made for it and removed afterwards,
// since sway refuses to run as root; otherwise as the caller.
class SwaySession {
 public:
  // Starts sway and waits until its IPC socket answers; nullptr with the reason when it cannot. With
  // protocolLog, sway writes every Wayland message it receives and sends into its log.
  static std::unique_ptr<SwaySession> start(std::string& reason, bool protocolLog = false);
  ~SwaySession();
  SwaySession(const SwaySession&) = delete;
  SwaySession& operator=(const SwaySession&) = delete;

  // The IPC socket and the Wayland socket, both as absolute paths.
  [[nodiscard]] const std::string& ipcSocket() const { return m_ipcSocket; }
  [[nodiscard]] const std::string& waylandSocket() const { return m_waylandSocket; }
  // The file sway writes its output into.
  [[nodiscard]] std::string logFile() const { return m_user->folder() + "/log"; }

 private:
  SwaySession() = default;
  std::unique_ptr<SessionUser> m_user;  // its runtime folder, and the user made for it when run as root
  pid_t m_sway = -1;
  std::string m_ipcSocket;
  std::string m_waylandSocket;
};

}  // namespace kip::test
