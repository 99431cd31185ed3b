#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kip {

// The power source as the system reports it.
struct PowerStatus {
  int acLineStatus = 255;        // 0 off line (battery), 1 on line, 255 unknown
  int batteryLifePercent = 255;  // 0..100, 255 unknown
};

// Facts about the machine and the logged-on user.
class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // True on a multi-user system with user groups.
  [[nodiscard]] virtual bool isNT() const = 0;
  // The logon name of the current user; nullopt when it cannot be found.
  virtual std::optional<std::string> userName() = 0;
  // The power status at this moment; nullopt when it cannot be read.
  virtual std::optional<PowerStatus> powerStatus() = 0;
  // The names of the current desktop, ":"-separated as $XDG_CURRENT_DESKTOP gives them; empty when unknown.
  virtual std::string currentDesktops() = 0;
  // True when a program is installed: an absolute path that is an executable file, or a name without "/"
  // found as one in PATH.
  virtual bool programInstalled(std::string_view program) = 0;
  // The text of a file in the user's configuration folder ($XDG_CONFIG_HOME, else ~/.config; an absolute
  // path as it is), at most 1 MiB of it; nullopt when there is none. A folder gives an empty text.
  virtual std::optional<std::string> configFile(std::string_view path) = 0;
  // A boolean key of the desktop's settings (GSettings); nullopt when the schema or key does not exist, the
  // key is no boolean or no answer came within a second or two.
  virtual std::optional<bool> settingsBoolean(std::string_view schema, std::string_view key) = 0;
};

}  // namespace kip
