#include "engine/start_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <unordered_map>

#include "engine/launcher.h"
#include "engine/start_queue.h"
#include "model/run_mode_state.h"

namespace kip {

namespace {

constexpr RegCode kAccessDenied = 5;
constexpr RegCode kNoMoreItems = 259;
constexpr std::int64_t kMsPerSecond = 1000;
// Far more ticks than any run needs once idle stretches are skipped; only a fault could reach it.
constexpr std::size_t kMaxTicks = 10'000'000;

// The open subkey the first pass writes its results into: a read-only key of nothing.
class DiscardingKey final : public RegKey {
 public:
  [[nodiscard]] bool writable() const override { return false; }
  RegCode enumKey(std::uint32_t, std::string&) override { return kNoMoreItems; }
  RegCode enumValue(std::uint32_t, std::string&, RegValue&) override { return kNoMoreItems; }
  RegCode queryValue(std::string_view, std::uint32_t, RegValue&) override { return 2; }
  RegCode setValue(std::string_view, RegType, std::span<const std::uint8_t>) override { return kAccessDenied; }
  RegCode deleteValue(std::string_view) override { return kAccessDenied; }
};

// A registry that refuses every write, for the launcher's write-backs, which a plan never makes.
class RefusingRegistry final : public Registry {
 public:
  RefusingRegistry() = default;
  RegCode openKey(Hive, std::string_view, KeyAccess, std::unique_ptr<RegKey>&) override { return kAccessDenied; }
  RegCode createKey(Hive, std::string_view, std::unique_ptr<RegKey>&) override { return kAccessDenied; }
  RegCode deleteTree(Hive, std::string_view) override { return kAccessDenied; }
  RegCode moveKey(Hive, std::string_view, std::string_view) override { return kAccessDenied; }
  RegCode beginBatch(Hive) override { return kAccessDenied; }
  RegCode endBatch(Hive, bool) override { return kAccessDenied; }
  [[nodiscard]] std::string hiveProblem(Hive) const override { return {}; }
};

// A started program that runs on and on: each wait lasts its whole limit on the simulated clock.
class SimulatedProcess final : public LaunchedProcess {
 public:
  explicit SimulatedProcess(SimulatedClock& clock) : m_clock(clock) {}
  [[nodiscard]] int pid() const override { return 0; }
  bool exitCode(std::int32_t& code) override {
    code = 259;
    return true;
  }
  bool waitForInputIdle(std::uint32_t limitMs) override { return waitAll(limitMs); }
  bool waitForExit(std::uint32_t limitMs) override { return waitAll(limitMs); }

 private:
  bool waitAll(std::uint32_t limitMs) {
    m_clock.advanceMs(limitMs);
    return false;
  }
  SimulatedClock& m_clock;
};

// Every start succeeds and every after-action finds its window.
class SimulatedProcesses final : public ProcessLauncher {
 public:
  explicit SimulatedProcesses(SimulatedClock& clock) : m_clock(clock) {}
  SpawnOutcome spawn(const LaunchRequest&) override {
    SpawnOutcome outcome;
    outcome.process = std::make_unique<SimulatedProcess>(m_clock);
    return outcome;
  }
  bool shellOpen(const LaunchRequest&) override { return true; }
  bool postWindowCommand(const StartedProcess&, WindowCommand) override { return true; }

 private:
  SimulatedClock& m_clock;
};

// The main window of an autostart run that is never opened: the timer and the definitions in load order.
class PlanHost final : public QueueHost {
 public:
  explicit PlanHost(std::vector<DefinitionPtr> definitions) : m_definitions(std::move(definitions)) {}
  [[nodiscard]] bool timerEnabled() const override { return m_timer; }
  void setTimerEnabled(bool enabled) override { m_timer = enabled; }
  void setApplicationTitle(std::string_view) override {}
  void setMainCaption(std::string_view) override {}
  void setShowApp(bool) override {}
  void minimizeApplication() override {}
  void setTrayIconActive(bool) override {}
  void showWindow() override {}
  void closeMainWindow() override { m_timer = false; }
  void processMessages() override {}
  std::vector<DefinitionPtr> listViewDefinitions() override { return {}; }
  void refreshQueueColumns(std::size_t, std::string_view, std::string_view) override {}
  std::vector<DefinitionPtr> hiddenDefinitions() override { return {}; }
  std::vector<DefinitionPtr> allDefinitions() override { return m_definitions; }
  bool showStatusPage(StartDefinition&) override { return false; }

 private:
  std::vector<DefinitionPtr> m_definitions;
  bool m_timer = false;
};

// Tests through the real tester, notes the outcome, and then marks the copy as not yet started, so that a
// start of the simulation shows in Executed.
class RecordingTester final : public ConditionTester {
 public:
  RecordingTester(ConditionTester& inner, std::vector<PlannedStart>& plan,
                  const std::unordered_map<const StartDefinition*, std::size_t>& index)
      : m_inner(inner), m_plan(plan), m_index(index) {}
  bool test(StartDefinition& definition) override {
    const bool passed = m_inner.test(definition);
    PlannedStart& planned = m_plan[m_index.at(&definition)];
    planned.tested = true;
    planned.testResult = definition.TestResult;
    definition.Executed = kNotStarted;
    return passed;
  }
  static constexpr DateTime kNotStarted = std::numeric_limits<DateTime>::quiet_NaN();

 private:
  ConditionTester& m_inner;
  std::vector<PlannedStart>& m_plan;
  const std::unordered_map<const StartDefinition*, std::size_t>& m_index;
};

// Skips the ticks that would only count down: the start-up delay to its last second, or the current group's
// countdowns to the last second of the shortest one, when the current group is the lowest one pending.
void skipIdleTicks(RunModeState& run, const std::vector<DefinitionPtr>& definitions, std::int32_t current,
                   SimulatedClock& clock) {
  if (run.StartupCountdown > 1) {
    clock.advanceMs(std::int64_t{run.StartupCountdown - 1} * kMsPerSecond);
    run.StartupCountdown = 1;
    return;
  }
  if (run.StartupCountdown > 0) return;
  std::optional<std::int32_t> lowest;
  std::int64_t shortest = std::numeric_limits<std::int64_t>::max();
  for (const auto& def : definitions) {
    if (def->Countdown == 0) continue;
    const std::int32_t group = sequenceGroup(*def);
    lowest = lowest ? std::min(*lowest, group) : group;
    if (group == current) shortest = std::min(shortest, std::abs(std::int64_t{def->Countdown}));
  }
  if (!lowest || *lowest != current || shortest <= 1) return;
  const auto skip = static_cast<std::int32_t>(shortest - 1);
  for (const auto& def : definitions) {
    if (def->Countdown == 0 || sequenceGroup(*def) != current) continue;
    def->Countdown += def->Countdown > 0 ? -skip : skip;
  }
  clock.advanceMs(std::int64_t{skip} * kMsPerSecond);
}

}  // namespace

DateTime SimulatedClock::now() const {
  return m_logon + static_cast<double>(m_elapsedMs) / static_cast<double>(86'400'000);
}

std::int64_t SimulatedClock::secondsSinceLogon(DateTime moment) const {
  return std::llround((moment - m_logon) * 86400.0);
}

std::vector<PlannedStart> planAutostartRun(std::span<const DefinitionPtr> definitions, std::int32_t startupDelay,
                                           ConditionTester& tester, SimulatedClock& clock) {
  std::vector<PlannedStart> plan;
  std::vector<DefinitionPtr> copies;
  std::vector<DateTime> lastStarts;
  std::unordered_map<const StartDefinition*, std::size_t> index;
  for (const auto& def : definitions) {
    if (!def) continue;
    auto copy = std::make_shared<StartDefinition>(*def);
    copy->Process.reset();
    copy->Countdown = 0;
    index.emplace(copy.get(), plan.size());
    plan.push_back({copy, false, 0, std::nullopt});
    lastStarts.push_back(def->Executed);
    copies.push_back(std::move(copy));
  }

  RunModeState run;
  PlanHost host(copies);
  SimulatedProcesses processes(clock);
  RefusingRegistry registry;
  Launcher launcher(processes, clock, registry, host);
  RecordingTester recording(tester, plan, index);
  StartQueue queue(startupDelay, run, host, recording, launcher);

  DiscardingKey key;
  for (const auto& copy : copies) queue.firstPass(*copy, key);
  queue.beginAutostartRun();
  for (std::size_t ticks = 0; host.timerEnabled() && ticks < kMaxTicks; ++ticks) {
    skipIdleTicks(run, copies, queue.CurrentSequence(), clock);
    clock.advanceMs(kMsPerSecond);
    queue.tick();
  }

  for (std::size_t i = 0; i < plan.size(); ++i) {
    StartDefinition& copy = *plan[i].definition;
    copy.Process.reset();
    if (!plan[i].tested) continue;
    if (std::isnan(copy.Executed))
      copy.Executed = lastStarts[i];
    else
      plan[i].second = clock.secondsSinceLogon(copy.Executed);
  }
  return plan;
}

}  // namespace kip
