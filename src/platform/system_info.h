#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
};

}  // namespace kip
