#pragma once

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "doubles/child_process.h"
#include "net/tinyproxy_process.h"

namespace kip::test {

// A real Samba smbd bound to 127.0.0.1 only, NetBIOS off, on a free port, with a guest share "pub" of a
// temporary folder and a share "locked" that refuses guests. It runs in the foreground and is killed at
// the end.
class SambaServer {
 public:
  SambaServer() {
    if (access("/usr/sbin/smbd", X_OK) != 0) {
      m_problem = "Samba is not installed (/usr/sbin/smbd)";
      return;
    }
    if (geteuid() != 0) {
      m_problem = "smbd needs root to run";
      return;
    }
    if (!getpwnam("nobody")) {
      m_problem = "there is no user \"nobody\" for the guest account";
      return;
    }
    const std::string state = m_dir.file("state");
    mkdir(state.c_str(), 0755);
    mkdir(shareFolder().c_str(), 0755);
    chmod(m_dir.path().c_str(), 0755);  // the guest account must reach the share
    writeFile(shareFolder() + "/file.txt", "hello\n");
    mkdir((shareFolder() + "/sub").c_str(), 0755);
    m_port = freeLoopbackPort();
    const std::string config = m_dir.file("smb.conf");
    writeFile(config,
              "[global]\n"
              "  interfaces = 127.0.0.1\n"
              "  bind interfaces only = yes\n"
              "  disable netbios = yes\n"
              "  smb ports = " +
                  std::to_string(m_port) +
                  "\n"
                  "  server role = standalone server\n"
                  "  map to guest = Bad User\n"
                  "  guest account = nobody\n"
                  "  restrict anonymous = 0\n"
                  "  server min protocol = SMB2_02\n"
                  "  lock directory = " +
                  state +
                  "\n"
                  "  state directory = " +
                  state +
                  "\n"
                  "  cache directory = " +
                  state +
                  "\n"
                  "  private dir = " +
                  state +
                  "\n"
                  "  pid directory = " +
                  state +
                  "\n"
                  "  ncalrpc dir = " +
                  state +
                  "/ncalrpc\n"
                  "  log file = " +
                  state +
                  "/log.%m\n"
                  "  load printers = no\n"
                  "  printing = bsd\n"
                  "  printcap name = /dev/null\n"
                  "  disable spoolss = yes\n"
                  "[pub]\n"
                  "  path = " +
                  shareFolder() +
                  "\n"
                  "  guest ok = yes\n"
                  "  read only = yes\n"
                  "[locked]\n"
                  "  path = " +
                  shareFolder() +
                  "\n"
                  "  guest ok = no\n"
                  "  valid users = root\n");
    // smbd in the foreground ends when its standard input reaches its end, and then signals its whole
    // process group: give it /dev/null and a session of its own.
    m_child = std::make_unique<ChildProcess>(
        "/bin/sh", std::vector<std::string>{"-c",
                                            "exec /usr/bin/setsid /usr/sbin/smbd --foreground "
                                            "--no-process-group -s \"$0\" </dev/null",
                                            config});
    if (!m_child->started() || !waitForListener(m_port, std::chrono::seconds(15))) {
      m_problem = "smbd did not start listening on 127.0.0.1:" + std::to_string(m_port);
      if (m_child->started()) m_problem += ": " + m_child->wait(std::chrono::milliseconds(100)).out;
      m_child.reset();
    }
  }

  ~SambaServer() {
    if (!m_child) return;
    m_child->signal(SIGTERM);
    m_child->wait(std::chrono::seconds(5));
  }
  SambaServer(const SambaServer&) = delete;
  SambaServer& operator=(const SambaServer&) = delete;

  [[nodiscard]] const std::string& problem() const { return m_problem; }
  [[nodiscard]] std::uint16_t port() const { return m_port; }
  [[nodiscard]] std::string shareFolder() const { return m_dir.file("share"); }

 private:
  TempDir m_dir;
  std::uint16_t m_port = 0;
  std::unique_ptr<ChildProcess> m_child;
  std::string m_problem;
};

}  // namespace kip::test
