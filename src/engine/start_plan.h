#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "conditions/condition_tester.h"
#include "model/start_definition.h"
#include "platform/clock.h"

namespace kip {

// The clock of a simulated autostart run: logon, plus the time the simulation has let pass.
class SimulatedClock final : public Clock {
 public:
  explicit SimulatedClock(DateTime logon) : m_logon(logon) {}
  [[nodiscard]] DateTime now() const override;
  void advanceMs(std::int64_t ms) { m_elapsedMs += ms; }
  [[nodiscard]] std::int64_t elapsedMs() const { return m_elapsedMs; }
  // Whole seconds from logon to moment, rounded to the nearest.
  [[nodiscard]] std::int64_t secondsSinceLogon(DateTime moment) const;

 private:
  DateTime m_logon;
  std::int64_t m_elapsedMs = 0;
};

// One definition's part in a planned autostart run.
struct PlannedStart {
  // A copy of the definition as the run leaves it: Result is the test's report for a definition that does not
  // start, the launcher's for one that does.
  DefinitionPtr definition;
  bool tested = false;          // false for a disabled definition, which the run passes over
  std::int32_t testResult = 0;  // the test's TestResult (64 for a pending delay)
  // Seconds after logon at which it starts at the latest; nullopt when it does not start.
  std::optional<std::int64_t> second;
};

// Plans the autostart run of definitions (load order: edit scope first) without starting or writing anything:
// the start queue's first pass tests each copy with tester (whose clock must be clock) and the queue then runs
// tick by tick on the simulated clock, where every launcher wait lasts its whole limit and every started
// program keeps running with a window, so each after-action holds its group to the end. The times are so upper
// bounds. Idle stretches of the countdowns are skipped, so long delays cost no more than short ones.
std::vector<PlannedStart> planAutostartRun(std::span<const DefinitionPtr> definitions, std::int32_t startupDelay,
                                           ConditionTester& tester, SimulatedClock& clock);

}  // namespace kip
