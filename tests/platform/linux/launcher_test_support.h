#pragma once

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/linux/process_tree.h"

namespace kip::test {

// A folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kip-launch-XXXXXX").string();
    if (mkdtemp(pattern.data())) m_path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  [[nodiscard]] const std::string& path() const { return m_path; }
  [[nodiscard]] std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  chmod(path.c_str(), mode);
}

// An executable script; the kernel runs its interpreter line, no shell of the launcher's.
inline std::string writeScript(const std::string& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body, 0755);
  return path;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// True when PATH names a folder that holds an executable of that name.
inline bool onPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
  return false;
}

// Waits for a condition, for at most limit; returns whether it came true.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// The children of this process that have ended but were not reaped.
inline std::vector<int> zombieChildren() {
  std::vector<int> zombies;
  DIR* proc = opendir("/proc");
  if (!proc) return zombies;
  const int self = getpid();
  while (const dirent* entry = readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    const std::string stat = readFile("/proc/" + std::string(entry->d_name) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 2));
    char state = 0;
    int parent = 0;
    fields >> state >> parent;
    if (parent == self && state == 'Z') zombies.push_back(pid);
  }
  closedir(proc);
  return zombies;
}

// Kills the processes a test started and left running, and reaps them when nobody else did.
class ProcessKiller {
 public:
  ~ProcessKiller() {
    for (const int pid : m_pids) {
      if (kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
  }
  void add(int pid) { m_pids.push_back(pid); }

 private:
  std::vector<int> m_pids;
};

// A shell that starts a long sleep and waits for it, as a launcher script does; the shell's pid and the
// sleep's (0 when it did not appear), both left to the killer.
inline std::pair<pid_t, int> startShellWithChild(ProcessKiller& killer) {
  const pid_t shell = fork();
  if (shell == 0) {
    execlp("sh", "sh", "-c", "sleep 30 & wait", nullptr);
    _exit(127);
  }
  killer.add(shell);
  int child = 0;
  eventually([&] {
    const auto family = processAndDescendants(shell);
    if (family.size() > 1) child = family[1];
    return child > 0;
  });
  if (child > 0) killer.add(child);
  return {shell, child};
}

}  // namespace kip::test
