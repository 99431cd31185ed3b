#include "app/startup_sequence.h"

#include <algorithm>
#include <cctype>

#include "model/registry_layout.h"

namespace kip {

Switch parseSwitch(const std::vector<std::string>& args) {
  if (args.empty()) return Switch::None;
  std::string first = args.front();
  std::transform(first.begin(), first.end(), first.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (first == "/r") return Switch::Run;
  if (first == "/g") return Switch::Global;
  return Switch::None;
}

bool machineListWritable(Registry& registry) {
  std::unique_ptr<RegKey> key;
  return registry.createKey(Hive::LocalMachine, kStartListKey, key) == 0;
}

void runStartupSequence(AppState& state, const StartupServices& services, Switch sw,
                        const DefinitionStore::FirstPassHook& firstPass, const std::function<void()>& firstPassDone) {
  auto& env = state.env;
  auto& run = state.run;

  env.IsNT = services.system.isNT();
  readPreviousStart(services.registry, env);
  env.UserName = readUserName(services.system);

  readPreferences(services.registry, state.prefs);
  state.savedPrefs = state.prefs;

  bool decision = state.prefs.AutostartEnabled;
  if (services.atom.exists()) {
    decision = false;
  } else if (services.atom.add()) {
    run.LogonStart = true;
  } else {
    services.prompts.message(kAtomErrorMessage);
    decision = false;
  }

  if (sw == Switch::Run) {
    run.LogonStart = true;
    decision = true;
  }

  env.ConfigName = readConfigName(services.registry, env.IsNT);
  env.PowerState = powerStateFrom(services.system.powerStatus());

  if (sw == Switch::Global) {
    run.LogonStart = false;
    run.GlobalEdit = true;
    if (!machineListWritable(services.registry)) {
      services.prompts.message(kGlobalRefusedMessage);
      run.GlobalEdit = false;
    }
    decision = false;
  }
  run.autostartDecision = decision;

  DefinitionStore store(services.registry);
  const DefinitionStore::FirstPassHook hook = decision ? firstPass : DefinitionStore::FirstPassHook{};
  store.load(state.editScope(), false, state.definitions, hook);
  store.load(state.otherScope(), true, state.definitions, hook);
  if (hook && firstPassDone) firstPassDone();

  run.autostartRun = decision && !state.definitions.empty();
  if (run.autostartRun) run.StartupCountdown = state.prefs.StartupDelay;
}

}  // namespace kip
