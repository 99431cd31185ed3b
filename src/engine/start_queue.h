#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conditions/condition_tester.h"
#include "engine/launcher.h"
#include "engine/queue_host.h"
#include "model/definition_store.h"
#include "model/run_mode_state.h"

namespace kip {

// Decides when each definition starts. The autostart run's first pass starts what needs no waiting
// while the definitions load; then every tick of the one-second timer counts down the start-up delay,
// and after it the pending definitions of the current Sequence group, their delays and after-actions.
// The window's commands "Execute All", "&Run", "Run &with Action" and the two cancels feed it too.
class StartQueue {
 public:
  // startupDelay: the preference, read at each step so that a change made in the options applies; run: the
  // run-mode state whose countdown and logon start the queue keeps.
  StartQueue(const std::int32_t& startupDelay, RunModeState& run, QueueHost& host, ConditionTester& tester,
             Launcher& launcher)
      : m_startupDelay(startupDelay), m_run(run), m_host(host), m_tester(tester), m_launcher(launcher) {}

  // The first pass over one definition just loaded during an autostart run: tests it, starts it at
  // once or queues it, and writes its results into its open subkey.
  void firstPass(StartDefinition& definition, RegKey& key);
  // firstPass as a hook for the definition load.
  DefinitionStore::FirstPassHook firstPassHook();
  // The first pass as the program's start-up runs it: a start that waits for nothing is only begun, so
  // that the process creations of many starts overlap, and a start that waits finishes those begun
  // before it. finishFirstPass, called after the load, finishes the rest in load order and writes their
  // results.
  DefinitionStore::FirstPassHook overlappingFirstPassHook();
  void finishFirstPass();
  // Enters the autostart run after the load: the tray icon, the taskbar window (shown minimised while
  // a start-up delay counts down, hidden otherwise), StartupCountdown and the timer.
  void beginAutostartRun();

  // One timer tick (MyTimerTimer). Does nothing when called again from inside a tick.
  void tick();

  // "Execute All": tests every enabled definition and starts those that pass at once, whatever their
  // Sequence; runs the timer when any is left pending.
  void RunButtonClick();
  // "&Run" (tag 0) and "Run &with Action" (tag not 0) on the selected definition: starts it without
  // test or delay. A failed start opens the Status page; a pending after-action is kept only for tag 1.
  void RunPopClick(StartDefinition* selected, int tag);
  // "Ca&ncel Action" and "C&ancel Run": the selected definition is no longer pending.
  void CancelPopClick(StartDefinition* selected);

  // True while a tick runs.
  [[nodiscard]] bool inTick() const { return m_inTick; }
  // The Sequence group being counted down; -1 after a tick that found nothing pending.
  [[nodiscard]] std::int32_t CurrentSequence() const { return m_currentSequence; }

 private:
  void process(StartDefinition& definition, std::int32_t& next);
  void overlappingFirstPass(StartDefinition& definition, RegKey& key);

  struct BegunStart {
    StartDefinition* definition;  // held by the loaded definitions
    Launcher::PendingStart pending;
  };

  const std::int32_t& m_startupDelay;
  RunModeState& m_run;
  QueueHost& m_host;
  ConditionTester& m_tester;
  Launcher& m_launcher;
  std::int32_t m_currentSequence = 0;
  bool m_inTick = false;
  std::vector<BegunStart> m_begun;
};

// The group a definition belongs to: its Sequence, a negative one taken by its absolute value.
std::int32_t sequenceGroup(const StartDefinition& definition);

// The application title during the start-up delay: "29 secs to start, Close to cancel".
std::string countdownTitle(std::int32_t secondsLeft);
// The "Timers" column while the queue runs: Countdown while it is not 0, else the TimingSummary.
std::string timersColumnText(const StartDefinition& definition);

// Which queue items of the list's pop-up menu are shown for the selected definition.
struct QueuePopupItems {
  bool runWithAction = false;  // RunMsgPop: an after-action is defined
  bool cancelAction = false;   // CancelActPop: an after-action is pending
  bool cancelRun = false;      // CancelRunPop: a start is queued
  bool separator = false;      // ActionLine: one of the three is shown
};
QueuePopupItems queuePopupItems(const StartDefinition* selected);

inline constexpr std::string_view kPlainTitle = "Kip Launch Manager";
inline constexpr std::string_view kCountdownSuffix = " secs to start, Close to cancel";
// Seconds that one tick of the one-second timer takes off every countdown.
inline constexpr std::int32_t kTickStep = 1;

}  // namespace kip
