#include "session_user.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace kip::test {

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

void endProcess(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 300; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

std::string logTail(const std::string& path) {
  std::ifstream in(path);
  std::string line, last;
  std::vector<std::string> lines;
  while (std::getline(in, line)) lines.push_back(line);
  for (std::size_t i = lines.size() > 5 ? lines.size() - 5 : 0; i < lines.size(); ++i) last += "\n  " + lines[i];
  return last;
}

std::unique_ptr<SessionUser> SessionUser::make(const std::string& name, std::string& reason) {
  std::unique_ptr<SessionUser> session(new SessionUser);
  std::string pattern = (std::filesystem::temp_directory_path() / ("kip-" + name + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) {
    reason = "no temporary folder for " + name;
    return nullptr;
  }
  session->m_folder = pattern;
  session->m_uid = getuid();
  session->m_gid = getgid();
  if (geteuid() == 0) {
    const std::string user = "kip" + name + std::to_string(getpid());
    if (!runQuietly({"useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", user})) {
      reason = name + " is not to run as root and useradd could not make a user for it";
      return nullptr;
    }
    session->m_user = user;
    const passwd* entry = getpwnam(user.c_str());
    if (!entry) {
      reason = "the user made for " + name + " cannot be found";
      return nullptr;
    }
    session->m_uid = entry->pw_uid;
    session->m_gid = entry->pw_gid;
    if (chown(session->m_folder.c_str(), session->m_uid, session->m_gid) != 0) {
      reason = "the runtime folder cannot be given to the user made for " + name;
      return nullptr;
    }
  }
  chmod(session->m_folder.c_str(), 0700);
  return session;
}

pid_t SessionUser::spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& log, const std::vector<std::string>& setpriv) const {
  std::vector<std::string> command;
  if (!m_user.empty()) {
    command = {"setpriv", "--reuid=" + std::to_string(m_uid), "--regid=" + std::to_string(m_gid), "--clear-groups"};
    command.insert(command.end(), setpriv.begin(), setpriv.end());
  }
  command.insert(command.end(), argv.begin(), argv.end());
  return spawnLogged(command, env, log);
}

SessionUser::~SessionUser() {
  std::error_code ignored;
  if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
  if (!m_user.empty()) runQuietly({"userdel", m_user});
}

}  // namespace kip::test
