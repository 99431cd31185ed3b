#pragma once

#include <functional>
#include <memory>
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
  // True when another program changed a definition between the check that asked about it and the save:
  // nothing was written; check and ask again.
  bool conflictsChanged = false;
};

// A definition of the window whose subkey another program changed or removed since the window loaded it, or
// whose name another program has taken meanwhile, so that the save would write over a version it never saw.
struct SaveConflict {
  DefinitionPtr def;
  bool deleted = false;  // a definition deleted in the window, whose deletion would remove the other version
};

// What the user chose for each conflict: the window's version replaces the stored one, or the stored one is
// kept and the window's definition is not written.
struct SaveDecisions {
  std::vector<const StartDefinition*> replace;
  std::vector<const StartDefinition*> keep;
  [[nodiscard]] bool replaces(const StartDefinition* def) const;
  [[nodiscard]] bool keeps(const StartDefinition* def) const;
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
  // With decisions, it first takes the hives' write locks and checks for conflicts again: one that decisions do
  // not answer stops the save with nothing written (conflictsChanged); a definition decisions keep is not
  // written, one they replace is written whole over whatever holds its name. Without, nothing is checked.
  SaveOutcome save(Hive editScope, std::span<const DefinitionPtr> deleted, std::span<const DefinitionPtr> viewOrder,
                   const SaveDecisions* decisions = nullptr);

  // The definitions that save would write over another program's version, in the order save meets them.
  std::vector<SaveConflict> conflicts(Hive editScope, std::span<const DefinitionPtr> deleted,
                                      std::span<const DefinitionPtr> viewOrder);

  // The definition the subkey name of hive holds now; nullptr when there is none.
  DefinitionPtr readStored(Hive hive, std::string_view name);

  // Reads one definition's values from its open subkey into def, each by its acceptance rule.
  static void readValues(RegKey& key, StartDefinition& def);
  // Writes the persisted definition values in their fixed order, Module to Sequence; every value is tried,
  // and the first failure's code is returned (0 when all were written).
  static RegCode writeDefinitionValues(RegKey& key, const StartDefinition& def);
  // Writes Executed, Result, Tested and TestResult in that order; returns as writeDefinitionValues.
  static RegCode writeRunState(RegKey& key, const StartDefinition& def);

  // A copy of def's stored values (name, definition values, run state) for StartDefinition::Loaded.
  static std::shared_ptr<const StartDefinition> snapshotOf(const StartDefinition& def);
  // True when a and b hold the same definition values, Module to Sequence: what a save writes for Changed.
  static bool sameDefinitionValues(const StartDefinition& a, const StartDefinition& b);
  // sameDefinitionValues, and the same run state (Executed, Result, Tested, TestResult).
  static bool sameStoredValues(const StartDefinition& a, const StartDefinition& b);
  // Takes the stored values of stored into def (keeping what only memory holds) and its snapshot.
  static void takeStoredValues(StartDefinition& def, const StartDefinition& stored);

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

// The question a conflict asks: Yes replaces the stored definition, No keeps it, Cancel stops the save.
std::string changedByAnotherProgramQuestion(std::string_view name);

inline constexpr std::string_view kSaveOpenErrorMessage = "Error opening registry key - cannot store changes";

}  // namespace kip
