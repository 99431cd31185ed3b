#pragma once

#include <span>

#include "app/app_state.h"
#include "platform/prompts.h"
#include "platform/registry.h"

namespace kip {

// The "&Save" command: takes the running preferences as saved, writes deletions and changed definitions of
// the edit scope in view order, and tells the user what could not be written.
void saveDefinitions(AppState& state, Registry& registry, Prompts& prompts, std::span<const DefinitionPtr> viewOrder);

// True when a running preference, a row's definition or the deleted list holds something not yet saved.
bool somethingUnsaved(const AppState& state, std::span<const DefinitionPtr> viewOrder);

// "Save changes ?" with Yes, No and Cancel; false to stop what asked. No restores the saved preferences.
bool ConfirmSave(AppState& state, Registry& registry, Prompts& prompts, std::span<const DefinitionPtr> viewOrder);

inline constexpr std::string_view kSaveChangesQuestion = "Save changes ?";

}  // namespace kip
