#include "exchange/scope_exchange.h"

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

}  // namespace

ExportResult exportScope(Registry& registry, Hive scope, const std::string& path) {
  if (auto problem = hiveProblems(registry, scope); !problem.empty()) {
    ExportResult refused;
    refused.message = std::move(problem);
    return refused;
  }
  Preferences prefs;
  readPreferences(registry, prefs);
  const ScopeDefinitionList list(loadScope(registry, scope));
  return exportExchangeFile(path, prefs, list);
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
  result.preferencesWritten = writeRunningPreferences(registry, prefs);
  if (!result.save.startListOpened) {
    result.saveMessage = std::string(kSaveOpenErrorMessage);
  } else {
    result.saveMessage = unsavedDefinitionsMessage(result.save);
  }
  if (!result.preferencesWritten) {
    if (!result.saveMessage.empty()) result.saveMessage += "\n";
    result.saveMessage += "Error opening registry key - cannot store the preferences";
  }
  return result;
}

}  // namespace kip
