#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "model/start_definition.h"
#include "platform/registry.h"

namespace kip {

// What a save did not manage, for the caller to tell the user.
struct SaveOutcome {
  // False when the Start List key could not be opened or created: nothing but deletions was written.
  bool startListOpened = true;
  // Definitions skipped because their names cannot be subkey names (empty, "\", too long).
  std::vector<std::string> invalidNames;
  // Definitions whose subkey could not be opened for writing.
  std::vector<std::string> unwritableNames;
};

// Loads and saves the start definitions of one hive's "Start List" key.
class DefinitionStore {
 public:
  // Called during an autostart run for each enabled definition just loaded, with its subkey still open.
  using FirstPassHook = std::function<void(StartDefinition&, RegKey&)>;

  explicit DefinitionStore(Registry& registry) : m_registry(registry) {}

  // Appends the definitions of one hive to out in enumeration order; returns how many were loaded.
  std::size_t load(Hive hive, bool otherScope, std::vector<DefinitionPtr>& out, const FirstPassHook& firstPass = {});

  // Removes the deleted definitions' subkeys, then writes the changed definitions of the edit scope in
  // view order, renaming subkeys whose definition was renamed.
  SaveOutcome save(Hive editScope, std::span<const DefinitionPtr> deleted, std::span<const DefinitionPtr> viewOrder);

  // Reads one definition's values from its open subkey into def, each by its acceptance rule.
  static void readValues(RegKey& key, StartDefinition& def);
  // Writes the persisted definition values in their fixed order.
  static void writeDefinitionValues(RegKey& key, const StartDefinition& def);
  // Writes Executed, Result, Tested and TestResult.
  static void writeRunState(RegKey& key, const StartDefinition& def);

 private:
  Registry& m_registry;
};

// True when a definition name can be a subkey name: not empty, no "\", at most 259 bytes.
bool isStorableName(std::string_view name);

// The message telling the user which definitions a save could not write; empty when there are none.
std::string unsavedDefinitionsMessage(const SaveOutcome& outcome);

inline constexpr std::string_view kSaveOpenErrorMessage = "Error opening registry key - cannot store changes";

}  // namespace kip
