#pragma once

#include "app/app_state.h"
#include "app/startup_sequence.h"
#include "conditions/condition_evaluator.h"
#include "conditions/network_probe.h"
#include "engine/launcher.h"
#include "engine/queue_host_relay.h"
#include "engine/start_queue.h"
#include "platform/clock.h"
#include "platform/group_membership.h"
#include "platform/network_services.h"
#include "platform/process_launcher.h"

namespace kip {

// The toolkit-free services of the program, owned by its entry point.
struct CoreServices {
  Registry& registry;
  SystemInfo& system;
  LogonAtom& atom;
  Clock& clock;
  NetworkServices& network;
  HostProbe& hostProbe;
  GroupMembership& groups;
  ProcessLauncher& processes;
};

// What runs the definitions: the program's state, the condition tests, the launcher and the start queue.
// It can run the start-up sequence before any window exists; the main window takes it over then, and its
// queue reaches the window through host.
class RunEngine {
 public:
  explicit RunEngine(const CoreServices& services);
  RunEngine(const RunEngine&) = delete;
  RunEngine& operator=(const RunEngine&) = delete;

  // The start-up sequence with the autostart run's first pass.
  void startUp(Prompts& prompts, Switch sw);

  // True when an autostart run's first pass left nothing to do: no start-up delay, no definition counting
  // down to its start or to an after-action, and no hive problem to report. Such a run ends without a
  // window once writeProgramEnd has run.
  [[nodiscard]] bool autostartRunDone() const;
  // What the end of the program writes: the preferences (the window's layout only when it was opened)
  // and, after a logon start, the previous-start record.
  void writeProgramEnd();

  CoreServices services;
  AppState state;
  NetworkProbe probe;
  ConditionEvaluator evaluator;
  QueueHostRelay host;
  Launcher launcher;
  StartQueue queue;
};

}  // namespace kip
