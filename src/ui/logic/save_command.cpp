#include "ui/logic/save_command.h"

#include <utility>

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

SaveResult saveDefinitions(AppState& state, Registry& registry, Prompts& prompts,
                           std::span<const DefinitionPtr> viewOrder) {
  DefinitionStore store(registry);
  SaveDecisions decisions;
  SaveResult result;
  // Another program may change a definition again while the user answers; the save checks under the write
  // lock and asks about what is new, a few times at most.
  constexpr int kRounds = 4;
  SaveOutcome outcome;
  for (int round = 0; round < kRounds; ++round) {
    for (const auto& conflict : store.conflicts(state.editScope(), state.deleted, viewOrder)) {
      const StartDefinition* def = conflict.def.get();
      if (decisions.replaces(def) || decisions.keeps(def)) continue;
      switch (prompts.question(changedByAnotherProgramQuestion(def->Name))) {
        case Answer::Cancel:
          return {false, {}};
        case Answer::Yes:
          decisions.replace.push_back(def);
          break;
        case Answer::No:
          decisions.keep.push_back(def);
          result.kept.push_back(conflict);
          break;
      }
    }
    outcome = store.save(state.editScope(), state.deleted, viewOrder, &decisions);
    if (!outcome.conflictsChanged) break;
  }
  if (outcome.conflictsChanged) {
    prompts.message(kSaveRaceMessage, MessageIcon::Warning);
    return {false, {}};
  }
  state.savedPrefs = state.prefs;
  if (!outcome.startListOpened) {
    prompts.message(kSaveOpenErrorMessage, MessageIcon::Error);
    return result;
  }
  if (auto text = unsavedDefinitionsMessage(outcome); !text.empty()) prompts.message(text, MessageIcon::Warning);
  return result;
}

bool somethingUnsaved(const AppState& state, std::span<const DefinitionPtr> viewOrder) {
  if (runningPreferencesDiffer(state.prefs, state.savedPrefs)) return true;
  for (const auto& def : viewOrder)
    if (def && def->Changed) return true;
  for (const auto& def : state.deleted)
    if (def && !def->StoredName.empty()) return true;
  return false;
}

bool ConfirmSave(AppState& state, Registry& registry, Prompts& prompts, std::span<const DefinitionPtr> viewOrder,
                 std::vector<SaveConflict>& kept) {
  if (!somethingUnsaved(state, viewOrder)) return true;
  switch (prompts.question(kSaveChangesQuestion)) {
    case Answer::Cancel:
      return false;
    case Answer::Yes: {
      SaveResult result = saveDefinitions(state, registry, prompts, viewOrder);
      kept = std::move(result.kept);
      return result.completed;
    }
    case Answer::No:
      restoreRunningPreferences(state.prefs, state.savedPrefs);
      return true;
  }
  return true;
}

}  // namespace kip
