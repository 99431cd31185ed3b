#include "model/definition_store.h"

#include "model/registry_layout.h"
#include "platform/registry_values.h"

namespace kip {

namespace {

std::string subkeyPath(std::string_view name) {
  std::string path(kStartListKey);
  path += '\\';
  path += name;
  return path;
}

void readText(RegKey& key, std::string_view name, std::string& field) {
  if (auto text = kip::readText(key, name)) field = std::move(*text);
}

void readNumber(RegKey& key, std::string_view name, std::int32_t& field) {
  if (auto number = readDword(key, name)) field = *number;
}

void readDate(RegKey& key, std::string_view name, DateTime& field) {
  if (auto value = readDouble(key, name)) field = *value;
}

}  // namespace

bool isStorableName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxTextLength && name.find('\\') == std::string_view::npos;
}

void DefinitionStore::readValues(RegKey& key, StartDefinition& def) {
  readText(key, "Module", def.Module);
  readText(key, "Parms", def.Parms);
  readText(key, "Start Directory", def.StartDirectory);
  readText(key, "Configuration", def.Configuration);
  readText(key, "User", def.User);
  readText(key, "Group", def.Group);
  readNumber(key, "Window", def.Window);
  readNumber(key, "Apm", def.Apm);
  readNumber(key, "Net", def.Net);
  readNumber(key, "Dun", def.Dun);
  readNumber(key, "NetTest", def.NetTest);
  readText(key, "NetResource", def.NetResource);
  readNumber(key, "Days", def.Days);
  readNumber(key, "Dates", def.Dates);
  readNumber(key, "From", def.From);
  readNumber(key, "To", def.To);
  readNumber(key, "Frequency", def.Frequency);
  readNumber(key, "Units", def.Units);
  readNumber(key, "Changes", def.Changes);
  readNumber(key, "Delay", def.Delay);
  readNumber(key, "Msg", def.Msg);
  readNumber(key, "MsgID", def.MsgID);
  readNumber(key, "Wait", def.Wait);
  readNumber(key, "WaitType", def.WaitType);
  readDate(key, "Executed", def.Executed);
  readText(key, "Result", def.Result);
  readDate(key, "Tested", def.Tested);
  readNumber(key, "TestResult", def.TestResult);
  if (auto disable = readDword(key, "Disable")) def.Disable = *disable != 0;
  readNumber(key, "Sequence", def.Sequence);
}

void DefinitionStore::writeDefinitionValues(RegKey& key, const StartDefinition& def) {
  writeText(key, "Module", def.Module);
  writeText(key, "Parms", def.Parms);
  writeText(key, "Start Directory", def.StartDirectory);
  writeText(key, "Configuration", def.Configuration);
  writeText(key, "User", def.User);
  writeText(key, "Group", def.Group);
  writeDword(key, "Window", def.Window);
  writeDword(key, "Apm", def.Apm);
  writeDword(key, "Net", def.Net);
  writeDword(key, "Dun", def.Dun);
  writeDword(key, "NetTest", def.NetTest);
  writeText(key, "NetResource", def.NetResource);
  writeDword(key, "Days", def.Days);
  writeDword(key, "Dates", def.Dates);
  writeDword(key, "From", def.From);
  writeDword(key, "To", def.To);
  writeDword(key, "Frequency", def.Frequency);
  writeDword(key, "Units", def.Units);
  writeDword(key, "Changes", def.Changes);
  writeDword(key, "Delay", def.Delay);
  writeDword(key, "Msg", def.Msg);
  writeDword(key, "MsgID", def.MsgID);
  writeDword(key, "Wait", def.Wait);
  writeDword(key, "WaitType", def.WaitType);
  writeDword(key, "Disable", def.Disable ? 1 : 0);
  writeDword(key, "Sequence", def.Sequence);
}

void DefinitionStore::writeRunState(RegKey& key, const StartDefinition& def) {
  writeDouble(key, "Executed", def.Executed);
  writeText(key, "Result", def.Result);
  writeDouble(key, "Tested", def.Tested);
  writeDword(key, "TestResult", def.TestResult);
}

std::size_t DefinitionStore::load(Hive hive, bool otherScope, std::vector<DefinitionPtr>& out,
                                  const FirstPassHook& firstPass) {
  std::unique_ptr<RegKey> list;
  if (m_registry.openKey(hive, kStartListKey, KeyAccess::Read, list) != 0) return 0;
  std::size_t loaded = 0;
  std::string name;
  for (std::uint32_t index = 0; list->enumKey(index, name) == 0; ++index) {
    // A name too long for a definition cannot be one; it must not hide the definitions after it.
    if (!isStorableName(name)) continue;
    const auto path = subkeyPath(name);
    std::unique_ptr<RegKey> key;
    if (m_registry.openKey(hive, path, KeyAccess::ReadWrite, key) != 0 &&
        m_registry.openKey(hive, path, KeyAccess::Read, key) != 0)
      continue;
    auto def = std::make_shared<StartDefinition>();
    def->OtherScope = otherScope;
    def->Name = name;
    def->StoredName = name;
    def->StoredHive = hive;
    readValues(*key, *def);
    out.push_back(def);
    ++loaded;
    if (firstPass && !def->Disable) firstPass(*def, *key);
  }
  return loaded;
}

SaveOutcome DefinitionStore::save(Hive editScope, std::span<const DefinitionPtr> deleted,
                                  std::span<const DefinitionPtr> viewOrder) {
  SaveOutcome outcome;
  // A deleted definition's subkey lives in the hive it came from, whatever the edit scope is now.
  for (const auto& def : deleted) {
    if (!def || def->StoredName.empty()) continue;
    const Hive hive = def->StoredHive.value_or(editScope);
    const auto code = m_registry.deleteTree(hive, subkeyPath(def->StoredName));
    if (code == 0 || code == 2) {
      def->StoredName.clear();
      def->StoredHive.reset();
    }
  }

  std::unique_ptr<RegKey> list;
  if (m_registry.createKey(editScope, kStartListKey, list) != 0) {
    outcome.startListOpened = false;
    return outcome;
  }
  list.reset();

  RegBatch batch(m_registry, editScope);
  for (const auto& def : viewOrder) {
    if (!def || def->OtherScope || (!def->Changed && !def->RunStateChanged)) continue;
    if (!isStorableName(def->Name)) {
      outcome.invalidNames.push_back(def->Name);
      continue;
    }
    const bool storedHere = !def->StoredName.empty() && def->StoredHive.value_or(editScope) == editScope;
    if (storedHere && def->StoredName != def->Name)
      m_registry.moveKey(editScope, subkeyPath(def->StoredName), subkeyPath(def->Name));
    std::unique_ptr<RegKey> key;
    if (m_registry.createKey(editScope, subkeyPath(def->Name), key) != 0) {
      outcome.unwritableNames.push_back(def->Name);
      continue;
    }
    def->StoredName = def->Name;
    def->StoredHive = editScope;
    if (def->Changed) writeDefinitionValues(*key, *def);
    if (def->RunStateChanged) writeRunState(*key, *def);
    def->Changed = false;
    def->RunStateChanged = false;
  }
  return outcome;
}

std::string unsavedDefinitionsMessage(const SaveOutcome& outcome) {
  if (outcome.invalidNames.empty() && outcome.unwritableNames.empty()) return {};
  std::string text;
  if (!outcome.invalidNames.empty()) {
    text += "These definitions were not saved because a name must not be empty, contain \"\\\" "
            "or be longer than 259 characters:";
    for (const auto& name : outcome.invalidNames) text += "\n  \"" + name + "\"";
  }
  if (!outcome.unwritableNames.empty()) {
    if (!text.empty()) text += "\n\n";
    text += "These definitions were not saved because their registry keys could not be written:";
    for (const auto& name : outcome.unwritableNames) text += "\n  \"" + name + "\"";
  }
  text += "\n\nThey keep their changes; rename them or fix the registry and save again.";
  return text;
}

}  // namespace kip
