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
  // Starts sway and waits until its IPC socket answers; nullptr with the reason when it cannot.
  static std::unique_ptr<SwaySession> start(std::string& reason);
  ~SwaySession();
  SwaySession(const SwaySession&) = delete;
  SwaySession& operator=(const SwaySession&) = delete;

  // The IPC socket and the Wayland socket, both as absolute paths.
  [[nodiscard]] const std::string& ipcSocket() const { return m_ipcSocket; }
  [[nodiscard]] const std::string& waylandSocket() const { return m_waylandSocket; }

 private:
  SwaySession() = default;
  std::unique_ptr<SessionUser> m_user;  // its runtime folder, and the user made for it when run as root
  pid_t m_sway = -1;
  std::string m_ipcSocket;
  std::string m_waylandSocket;
};

}  // namespace kip::test
