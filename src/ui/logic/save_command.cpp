#include "ui/logic/save_command.h"

#include "model/definition_store.h"

namespace kip {

namespace {

// The running preferences that the options dialog and the import change.
bool runningPreferencesDiffer(const Preferences& a, const Preferences& b) {
  return a.StartupDelay != b.StartupDelay || a.Splash != b.Splash || a.Global != b.Global || a.AboutNet != b.AboutNet ||
         a.Network != b.Network || a.Proxy != b.Proxy || a.Port != b.Port;
}

void restoreRunningPreferences(Preferences& running, const Preferences& saved) {
  running.StartupDelay = saved.StartupDelay;
  running.Splash = saved.Splash;
  running.Global = saved.Global;
  running.AboutNet = saved.AboutNet;
  running.Network = saved.Network;
  running.Proxy = saved.Proxy;
  running.Port = saved.Port;
}

}  // namespace

void saveDefinitions(AppState& state, Registry& registry, Prompts& prompts, std::span<const DefinitionPtr> viewOrder) {
  state.savedPrefs = state.prefs;
  DefinitionStore store(registry);
  const SaveOutcome outcome = store.save(state.editScope(), state.deleted, viewOrder);
  if (!outcome.startListOpened) {
    prompts.message(kSaveOpenErrorMessage, MessageIcon::Error);
    return;
  }
  if (auto text = unsavedDefinitionsMessage(outcome); !text.empty()) prompts.message(text, MessageIcon::Warning);
}

bool somethingUnsaved(const AppState& state, std::span<const DefinitionPtr> viewOrder) {
  if (runningPreferencesDiffer(state.prefs, state.savedPrefs)) return true;
  for (const auto& def : viewOrder)
    if (def && def->Changed) return true;
  for (const auto& def : state.deleted)
    if (def && !def->StoredName.empty()) return true;
  return false;
}

bool ConfirmSave(AppState& state, Registry& registry, Prompts& prompts, std::span<const DefinitionPtr> viewOrder) {
  if (!somethingUnsaved(state, viewOrder)) return true;
  switch (prompts.question(kSaveChangesQuestion)) {
    case Answer::Cancel:
      return false;
    case Answer::Yes:
      saveDefinitions(state, registry, prompts, viewOrder);
      return true;
    case Answer::No:
      restoreRunningPreferences(state.prefs, state.savedPrefs);
      return true;
  }
  return true;
}

}  // namespace kip
