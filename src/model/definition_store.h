#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/start_definition.h"
#include "platform/registry.h"

namespace kip {

// What a save did not manage, for the caller to tell the user.
struct SaveOutcome {
  // False when nothing but deletions was stored: the Start List key could not be opened or created, or the
  // registry did not commit the save (then the deletions were undone too). Show kSaveOpenErrorMessage.
  bool startListOpened = true;
  // Definitions skipped because their names cannot be subkey names (empty, "\", too long).
  std::vector<std::string> invalidNames;
  // Definitions skipped because a text is longer than the registry keeps, each with the first such field.
  std::vector<std::pair<std::string, std::string>> overlongTexts;
  // Definitions whose subkey could not be opened or whose values could not all be written; they keep their
  // flags, so that the next save tries again.
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

  // Removes the deleted definitions' subkeys, each in the hive it was loaded from, then writes the changed
  // definitions of the edit scope in view order, renaming subkeys whose definition was renamed. One batch per
  // hive. A definition whose name cannot be a subkey name is not written and keeps its flags.
  SaveOutcome save(Hive editScope, std::span<const DefinitionPtr> deleted, std::span<const DefinitionPtr> viewOrder);

  // Reads one definition's values from its open subkey into def, each by its acceptance rule.
  static void readValues(RegKey& key, StartDefinition& def);
  // Writes the persisted definition values in their fixed order, Module to Sequence; every value is tried,
  // and the first failure's code is returned (0 when all were written).
  static RegCode writeDefinitionValues(RegKey& key, const StartDefinition& def);
  // Writes Executed, Result, Tested and TestResult in that order; returns as writeDefinitionValues.
  static RegCode writeRunState(RegKey& key, const StartDefinition& def);

 private:
  Registry& m_registry;
};

// True when a definition name can be a subkey name: not empty, no "\", at most 259 bytes.
bool isStorableName(std::string_view name);

// The value name of the first persisted text of def longer than 259 bytes, which the next load would refuse;
// nothing when every text fits. For every place where a definition enters: dialog, import, kipctl.
std::optional<std::string_view> overlongTextField(const StartDefinition& def);

// The message telling the user which definitions a save could not write; empty when there are none.
std::string unsavedDefinitionsMessage(const SaveOutcome& outcome);

inline constexpr std::string_view kSaveOpenErrorMessage = "Error opening registry key - cannot store changes";

}  // namespace kip
