#include "model/definition_store.h"

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>
#include <type_traits>
#include <unordered_set>

#include "base/utf8.h"
#include "base/win_error.h"
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

// Writes values one after the other, going on after a failure and keeping the first failure's code.
class ValueWriter {
 public:
  explicit ValueWriter(RegKey& key) : m_key(key) {}
  void text(std::string_view name, std::string_view value) { note(writeText(m_key, name, value)); }
  void dword(std::string_view name, std::int32_t value) { note(writeDword(m_key, name, value)); }
  void date(std::string_view name, DateTime value) { note(writeDouble(m_key, name, value)); }
  // A text that most definitions lack: written when set, removed when empty, so that they keep no such value.
  void optionalText(std::string_view name, std::string_view value) {
    if (!value.empty()) {
      text(name, value);
      return;
    }
    const RegCode code = m_key.deleteValue(name);
    if (code != win::kFileNotFound) note(code);
  }
  [[nodiscard]] RegCode firstFailure() const { return m_failure; }

 private:
  void note(RegCode code) {
    if (m_failure == 0) m_failure = code;
  }
  RegKey& m_key;
  RegCode m_failure = 0;
};

// One batch of a save on one hive; finish() commits it and tells whether the commit held.
class SaveBatch {
 public:
  SaveBatch(Registry& registry, Hive hive) : m_registry(registry), m_hive(hive) {
    m_open = m_registry.beginBatch(hive) == 0;
  }
  ~SaveBatch() { finish(); }
  SaveBatch(const SaveBatch&) = delete;
  SaveBatch& operator=(const SaveBatch&) = delete;

  RegCode finish() {
    if (!m_open) return 0;
    m_open = false;
    return m_registry.endBatch(m_hive, true);
  }
  // Undoes whatever the batch wrote.
  void abandon() {
    if (!m_open) return;
    m_open = false;
    m_registry.endBatch(m_hive, false);
  }
  // Takes the write lock now; see Registry::holdBatch.
  void hold() {
    if (m_open) m_registry.holdBatch(m_hive);
  }

 private:
  Registry& m_registry;
  Hive m_hive;
  bool m_open = false;
};

// What a save changes on a definition in memory, kept to undo it when the registry does not keep the writes.
struct SavedState {
  DefinitionPtr def;
  Hive hive;
  std::string storedName;
  std::optional<Hive> storedHive;
  bool changed;
  bool runStateChanged;
  std::shared_ptr<const StartDefinition> loaded;

  static SavedState of(const DefinitionPtr& def, Hive hive) {
    return {def, hive, def->StoredName, def->StoredHive, def->Changed, def->RunStateChanged, def->Loaded};
  }
};

// The texts written only when set, by value name.
template <typename Definition>
auto optionalTexts(Definition& def) {
  using Text = std::conditional_t<std::is_const_v<Definition>, const std::string, std::string>;
  return std::array<std::pair<std::string_view, Text*>, 5>{{{"OnlyShowIn", &def.OnlyShowIn},
                                                            {"NotShowIn", &def.NotShowIn},
                                                            {"TryExec", &def.TryExec},
                                                            {"AutostartCondition", &def.AutostartCondition},
                                                            {"Desktop Entry", &def.DesktopEntryId}}};
}

void restoreStates(const std::vector<SavedState>& states, Hive hive) {
  for (const auto& state : states) {
    if (state.hive != hive) continue;
    state.def->StoredName = state.storedName;
    state.def->StoredHive = state.storedHive;
    state.def->Changed = state.changed;
    state.def->RunStateChanged = state.runStateChanged;
    state.def->Loaded = state.loaded;
  }
}

bool contains(const std::vector<const StartDefinition*>& defs, const StartDefinition* def) {
  return std::find(defs.begin(), defs.end(), def) != defs.end();
}

// Whether the save writes def at all: a definition of the edit scope with something to write and a name and
// texts it can store.
bool toBeWritten(const StartDefinition& def) {
  if (def.OtherScope || (!def.Changed && !def.RunStateChanged)) return false;
  if (!isStorableName(def.Name)) return false;
  return !def.Changed || !overlongTextField(def);
}

bool storedIn(const StartDefinition& def, Hive hive) {
  return isStorableName(def.StoredName) && def.StoredHive.value_or(hive) == hive;
}

// Names under which the caller itself holds a definition of the edit scope: saving over them loses nothing it
// has not seen.
std::unordered_set<std::string> knownNames(Hive editScope, std::span<const DefinitionPtr> deleted,
                                           std::span<const DefinitionPtr> viewOrder) {
  std::unordered_set<std::string> known;
  for (const auto* list : {&deleted, &viewOrder})
    for (const auto& def : *list)
      if (def && storedIn(*def, editScope)) known.insert(foldName(def->StoredName));
  return known;
}

}  // namespace

bool SaveDecisions::replaces(const StartDefinition* def) const { return contains(replace, def); }
bool SaveDecisions::keeps(const StartDefinition* def) const { return contains(keep, def); }

namespace {}  // namespace

bool isStorableName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxTextLength && name.find('\\') == std::string_view::npos;
}

std::optional<std::string_view> overlongTextField(const StartDefinition& def) {
  const std::pair<std::string_view, const std::string*> texts[] = {
      {"Module", &def.Module},
      {"Parms", &def.Parms},
      {"Start Directory", &def.StartDirectory},
      {"Configuration", &def.Configuration},
      {"User", &def.User},
      {"Group", &def.Group},
      {"NetResource", &def.NetResource},
      {"OnlyShowIn", &def.OnlyShowIn},
      {"NotShowIn", &def.NotShowIn},
      {"TryExec", &def.TryExec},
      {"AutostartCondition", &def.AutostartCondition},
      {"Desktop Entry", &def.DesktopEntryId},
  };
  for (const auto& [name, text] : texts)
    if (text->size() > kMaxTextLength) return name;
  return std::nullopt;
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
  for (const auto& [name, field] : optionalTexts(def)) readText(key, name, *field);
}

RegCode DefinitionStore::writeDefinitionValues(RegKey& key, const StartDefinition& def) {
  ValueWriter out(key);
  out.text("Module", def.Module);
  out.text("Parms", def.Parms);
  out.text("Start Directory", def.StartDirectory);
  out.text("Configuration", def.Configuration);
  out.text("User", def.User);
  out.text("Group", def.Group);
  out.dword("Window", def.Window);
  out.dword("Apm", def.Apm);
  out.dword("Net", def.Net);
  out.dword("Dun", def.Dun);
  out.dword("NetTest", def.NetTest);
  out.text("NetResource", def.NetResource);
  out.dword("Days", def.Days);
  out.dword("Dates", def.Dates);
  out.dword("From", def.From);
  out.dword("To", def.To);
  out.dword("Frequency", def.Frequency);
  out.dword("Units", def.Units);
  out.dword("Changes", def.Changes);
  out.dword("Delay", def.Delay);
  out.dword("Msg", def.Msg);
  out.dword("MsgID", def.MsgID);
  out.dword("Wait", def.Wait);
  out.dword("WaitType", def.WaitType);
  out.dword("Disable", def.Disable ? 1 : 0);
  out.dword("Sequence", def.Sequence);
  for (const auto& [name, field] : optionalTexts(def)) out.optionalText(name, *field);
  return out.firstFailure();
}

RegCode DefinitionStore::writeRunState(RegKey& key, const StartDefinition& def) {
  ValueWriter out(key);
  out.date("Executed", def.Executed);
  // The program's own report: cut rather than stored at a length the next load would refuse.
  out.text("Result", utf8Truncate(def.Result, kMaxTextLength));
  out.date("Tested", def.Tested);
  out.dword("TestResult", def.TestResult);
  return out.firstFailure();
}

std::shared_ptr<const StartDefinition> DefinitionStore::snapshotOf(const StartDefinition& def) {
  auto copy = std::make_shared<StartDefinition>();
  copy->Name = def.Name;
  copy->Module = def.Module;
  copy->Parms = def.Parms;
  copy->StartDirectory = def.StartDirectory;
  copy->Configuration = def.Configuration;
  copy->User = def.User;
  copy->Group = def.Group;
  copy->Window = def.Window;
  copy->Apm = def.Apm;
  copy->Net = def.Net;
  copy->Dun = def.Dun;
  copy->NetTest = def.NetTest;
  copy->NetResource = def.NetResource;
  copy->Days = def.Days;
  copy->Dates = def.Dates;
  copy->From = def.From;
  copy->To = def.To;
  copy->Frequency = def.Frequency;
  copy->Units = def.Units;
  copy->Changes = def.Changes;
  copy->Delay = def.Delay;
  copy->Msg = def.Msg;
  copy->MsgID = def.MsgID;
  copy->Wait = def.Wait;
  copy->WaitType = def.WaitType;
  copy->Disable = def.Disable;
  copy->Sequence = def.Sequence;
  copy->Executed = def.Executed;
  copy->Result = def.Result;
  copy->Tested = def.Tested;
  copy->TestResult = def.TestResult;
  return copy;
}

bool DefinitionStore::sameDefinitionValues(const StartDefinition& a, const StartDefinition& b) {
  const auto values = [](const StartDefinition& d) {
    return std::tie(d.Module, d.Parms, d.StartDirectory, d.Configuration, d.User, d.Group, d.Window, d.Apm, d.Net,
                    d.Dun, d.NetTest, d.NetResource, d.Days, d.Dates, d.From, d.To, d.Frequency, d.Units, d.Changes,
                    d.Delay, d.Msg, d.MsgID, d.Wait, d.WaitType, d.Disable, d.Sequence, d.OnlyShowIn, d.NotShowIn,
                    d.TryExec, d.AutostartCondition, d.DesktopEntryId);
  };
  return values(a) == values(b);
}

bool DefinitionStore::sameStoredValues(const StartDefinition& a, const StartDefinition& b) {
  return sameDefinitionValues(a, b) && a.Executed == b.Executed && a.Result == b.Result && a.Tested == b.Tested &&
         a.TestResult == b.TestResult;
}

void DefinitionStore::takeStoredValues(StartDefinition& def, const StartDefinition& stored) {
  auto snapshot = snapshotOf(stored);
  const std::string name = stored.Name;
  const std::string iconSource = def.Module == stored.Module ? def.IconSource : std::string();
  auto process = def.Process;
  const auto countdown = def.Countdown;
  const bool otherScope = def.OtherScope;
  const auto hive = stored.StoredHive;
  def = *snapshot;
  def.StoredName = name;
  def.StoredHive = hive;
  def.Loaded = std::move(snapshot);
  def.IconSource = iconSource;
  def.Process = std::move(process);
  def.Countdown = countdown;
  def.OtherScope = otherScope;
}

DefinitionPtr DefinitionStore::readStored(Hive hive, std::string_view name) {
  if (!isStorableName(name)) return nullptr;
  std::unique_ptr<RegKey> key;
  if (m_registry.openKey(hive, subkeyPath(name), KeyAccess::Read, key) != 0) return nullptr;
  auto def = std::make_shared<StartDefinition>();
  def->Name = std::string(name);
  def->StoredName = def->Name;
  def->StoredHive = hive;
  readValues(*key, *def);
  return def;
}

std::vector<SaveConflict> DefinitionStore::conflicts(Hive editScope, std::span<const DefinitionPtr> deleted,
                                                     std::span<const DefinitionPtr> viewOrder) {
  std::vector<SaveConflict> found;
  const auto known = knownNames(editScope, deleted, viewOrder);

  for (const auto& def : deleted) {
    if (!def || !def->Loaded || !isStorableName(def->StoredName)) continue;
    const auto stored = readStored(def->StoredHive.value_or(editScope), def->StoredName);
    // Gone already: the deletion loses nothing.
    if (stored && !sameDefinitionValues(*stored, *def->Loaded)) found.push_back({def, true});
  }
  for (const auto& def : viewOrder) {
    if (!def || !toBeWritten(*def)) continue;
    const bool storedHere = storedIn(*def, editScope);
    bool conflict = false;
    if (storedHere && def->Loaded) {
      const auto stored = readStored(editScope, def->StoredName);
      // Removed meanwhile, or values changed that this save would write over.
      conflict = !stored || (def->Changed && !sameDefinitionValues(*stored, *def->Loaded));
    }
    const bool newName = !storedHere || foldName(def->StoredName) != foldName(def->Name);
    if (!conflict && newName && !known.contains(foldName(def->Name)) && readStored(editScope, def->Name))
      conflict = true;
    if (conflict) found.push_back({def, false});
  }
  return found;
}

std::size_t DefinitionStore::load(Hive hive, bool otherScope, std::vector<DefinitionPtr>& out,
                                  const FirstPassHook& firstPass) {
  // Without a first pass the load only reads: every key in one view of the hive.
  struct Reads {
    Registry* registry;
    Hive hive;
    ~Reads() {
      if (registry) registry->endReads(hive);
    }
  } reads{firstPass ? nullptr : &m_registry, hive};
  if (reads.registry) m_registry.beginReads(hive);
  std::unique_ptr<RegKey> list;
  if (m_registry.openKey(hive, kStartListKey, KeyAccess::Read, list) != 0) return 0;
  std::size_t loaded = 0;
  std::string name;
  for (std::uint32_t index = 0; list->enumKey(index, name) == 0; ++index) {
    // A name too long for a definition cannot be one; it must not hide the definitions after it.
    if (!isStorableName(name)) continue;
    const auto path = subkeyPath(name);
    std::unique_ptr<RegKey> key;
    // Only the first pass writes into the key; a plain load need not ask for the right to.
    if ((!firstPass || m_registry.openKey(hive, path, KeyAccess::ReadWrite, key) != 0) &&
        m_registry.openKey(hive, path, KeyAccess::Read, key) != 0)
      continue;
    auto def = std::make_shared<StartDefinition>();
    def->OtherScope = otherScope;
    def->Name = name;
    def->StoredName = name;
    def->StoredHive = hive;
    readValues(*key, *def);
    def->Loaded = snapshotOf(*def);
    out.push_back(def);
    ++loaded;
    if (firstPass && !def->Disable) firstPass(*def, *key);
  }
  return loaded;
}

SaveOutcome DefinitionStore::save(Hive editScope, std::span<const DefinitionPtr> deleted,
                                  std::span<const DefinitionPtr> viewOrder, const SaveDecisions* decisions) {
  SaveOutcome outcome;
  std::vector<SavedState> touched;
  const Hive otherHive = editScope == Hive::CurrentUser ? Hive::LocalMachine : Hive::CurrentUser;
  SaveBatch editBatch(m_registry, editScope);
  std::optional<SaveBatch> otherBatch;
  for (const auto& def : deleted)
    if (def && isStorableName(def->StoredName) && def->StoredHive.value_or(editScope) == otherHive && !otherBatch)
      otherBatch.emplace(m_registry, otherHive);

  const auto replaces = [decisions](const DefinitionPtr& def) { return decisions && decisions->replaces(def.get()); };
  const auto keeps = [decisions](const DefinitionPtr& def) { return decisions && decisions->keeps(def.get()); };
  if (decisions) {
    // With the write locks held, what the check finds now stays so until the batches end.
    editBatch.hold();
    if (otherBatch) otherBatch->hold();
    for (const auto& conflict : conflicts(editScope, deleted, viewOrder)) {
      if (replaces(conflict.def) || keeps(conflict.def)) continue;
      if (otherBatch) otherBatch->abandon();
      editBatch.abandon();
      outcome.conflictsChanged = true;
      return outcome;
    }
  }
  const auto known = knownNames(editScope, deleted, viewOrder);

  // A deleted definition's subkey lives in the hive it came from, whatever the edit scope is now.
  for (const auto& def : deleted) {
    if (!def || !isStorableName(def->StoredName) || keeps(def)) continue;
    const Hive hive = def->StoredHive.value_or(editScope);
    const auto code = m_registry.deleteTree(hive, subkeyPath(def->StoredName));
    // A refused deletion keeps the name, so that the next save tries again.
    if (code != 0 && code != win::kFileNotFound) continue;
    touched.push_back(SavedState::of(def, hive));
    def->StoredName.clear();
    def->StoredHive.reset();
    def->Loaded.reset();
  }

  std::unique_ptr<RegKey> list;
  if (m_registry.createKey(editScope, kStartListKey, list) != 0) {
    outcome.startListOpened = false;
  } else {
    list.reset();
    for (const auto& def : viewOrder) {
      if (!def || def->OtherScope || (!def->Changed && !def->RunStateChanged) || keeps(def)) continue;
      // Such a name would address the Start List key itself or a key nested in another definition's.
      if (!isStorableName(def->Name) || findInvalidUtf8(def->Name) != std::string::npos) {
        outcome.invalidNames.push_back(def->Name);
        continue;
      }
      // Stored, such a text would be refused by the next load and the value lost.
      if (def->Changed) {
        if (const auto field = overlongTextField(*def)) {
          outcome.overlongTexts.emplace_back(def->Name, *field);
          continue;
        }
      }
      touched.push_back(SavedState::of(def, editScope));
      const bool storedHere = storedIn(*def, editScope);
      if (replaces(def)) {
        // The user's version replaces whatever another program left: all of it, under its own name.
        def->Changed = true;
        if ((!storedHere || foldName(def->StoredName) != foldName(def->Name)) && !known.contains(foldName(def->Name)))
          m_registry.deleteTree(editScope, subkeyPath(def->Name));
      }
      if (storedHere && def->StoredName != def->Name &&
          m_registry.moveKey(editScope, subkeyPath(def->StoredName), subkeyPath(def->Name)) == 0) {
        def->StoredName = def->Name;
      }
      std::unique_ptr<RegKey> key;
      if (m_registry.createKey(editScope, subkeyPath(def->Name), key) != 0) {
        outcome.unwritableNames.push_back(def->Name);
        continue;
      }
      def->StoredName = def->Name;
      def->StoredHive = editScope;
      RegCode failure = 0;
      if (def->Changed) failure = writeDefinitionValues(*key, *def);
      if (def->RunStateChanged && failure == 0) failure = writeRunState(*key, *def);
      if (failure != 0) {
        outcome.unwritableNames.push_back(def->Name);
        continue;
      }
      if (def->Changed) {
        def->Loaded = snapshotOf(*def);
      } else if (def->Loaded) {
        auto loaded = std::make_shared<StartDefinition>(*def->Loaded);
        loaded->Executed = def->Executed;
        loaded->Result = utf8Truncate(def->Result, kMaxTextLength);
        loaded->Tested = def->Tested;
        loaded->TestResult = def->TestResult;
        def->Loaded = std::move(loaded);
      }
      def->Changed = false;
      def->RunStateChanged = false;
    }
  }

  // A batch the registry could not commit stored nothing: the definitions it touched get back their state.
  if (otherBatch && otherBatch->finish() != 0) restoreStates(touched, otherHive);
  if (editBatch.finish() != 0) {
    restoreStates(touched, editScope);
    outcome.startListOpened = false;
  }
  return outcome;
}

std::string changedByAnotherProgramQuestion(std::string_view name) {
  return std::string(name) + " was changed by another program since it was loaded. Replace it with your version?";
}

std::string unsavedDefinitionsMessage(const SaveOutcome& outcome) {
  if (outcome.invalidNames.empty() && outcome.unwritableNames.empty() && outcome.overlongTexts.empty()) return {};
  std::string text;
  if (!outcome.invalidNames.empty()) {
    text +=
        "These definitions were not saved because a name must not be empty, contain \"\\\" or bytes that "
        "are no UTF-8, or be longer than 259 bytes:";
    for (const auto& name : outcome.invalidNames) text += "\n  \"" + name + "\"";
  }
  if (!outcome.overlongTexts.empty()) {
    if (!text.empty()) text += "\n\n";
    text += "These definitions were not saved because a text is longer than 259 bytes:";
    for (const auto& [name, field] : outcome.overlongTexts) text += "\n  \"" + name + "\" (" + field + ")";
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
