#include "platform/linux/linux_system_info.h"

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/linux/text_file.h"

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
