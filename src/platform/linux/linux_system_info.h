#pragma once

#include <string>

#include "platform/system_info.h"

namespace kip {

// User and power facts from the passwd database and /sys/class/power_supply.
class LinuxSystemInfo final : public SystemInfo {
 public:
  // powerSupplyDir defaults to $KIPLAUNCH_POWER_SUPPLY_DIR, else /sys/class/power_supply.
  explicit LinuxSystemInfo(std::string powerSupplyDir = {});

  [[nodiscard]] bool isNT() const override { return true; }
  std::optional<std::string> userName() override;
  std::optional<PowerStatus> powerStatus() override;
  std::string currentDesktops() override;
  bool programInstalled(std::string_view program) override;
  std::optional<std::string> configFile(std::string_view path) override;
  std::optional<bool> settingsBoolean(std::string_view schema, std::string_view key) override;

 private:
  std::string m_powerSupplyDir;
};

// Reads a power status from a folder laid out like /sys/class/power_supply.
std::optional<PowerStatus> readPowerSupplyDir(const std::string& dir);

}  // namespace kip
