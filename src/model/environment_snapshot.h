#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "platform/system_info.h"

namespace kip {

// Facts gathered once at start-up that the start conditions are tested against.
struct EnvironmentSnapshot {
  bool IsNT = false;
  std::string ConfigName;
  std::string UserName;
  std::int32_t PowerState = -1;
  std::string PrevConfig;
  std::string PrevUser;
  std::int32_t PrevPower = 0;
};

// The network results kept beside the snapshot: 0 means not yet probed.
struct NetworkResults {
  std::int32_t lastNetwork = 0;
  std::int32_t lastDialUp = 0;
};

// Longest user name kept, in bytes.
inline constexpr std::size_t kMaxUserName = 49;

// Reads the previous-start record into the Prev fields; missing parts keep their values.
void readPreviousStart(Registry& registry, EnvironmentSnapshot& env);
// Writes the previous-start record from the current fields; failures are ignored.
void writePreviousStart(Registry& registry, const EnvironmentSnapshot& env);
// The friendly name of the current hardware profile, empty when there is none.
std::string readConfigName(Registry& registry, bool isNT);
// The logon user name; empty on failure and when it is longer than kMaxUserName bytes.
std::string readUserName(SystemInfo& system);
// PowerState from a power status: -1 unavailable, the battery percentage off line, else 0.
std::int32_t powerStateFrom(const std::optional<PowerStatus>& status);

}  // namespace kip
