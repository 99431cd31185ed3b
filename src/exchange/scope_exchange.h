#pragma once

#include <string>

#include "exchange/exchange_reader.h"
#include "exchange/exchange_writer.h"
#include "model/definition_store.h"
#include "platform/prompts.h"
#include "platform/registry.h"

namespace kip {

// Exports the stored running preferences and the stored definitions of one scope, in load order, to path;
// refused when a hive involved reports a problem.
ExportResult exportScope(Registry& registry, Hive scope, const std::string& path);
// The same export's text into out, for a caller that writes it elsewhere (standard output).
ExportResult composeScopeText(Registry& registry, Hive scope, std::string& out);

// What an import into one scope's stored definitions did.
struct ScopeImportResult {
  ImportResult import;
  bool saveAttempted = false;  // false when the file could not be opened, so the hives were left alone
  SaveOutcome save;
  bool preferencesWritten = false;
  // Why something could not be saved, in words for the user; empty when everything was saved.
  std::string saveMessage;
};

// Reads path into the stored definitions of one scope (they stand for the list's rows, in load order) and the
// stored running preferences, asking prompts as the window's import does, then saves the definitions read and
// the running preferences the file set. What was finished before a Cancel or a read failure is saved too. Nothing is
// read or saved when a hive involved reports a problem; import.opened is then false and import.message says why.
ScopeImportResult importScope(Registry& registry, Hive scope, const std::string& path, Prompts& prompts);

}  // namespace kip
