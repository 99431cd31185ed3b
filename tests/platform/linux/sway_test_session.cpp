#include "sway_test_session.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "launcher_test_support.h"
#include "platform/linux/sway_windows.h"

extern char** environ;

namespace kip::test {

namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);

// Runs a program with its output into the log (or nowhere); the pid, -1 when it could not start.
pid_t spawnLogged(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log) {
  std::vector<char*> args, envp;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  for (const auto& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string out = log.empty() ? "/dev/null" : log;
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int rc =
      posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), env.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

bool runQuietly(const std::vector<std::string>& argv) {
  const pid_t pid = spawnLogged(argv, {}, {});
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string tail(const std::string& path) {
  std::ifstream in(path);
  std::string line, last;
  std::vector<std::string> lines;
  while (std::getline(in, line)) lines.push_back(line);
  for (std::size_t i = lines.size() > 5 ? lines.size() - 5 : 0; i < lines.size(); ++i) last += "\n  " + lines[i];
  return last;
}

}  // namespace

std::unique_ptr<SwaySession> SwaySession::start(std::string& reason, bool protocolLog) {
  if (!onPath("sway")) {
    reason = "sway is not installed (tools/setup.sh installs it)";
    return nullptr;
  }
  std::unique_ptr<SwaySession> session(new SwaySession);
  std::string pattern = (std::filesystem::temp_directory_path() / "kip-sway-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    reason = "no temporary folder for sway";
    return nullptr;
  }
  session->m_runtimeDir = pattern;
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (geteuid() == 0) {
    const std::string user = "kipsway" + std::to_string(getpid());
    if (!runQuietly({"useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", user})) {
      reason = "sway refuses to run as root and useradd could not make a user for it";
      return nullptr;
    }
    session->m_user = user;
    const passwd* entry = getpwnam(user.c_str());
    if (!entry) {
      reason = "the user made for sway cannot be found";
      return nullptr;
    }
    uid = entry->pw_uid;
    gid = entry->pw_gid;
    if (chown(session->m_runtimeDir.c_str(), uid, gid) != 0) {
      reason = "the runtime folder cannot be given to the user made for sway";
      return nullptr;
    }
  }
  chmod(session->m_runtimeDir.c_str(), 0700);
  const std::string config = session->m_runtimeDir + "/config";
  const std::string log = session->m_runtimeDir + "/log";
  std::ofstream(config) << "default_border none\nfocus_on_window_activation focus\n";
  chmod(config.c_str(), 0644);

  std::vector<std::string> argv;
  if (!session->m_user.empty()) {
    argv = {"setpriv", "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid), "--clear-groups"};
  }
  argv.insert(argv.end(), {"sway", "--config", config});
  const char* path = std::getenv("PATH");
  const std::vector<std::string> env = {"PATH=" + std::string(path ? path : "/usr/bin:/bin"),
                                        "HOME=" + session->m_runtimeDir,
                                        "XDG_RUNTIME_DIR=" + session->m_runtimeDir,
                                        "WLR_BACKENDS=headless",
                                        "WLR_LIBINPUT_NO_DEVICES=1",
                                        "WLR_RENDERER=pixman",
                                        "WLR_HEADLESS_OUTPUTS=1",
                                        protocolLog ? "WAYLAND_DEBUG=server" : "WAYLAND_DEBUG="};
  session->m_sway = spawnLogged(argv, env, log);
  if (session->m_sway <= 0) {
    reason = "sway could not be started";
    return nullptr;
  }

  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(session->m_sway, nullptr, WNOHANG) == session->m_sway) {
      session->m_sway = -1;
      reason = "sway ended at its start:" + tail(log);
      return nullptr;
    }
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(session->m_runtimeDir, ignored)) {
      const auto name = entry.path().filename().string();
      if (name.rfind("sway-ipc.", 0) == 0) session->m_ipcSocket = entry.path().string();
      if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos)
        session->m_waylandSocket = entry.path().string();
    }
    if (!session->m_ipcSocket.empty() && !session->m_waylandSocket.empty() &&
        SwayWindows(session->m_ipcSocket).runCommand("nop"))
      return session;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  reason = "sway did not answer on its IPC socket within 20 s:" + tail(log);
  return nullptr;
}

SwaySession::~SwaySession() {
  if (m_sway > 0) {
    kill(m_sway, SIGTERM);
    bool ended = false;
    for (int i = 0; i < 300 && !ended; ++i) {
      ended = waitpid(m_sway, nullptr, WNOHANG) == m_sway;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ended) {
      kill(m_sway, SIGKILL);
      waitpid(m_sway, nullptr, 0);
    }
  }
  std::error_code ignored;
  if (!m_runtimeDir.empty()) std::filesystem::remove_all(m_runtimeDir, ignored);
  if (!m_user.empty()) runQuietly({"userdel", m_user});
}

}  // namespace kip::test
