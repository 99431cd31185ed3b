#pragma once

#include <cstdint>
#include <optional>

#include "conditions/condition_tester.h"
#include "conditions/network_probe.h"
#include "model/environment_snapshot.h"
#include "model/preferences.h"
#include "platform/clock.h"
#include "platform/group_membership.h"
#include "platform/system_info.h"

namespace kip {

// Values added to TestResult by each failed condition, and by a pending delay.
namespace fail {
inline constexpr std::int32_t kConfiguration = 1;
inline constexpr std::int32_t kPower = 2;
inline constexpr std::int32_t kDayOfWeek = 4;
inline constexpr std::int32_t kTime = 8;
inline constexpr std::int32_t kFrequency = 16;
inline constexpr std::int32_t kUser = 32;
inline constexpr std::int32_t kDelay = 64;
inline constexpr std::int32_t kChange = 128;
inline constexpr std::int32_t kNet = 256;
inline constexpr std::int32_t kResource = 512;
inline constexpr std::int32_t kDialUp = 1024;
inline constexpr std::int32_t kGroup = 1024;  // the same value as the dial-up failure
// Above every sum of the values before (dial-up and group together give 2048), so that those stay apart.
inline constexpr std::int32_t kDesktop = 4096;     // OnlyShowIn / NotShowIn against the current desktop
inline constexpr std::int32_t kTryExec = 8192;     // the program TryExec names is not installed
inline constexpr std::int32_t kCondition = 16384;  // the autostart condition does not hold
}  // namespace fail

// The condition test of a start definition against the environment snapshot, the live power status and
// the probes. It keeps no state of its own beyond the network results it fills in.
class ConditionEvaluator final : public ConditionTester {
 public:
  ConditionEvaluator(const EnvironmentSnapshot& env, NetworkResults& results, const Preferences& prefs,
                     SystemInfo& system, const Clock& clock, NetworkProbe& probe, GroupMembership& groups);

  bool test(StartDefinition& definition) override;

 private:
  bool powerPasses(std::int32_t apm);
  [[nodiscard]] bool changePasses(std::int32_t changes) const;

  const EnvironmentSnapshot& m_env;
  NetworkResults& m_results;
  const Preferences& m_prefs;
  SystemInfo& m_system;
  const Clock& m_clock;
  NetworkProbe& m_probe;
  GroupMembership& m_groups;
};

// Milliseconds in a day; moments are compared in whole milliseconds since 30 December 1899.
inline constexpr std::int64_t kMillisecondsPerDay = 86400000;

// The earliest moment a definition last started at executed may start again, in milliseconds since
// 30 December 1899: 0 for an unknown unit (no limit), nullopt when that moment lies beyond the last day
// the calendar holds (it never comes).
std::optional<std::int64_t> earliestNextStart(DateTime executed, std::int32_t frequency, std::int32_t units);

// A moment in milliseconds since 30 December 1899, rounded to the nearest millisecond.
std::int64_t toMilliseconds(DateTime moment);

}  // namespace kip
