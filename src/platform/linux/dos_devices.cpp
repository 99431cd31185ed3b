#include "platform/linux/dos_devices.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace kip {

namespace {

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

}  // namespace

bool isDrivePath(std::string_view text) { return text.size() >= 2 && text[1] == ':'; }

DosDevices DosDevices::fromEnvironment() {
  if (const char* dir = std::getenv("KIPLAUNCH_DOSDEVICES"); dir && *dir) return DosDevices(dir);
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    config = xdg;
  else
    config = homeFolder() + "/.config";
  return DosDevices(config + "/kiplaunch/dosdevices");
}

std::optional<std::string> DosDevices::driveFolder(char letter) const {
  if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
  if (letter < 'a' || letter > 'z') return std::nullopt;
  std::string link = m_folder + "/" + letter + ":";
  struct stat info {};
  if (lstat(link.c_str(), &info) == 0) return link;
  if (letter == 'z') return std::string("/");
  return std::nullopt;
}

std::optional<std::string> DosDevices::map(std::string_view drivePath) const {
  if (!isDrivePath(drivePath)) return std::nullopt;
  auto folder = driveFolder(drivePath[0]);
  if (!folder) return std::nullopt;
  std::string rest(drivePath.substr(2));
  std::replace(rest.begin(), rest.end(), '\\', '/');
  if (rest.empty()) return folder;
  if (*folder == "/") return rest.front() == '/' ? rest : "/" + rest;
  return rest.front() == '/' ? *folder + rest : *folder + "/" + rest;
}

}  // namespace kip
