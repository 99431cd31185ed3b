#include "app/run_engine.h"

#include <algorithm>

#include "model/environment_snapshot.h"

namespace kip {

RunEngine::RunEngine(const CoreServices& services)
    : services(services),
      probe(services.network, services.hostProbe),
      evaluator(state.env, state.net, state.prefs, services.system, services.clock, probe, services.groups),
      launcher(services.processes, services.clock, services.registry, host),
      queue(state.prefs.StartupDelay, state.run, host, evaluator, launcher) {}

void RunEngine::startUp(Prompts& prompts, Switch sw) {
  const StartupServices startup{services.registry, services.system, services.atom, prompts};
  runStartupSequence(state, startup, sw, queue.overlappingFirstPassHook(), [this] { queue.finishFirstPass(); });
}

bool RunEngine::autostartRunDone() const {
  if (!state.run.autostartRun || state.run.StartupCountdown != 0 || state.prefs.StartupDelay != 0) return false;
  for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine})
    if (!services.registry.hiveProblem(hive).empty()) return false;
  return std::none_of(state.definitions.begin(), state.definitions.end(),
                      [](const DefinitionPtr& definition) { return definition && definition->Countdown != 0; });
}

void RunEngine::writeProgramEnd() {
  writePreferences(services.registry, state.prefs, state.run.WindowOpened);
  if (state.run.LogonStart) writePreviousStart(services.registry, state.env);
}

}  // namespace kip
