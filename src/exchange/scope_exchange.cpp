#include "exchange/scope_exchange.h"

#include <algorithm>
#include <vector>

#include "exchange/scope_definition_list.h"
#include "model/preferences.h"

namespace kip {

namespace {

std::vector<DefinitionPtr> loadScope(Registry& registry, Hive scope) {
  std::vector<DefinitionPtr> definitions;
  DefinitionStore(registry).load(scope, false, definitions);
  return definitions;
}

// A damaged hive would read as an empty one; neither command may act on it.
std::string hiveProblems(Registry& registry, Hive scope) {
  std::string problem = registry.hiveProblem(scope);
  if (problem.empty() && scope != Hive::CurrentUser) problem = registry.hiveProblem(Hive::CurrentUser);
  return problem;
}

// Reads what an export of one scope holds and hands it to write; refused when a hive involved reports a problem.
template <typename Write>
ExportResult exportWith(Registry& registry, Hive scope, Write write) {
  if (auto problem = hiveProblems(registry, scope); !problem.empty()) {
    ExportResult refused;
    refused.message = std::move(problem);
    return refused;
  }
  Preferences prefs;
  readPreferences(registry, prefs);
  const ScopeDefinitionList list(loadScope(registry, scope));
  return write(prefs, list);
}

}  // namespace

ExportResult exportScope(Registry& registry, Hive scope, const std::string& path) {
  return exportWith(registry, scope, [&](const Preferences& prefs, const ExchangeList& list) {
    return exportExchangeFile(path, prefs, list);
  });
}

ExportResult composeScopeText(Registry& registry, Hive scope, std::string& out) {
  out.clear();
  return exportWith(registry, scope, [&](const Preferences& prefs, const ExchangeList& list) {
    return composeExchangeText(prefs, list, out);
  });
}

ScopeImportResult importScope(Registry& registry, Hive scope, const std::string& path, Prompts& prompts) {
  ScopeImportResult result;
  if (auto problem = hiveProblems(registry, scope); !problem.empty()) {
    result.import.status = ImportStatus::ReadFailed;
    result.import.opened = false;
    result.import.message = std::move(problem);
    return result;
  }
  Preferences prefs;
  readPreferences(registry, prefs);
  ScopeDefinitionList list(loadScope(registry, scope));
  ExchangeReader reader(list, prefs, prompts);
  result.import = reader.importFile(path);
  if (!result.import.opened) return result;

  result.saveAttempted = true;
  const std::vector<DefinitionPtr> rows = list.definitions();
  result.save = DefinitionStore(registry).save(scope, {}, rows);
  // Only what the file set is written: a preference it does not mention keeps its stored value.
  const auto& set = result.import.preferencesSet;
  result.preferencesWritten = set.empty() || writeRunningPreferences(registry, prefs, [&set](std::string_view name) {
                                return std::find(set.begin(), set.end(), name) != set.end();
                              });
  if (!result.save.startListOpened) {
    result.saveMessage = std::string(kSaveOpenErrorMessage);
  } else {
    result.saveMessage = unsavedDefinitionsMessage(result.save);
  }
  if (result.import.refused > 0) {
    // Each was reported as it was read; the import as a whole did not store everything.
    if (!result.saveMessage.empty()) result.saveMessage += "\n";
    result.saveMessage += std::to_string(result.import.refused) + " definition(s) were not imported";
  }
  if (!result.preferencesWritten) {
    if (!result.saveMessage.empty()) result.saveMessage += "\n";
    result.saveMessage += "Error opening registry key - cannot store the preferences";
  }
  return result;
}

}  // namespace kip
