#include "app/run_engine.h"

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

}  // namespace kip
