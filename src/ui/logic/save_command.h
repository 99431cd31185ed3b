#pragma once

#include <span>
#include <vector>

#include "app/app_state.h"
#include "model/definition_store.h"
#include "platform/prompts.h"
#include "platform/registry.h"

namespace kip {

// What became of a save.
struct SaveResult {
  // False when the user cancelled a conflict's question: nothing was written.
  bool completed = true;
  // Conflicts where the user chose the stored version: those definitions were not written, and the window
  // is to show what the hive holds.
  std::vector<SaveConflict> kept;
};

// The "&Save" command: asks about every definition another program changed or removed since the window
// loaded it, takes the running preferences as saved, writes deletions and changed definitions of the edit
// scope in view order, and tells the user what could not be written.
SaveResult saveDefinitions(AppState& state, Registry& registry, Prompts& prompts,
                           std::span<const DefinitionPtr> viewOrder);

// True when a running preference, a row's definition or the deleted list holds something not yet saved.
bool somethingUnsaved(const AppState& state, std::span<const DefinitionPtr> viewOrder);

// "Save changes ?" with Yes, No and Cancel; false to stop what asked, also when a conflict's question was
// cancelled. No restores the saved preferences. kept as saveDefinitions gives it.
bool ConfirmSave(AppState& state, Registry& registry, Prompts& prompts, std::span<const DefinitionPtr> viewOrder,
                 std::vector<SaveConflict>& kept);

inline constexpr std::string_view kSaveChangesQuestion = "Save changes ?";
inline constexpr std::string_view kSaveRaceMessage =
    "Another program keeps changing the definitions; nothing was saved. Save again in a moment.";

}  // namespace kip
