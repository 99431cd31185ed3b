#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "session_user.h"

struct DBusConnection;

namespace kip::test {

// A KWin of the tests' own: kwin_wayland with its virtual (headless) output, on a session bus of its own,
// as a user made for it when run as root (see SessionUser). Ended with the object.
class KWinSession {
 public:
  // Starts the bus and KWin and waits until KWin's scripting answers; nullptr with the reason when it
  // cannot or when KWin does not come up within 30 s.
  static std::unique_ptr<KWinSession> start(std::string& reason);
  ~KWinSession();
  KWinSession(const KWinSession&) = delete;
  KWinSession& operator=(const KWinSession&) = delete;

  [[nodiscard]] const std::string& busAddress() const { return m_busAddress; }
  [[nodiscard]] const std::string& waylandSocket() const { return m_waylandSocket; }
  // What KWin tells of the process's first normal window: "none", or "minimized" or "shown", then
  // " maximized" when it fills the maximize area and " active" when it is the active window; "" when
  // KWin did not answer. The script is run with Scripting.start, not through its own object.
  std::string windowState(int pid);
  // Loads a script that does nothing, as another program would, without running it; dropScript unloads
  // it and waits until KWin let it go. False when KWin refused.
  bool holdScript(const std::string& plugin);
  bool dropScript(const std::string& plugin);
  // The log of KWin and its bus, for failure messages.
  [[nodiscard]] std::string logTail() const;

 private:
  KWinSession() = default;
  bool scriptingAnswers();
  std::unique_ptr<SessionUser> m_user;
  pid_t m_bus = -1;
  pid_t m_kwin = -1;
  std::string m_busAddress;
  std::string m_waylandSocket;
  std::string m_log;
  DBusConnection* m_connection = nullptr;
  int m_queries = 0;
};

}  // namespace kip::test
