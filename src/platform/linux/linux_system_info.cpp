#include "platform/linux/linux_system_info.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/linux/text_file.h"
#include "platform/program_path.h"

namespace kip {

LinuxSystemInfo::LinuxSystemInfo(std::string powerSupplyDir) : m_powerSupplyDir(std::move(powerSupplyDir)) {
  if (m_powerSupplyDir.empty()) {
    const char* env = std::getenv("KIPLAUNCH_POWER_SUPPLY_DIR");
    m_powerSupplyDir = (env && *env) ? env : "/sys/class/power_supply";
  }
}

std::optional<std::string> LinuxSystemInfo::userName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result) return std::nullopt;
  return std::string(result->pw_name);
}

std::optional<PowerStatus> LinuxSystemInfo::powerStatus() { return readPowerSupplyDir(m_powerSupplyDir); }

std::string LinuxSystemInfo::currentDesktops() {
  const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
  return desktops ? desktops : "";
}

namespace {

constexpr std::size_t kMaxConfigFile = 1 << 20;
constexpr int kSettingsLimitMs = 2000;

// Runs a program without a shell and returns what it wrote on standard output (at most 4 KiB), or nullopt
// when it could not start, failed or did not end within limitMs (then it is killed).
std::optional<std::string> outputOf(const std::vector<std::string>& args, int limitMs) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    return std::nullopt;
  }
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  bool ended = false;
  while (!ended) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd wait{fds[0], POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[512];
    const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
    if (got <= 0) {
      ended = got == 0 || errno != EINTR;
      continue;
    }
    if (out.size() < 4096) out.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fds[0]);
  if (!ended) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

}  // namespace

bool LinuxSystemInfo::programInstalled(std::string_view program) { return programInPath(program); }

std::optional<std::string> LinuxSystemInfo::configFile(std::string_view path) {
  std::string full;
  if (path.starts_with('/')) {
    full = path;
  } else {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (configHome && configHome[0] == '/')
      full = configHome;
    else if (home && home[0] == '/')
      full = std::string(home) + "/.config";
    else
      return std::nullopt;
    full += '/';
    full += path;
  }
  struct stat info {};
  if (::stat(full.c_str(), &info) != 0) return std::nullopt;
  if (S_ISDIR(info.st_mode)) return std::string();
  if (!S_ISREG(info.st_mode)) return std::string();
  std::ifstream in(full, std::ios::binary);
  if (!in) return std::string();
  std::string text(kMaxConfigFile, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

std::optional<bool> LinuxSystemInfo::settingsBoolean(std::string_view schema, std::string_view key) {
  const auto out = outputOf({"gsettings", "get", std::string(schema), std::string(key)}, kSettingsLimitMs);
  if (!out) return std::nullopt;
  std::string_view value = *out;
  while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.remove_suffix(1);
  if (value == "true") return true;
  if (value == "false") return false;
  return std::nullopt;
}

namespace {

// The decimal number a sysfs attribute holds; -1 when it holds none.
long numberIn(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return end == text.c_str() ? -1 : value;
}

}  // namespace

std::optional<PowerStatus> readPowerSupplyDir(const std::string& dir) {
  DIR* folder = opendir(dir.c_str());
  if (!folder) {
    // No power-supply class at all is a machine that reports nothing: a desktop.
    if (errno == ENOENT) return PowerStatus{255, 255};
    return std::nullopt;
  }
  bool mainsOnline = false;
  bool haveBattery = false;
  int batteryPercent = 255;
  while (dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string base = dir;
    base += "/";
    base += name;
    const std::string type = readFirstLine(base + "/type");
    if (type.empty()) continue;
    if (type == "Mains" || type == "USB" || type.starts_with("USB_")) {
      // 2 and above are on line too (programmable output, as USB-PD chargers report).
      if (const long online = numberIn(readFirstLine(base + "/online")); online > 0) mainsOnline = true;
    } else if (type == "Battery") {
      // A device's own battery (a mouse, say) is not the machine's.
      if (readFirstLine(base + "/scope") == "Device") continue;
      haveBattery = true;
      if (const long value = numberIn(readFirstLine(base + "/capacity"));
          batteryPercent == 255 && value >= 0 && value <= 100)
        batteryPercent = static_cast<int>(value);
    }
  }
  closedir(folder);
  if (mainsOnline) return PowerStatus{1, haveBattery ? batteryPercent : 255};
  if (haveBattery) return PowerStatus{0, batteryPercent};
  // A mains supply that is off line without a battery tells nothing.
  return PowerStatus{255, 255};
}

}  // namespace kip
