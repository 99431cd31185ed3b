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
