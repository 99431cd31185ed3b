#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace kip::test {

// A folder of a test's own for a compositor or another desktop program: its runtime folder and home.
// Run as root, the program runs as a user made for it and removed afterwards (some refuse to run as
// root); otherwise as the caller. The folder goes with the object, after the user's programs ended.
class SessionUser {
 public:
  // name: the program, in the folder's and the user's names; nullptr with the reason when it cannot.
  static std::unique_ptr<SessionUser> make(const std::string& name, std::string& reason);
  ~SessionUser();
  SessionUser(const SessionUser&) = delete;
  SessionUser& operator=(const SessionUser&) = delete;

  [[nodiscard]] const std::string& folder() const { return m_folder; }
  // Starts the program as the user, with only the environment given, its output appended to the log;
  // setpriv: further setpriv options (capabilities) when it runs as a user made for it. -1 when it could not.
  pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log,
              const std::vector<std::string>& setpriv = {}) const;

 private:
  SessionUser() = default;
  std::string m_folder;
  std::string m_user;  // the user made for it; empty when the program runs as the caller
  uid_t m_uid = 0;
  gid_t m_gid = 0;
};

// Runs a program with its output into the log (or nowhere), in the caller's environment when env is
// empty; the pid, -1 when it could not start.
pid_t spawnLogged(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log);
// Runs a program to its end without output; true when it succeeded.
bool runQuietly(const std::vector<std::string>& argv);
// Ends a process started by the test: SIGTERM, then SIGKILL when it is still there after 3 s.
void endProcess(pid_t pid);
// The last lines of a log, for a skip or failure message.
std::string logTail(const std::string& path);

}  // namespace kip::test
