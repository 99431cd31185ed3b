#include "ui/logic/definition_manager.h"

#include <iterator>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "app/startup_sequence.h"
#include "exchange/desktop_entry.h"
#include "exchange/exchange_reader.h"
#include "exchange/exchange_writer.h"
#include "platform/program_path.h"
#include "ui/logic/save_command.h"

namespace kip {

DefinitionManager::DefinitionManager(const ManagerServices& services, const TextCollator& collator)
    : m_state(services.state),
      m_registry(services.registry),
      m_prompts(services.prompts),
      m_tester(services.tester),
      m_queue(services.queue),
      m_form(services.form),
      m_host(services.host),
      m_list(collator) {
  m_list.setGlobalEdit(m_state.run.GlobalEdit);
}

void DefinitionManager::setSelectedRow(std::optional<std::size_t> row) {
  m_selected = row && *row < m_list.size() ? m_list.row(*row).def.get() : nullptr;
}

std::optional<std::size_t> DefinitionManager::selectedRow() const {
  if (!m_selected) return std::nullopt;
  if (const std::size_t row = m_list.rowOf(m_selected); row < m_list.size()) return row;
  return std::nullopt;
}

StartDefinition* DefinitionManager::selectedDefinition() const {
  const auto row = selectedRow();
  return row ? m_list.row(*row).def.get() : nullptr;
}

SelectionCommands DefinitionManager::selectionCommands() const {
  const auto row = selectedRow();
  return kip::selectionCommands(row ? &m_list.row(*row) : nullptr);
}

PopupState DefinitionManager::popupState() const { return kip::popupState(selectedDefinition()); }

void DefinitionManager::FormActivate() {
  if (m_state.run.WindowOpened) {
    showStoredDefinitions();
    return;
  }
  const bool showOther = m_state.prefs.Global;
  m_list.reserve(m_list.size() + m_state.definitions.size());
  for (const auto& def : m_state.definitions) {
    if (showOther || !def->OtherScope) {
      m_form.LoadDefinition(*def);
      m_form.StoreDefinition(*def);
      m_list.AddRow(def);
    } else {
      m_state.hidden.push_back(def);
    }
    def->Changed = false;
  }
  if (m_state.prefs.SortCol != 0) m_list.sort(m_state.prefs.SortCol);
  if (m_state.run.GlobalEdit)
    m_scopeItems = {true, false};
  else
    m_scopeItems = {false, machineListWritable(m_registry)};
  m_state.run.WindowOpened = true;
}

void DefinitionManager::EditNewClick() {
  ModalScope modal(m_modal);
  auto def = std::make_shared<StartDefinition>();
  m_form.LoadDefinition(*def);
  if (!m_host.showDefinitionDialog(DialogPage::Current)) return;
  m_form.StoreDefinition(*def);
  // A new definition is unsaved even when the dialog was left as it opened.
  def->Changed = true;
  m_list.AddRow(def);
  m_state.definitions.push_back(def);
}

void DefinitionManager::EditCopyClick() {
  StartDefinition* source = selectedDefinition();
  if (!source) return;
  ModalScope modal(m_modal);
  // The dialog opens editable even for a definition of the other scope.
  const bool otherScope = source->OtherScope;
  source->OtherScope = false;
  m_form.LoadDefinition(*source);
  source->OtherScope = otherScope;
  if (!m_host.showDefinitionDialog(DialogPage::Current)) return;
  auto copy = std::make_shared<StartDefinition>();
  m_form.StoreDefinition(*copy);
  copy->Changed = true;
  m_list.AddRow(copy);
  m_state.definitions.push_back(copy);
}

void DefinitionManager::EditDeleteClick() {
  const auto row = selectedRow();
  if (!row || !m_list.row(*row).def || m_list.row(*row).def->OtherScope) return;
  DefinitionPtr def = m_list.removeRow(*row);
  m_selected = nullptr;
  def->IconSource.clear();
  m_state.deleted.push_back(def);
}

void DefinitionManager::EditUndeleteClick() {
  if (m_state.deleted.empty()) return;
  DefinitionPtr def = m_state.deleted.back();
  m_state.deleted.pop_back();
  // A save since the deletion removed its subkey: it must be written again to exist.
  if (def->StoredName.empty()) def->Changed = true;
  m_list.AddRow(def);
}

void DefinitionManager::RenameClick() {
  const auto row = selectedRow();
  const StartDefinition* def = selectedDefinition();
  if (!def || def->OtherScope) return;
  m_host.startRename(*row);
}

bool DefinitionManager::renameRow(std::size_t row, const std::string& caption) {
  if (row < m_list.size() && m_list.row(row).def && m_list.row(row).def->OtherScope) return false;
  if (m_list.renameRow(row, caption) == RenameOutcome::Refused) {
    m_host.beep();
    return false;
  }
  return true;
}

void DefinitionManager::PropertiesClick() {
  ModalScope modal(m_modal);
  const auto row = selectedRow();
  StartDefinition* def = selectedDefinition();
  if (!def) return;
  m_form.LoadDefinition(*def);
  if (!m_host.showDefinitionDialog(DialogPage::Current)) return;
  m_form.StoreDefinition(*def);
  m_list.refreshRow(*row);
}

void DefinitionManager::DisableClick() {
  const auto row = selectedRow();
  StartDefinition* def = selectedDefinition();
  if (!def || def->OtherScope) return;
  def->Disable = !def->Disable;
  def->Changed = true;
  m_list.refreshRow(*row);
}

void DefinitionManager::TestClick() {
  StartDefinition* def = selectedDefinition();
  if (!def) return;
  m_tester.test(*def);
  showStatusPage(*def);
}

bool DefinitionManager::showStatusPage(StartDefinition& def) {
  ModalScope modal(m_modal);
  m_form.LoadDefinition(def);
  if (!m_host.showDefinitionDialog(DialogPage::Status)) {
    // The Result of the test or the start is still worth showing in the row.
    if (const auto row = m_list.rowOf(&def); row < m_list.size()) m_list.refreshRow(row);
    return false;
  }
  m_form.StoreDefinition(def);
  if (const auto row = m_list.rowOf(&def); row < m_list.size()) m_list.refreshRow(row);
  return true;
}

void DefinitionManager::sortBySequence() {
  if (m_state.prefs.SortCol != -8) m_state.prefs.SortCol = 8;
  m_list.sort(m_state.prefs.SortCol);
}

void DefinitionManager::StartSoonerClick() {
  const auto row = selectedRow();
  StartDefinition* def = selectedDefinition();
  if (!def || def->Sequence <= 0) return;
  --def->Sequence;
  def->Changed = true;
  m_list.refreshRow(*row);
  sortBySequence();
}

void DefinitionManager::StartLaterClick() {
  const auto row = selectedRow();
  StartDefinition* def = selectedDefinition();
  if (!def || def->Sequence == INT32_MAX) return;
  ++def->Sequence;
  def->Changed = true;
  m_list.refreshRow(*row);
  sortBySequence();
}

void DefinitionManager::headerClick(std::size_t column) {
  m_state.prefs.SortCol = ProgramList::headerClick(m_state.prefs.SortCol, column);
  m_list.sort(m_state.prefs.SortCol);
}

void DefinitionManager::ApplyGlobalDisplay() {
  if (m_state.prefs.Global) {
    while (!m_state.hidden.empty()) {
      DefinitionPtr def = m_state.hidden.back();
      m_state.hidden.pop_back();
      m_list.AddRow(def);
    }
    return;
  }
  for (std::size_t i = m_list.size(); i-- > 0;) {
    const auto& def = m_list.row(i).def;
    if (!def || !def->OtherScope) continue;
    if (m_selected == def.get()) m_selected = nullptr;
    DefinitionPtr hidden = m_list.removeRow(i);
    hidden->IconSource.clear();
    m_state.hidden.push_back(hidden);
  }
}

void DefinitionManager::ScopeClick() {
  if (!ConfirmSave()) return;
  while (!m_state.hidden.empty()) {
    DefinitionPtr def = m_state.hidden.back();
    m_state.hidden.pop_back();
    m_list.AddRow(def);
  }
  for (std::size_t i = 0; i < m_list.size(); ++i)
    if (const auto& def = m_list.row(i).def) def->OtherScope = !def->OtherScope;
  ApplyGlobalDisplay();
  m_state.run.GlobalEdit = !m_state.run.GlobalEdit;
  m_list.setGlobalEdit(m_state.run.GlobalEdit);
  m_list.refreshStateImages();
  m_scopeItems = {!m_scopeItems.local, !m_scopeItems.global};
}

void DefinitionManager::SaveClick() {
  {
    ModalScope modal(m_modal);
    const auto order = m_list.definitions();
    const SaveResult result = saveDefinitions(m_state, m_registry, m_prompts, order);
    showKeptVersions(result.kept);
  }
  showStoredDefinitions();
}

bool DefinitionManager::ConfirmSave() {
  ModalScope modal(m_modal);
  const auto order = m_list.definitions();
  std::vector<SaveConflict> kept;
  const bool proceed = kip::ConfirmSave(m_state, m_registry, m_prompts, order, kept);
  showKeptVersions(kept);
  return proceed;
}

void DefinitionManager::retire(const DefinitionPtr& def) {
  if (const auto row = m_list.rowOf(def.get()); row < m_list.size()) {
    if (m_selected == def.get()) m_selected = nullptr;
    m_list.removeRow(row);
  }
  std::erase(m_state.hidden, def);
  std::erase(m_state.definitions, def);
  m_retired.push_back(def);
}

void DefinitionManager::showKeptVersions(const std::vector<SaveConflict>& kept) {
  DefinitionStore store(m_registry);
  for (const auto& conflict : kept) {
    const DefinitionPtr& def = conflict.def;
    const Hive hive = def->StoredHive.value_or(m_state.editScope());
    const DefinitionPtr stored =
        isStorableName(def->StoredName) ? store.readStored(hive, def->StoredName) : DefinitionPtr();
    if (conflict.deleted) {
      // The other program's version stays, so the definition is no longer deleted.
      std::erase(m_state.deleted, def);
      if (!stored) continue;
      DefinitionStore::takeStoredValues(*def, *stored);
      m_form.LoadDefinition(*def);
      m_form.StoreDefinition(*def);
      def->Changed = false;
      def->RunStateChanged = false;
      m_list.AddRow(def);
      continue;
    }
    if (!stored) {
      // Removed by the other program, or never stored: the window's version leaves the list, and Undelete
      // still brings it back.
      retire(def);
      std::erase(m_retired, def);
      def->StoredName.clear();
      def->StoredHive.reset();
      def->Loaded.reset();
      def->IconSource.clear();
      m_state.definitions.push_back(def);
      m_state.deleted.push_back(def);
      continue;
    }
    DefinitionStore::takeStoredValues(*def, *stored);
    m_form.LoadDefinition(*def);
    m_form.StoreDefinition(*def);
    def->Changed = false;
    def->RunStateChanged = false;
    if (const auto row = m_list.rowOf(def.get()); row < m_list.size()) m_list.refreshRow(row);
  }
}

void DefinitionManager::showStoredDefinitions() {
  if (!m_state.run.WindowOpened || m_modal > 0) return;
  DefinitionStore store(m_registry);
  bool shown = false;
  for (const Hive hive : {m_state.editScope(), m_state.otherScope()}) {
    std::vector<DefinitionPtr> stored;
    store.load(hive, hive != m_state.editScope(), stored);
    std::unordered_map<std::string, DefinitionPtr> byName;
    for (const auto& def : stored) byName.emplace(foldName(def->StoredName), def);
    const auto inHive = [hive](const StartDefinition& def) {
      return !def.StoredName.empty() && def.StoredHive == hive;
    };
    std::unordered_set<std::string> known;
    for (const auto& def : m_state.deleted)
      if (def && inHive(*def)) known.insert(foldName(def->StoredName));
    const std::vector<DefinitionPtr> loaded = m_state.definitions;
    for (const auto& def : loaded) {
      if (!def || !inHive(*def)) continue;
      const std::string folded = foldName(def->StoredName);
      if (known.contains(folded)) continue;  // deleted in the window
      known.insert(folded);
      // The window's own changes, and definitions the start queue works on, wait for the save.
      if (def->Changed || def->RunStateChanged || def->Process || def->Countdown != 0) continue;
      const auto found = byName.find(folded);
      if (found == byName.end()) {
        retire(def);
        continue;
      }
      if (def->Loaded && DefinitionStore::sameStoredValues(*found->second, *def->Loaded)) continue;
      const std::string name = def->Name;
      DefinitionStore::takeStoredValues(*def, *found->second);
      def->Name = name;
      m_form.LoadDefinition(*def);
      m_form.StoreDefinition(*def);
      def->Changed = false;
      if (const auto row = m_list.rowOf(def.get()); row < m_list.size()) shown = m_list.refreshRow(row) || shown;
    }
    for (const auto& def : stored) {
      // A name a row already shows is left to the save, which asks about it.
      if (known.contains(foldName(def->StoredName)) || m_list.findItem(def->Name)) continue;
      m_form.LoadDefinition(*def);
      m_form.StoreDefinition(*def);
      def->Changed = false;
      if (!def->OtherScope || m_state.prefs.Global) {
        m_list.AddRow(def);
        shown = true;
      } else {
        m_state.hidden.push_back(def);
      }
      m_state.definitions.push_back(def);
    }
  }
  if (shown && m_state.prefs.SortCol != 0) m_list.sort(m_state.prefs.SortCol);
}

CloseOutcome DefinitionManager::FormCloseQuery(bool trayIconActive, bool trayAvailable) {
  if (m_state.run.WindowOpened && trayIconActive) {
    if (m_state.run.StartupCountdown > 0) return CloseOutcome::ToTaskbarWindow;
    return trayAvailable ? CloseOutcome::Hide : CloseOutcome::Minimize;
  }
  return ConfirmSave() ? CloseOutcome::Close : CloseOutcome::Stay;
}

bool DefinitionManager::TrayExitQuery() { return !m_state.run.WindowOpened || ConfirmSave(); }

void DefinitionManager::AdvancedClick() {
  ModalScope modal(m_modal);
  if (m_host.showOptionsDialog()) ApplyGlobalDisplay();
}

bool DefinitionManager::acceptsDrag(std::span<const DroppedUrl> urls, bool copyOffered) const {
  return copyOffered && !droppedFiles(urls).empty();
}

std::vector<std::string> DefinitionManager::droppedFiles(std::span<const DroppedUrl> urls) const {
  std::vector<std::string> files;
  if (!m_state.run.WindowOpened) return files;
  for (const DroppedUrl& url : urls)
    if (url.localFile) files.push_back(url.path);
  return files;
}

void DefinitionManager::DropFiles(const std::vector<std::string>& paths) {
  for (const auto& path : paths) {
    auto def = std::make_shared<StartDefinition>();
    if (isDesktopEntryPath(path)) ResolveShortcut(*def, path);
    fillFromDroppedPath(*def, path);
    m_form.LoadDefinition(*def);
    m_form.StoreDefinition(*def);
    def->Changed = true;
    m_list.AddRow(def);
    m_state.definitions.push_back(def);
  }
}

void DefinitionManager::ExportClick() {
  ModalScope modal(m_modal);
  FileDialogOptions options{std::string(kExportTitle), std::string(kExportFilter), "txt",
                            std::string(kExchangeFileName)};
  const auto path = m_prompts.saveFileName(options);
  if (!path) return;
  const ExportResult result = exportExchangeFile(*path, m_state.prefs, m_list);
  if (!result.written && !result.message.empty()) m_prompts.message(result.message, MessageIcon::Error);
}

void DefinitionManager::ImportClick() {
  ModalScope modal(m_modal);
  FileDialogOptions options{std::string(kImportTitle), std::string(kImportFilter), "txt", m_lastImport};
  const auto path = m_prompts.openFileName(options);
  if (!path) return;
  m_lastImport = *path;
  const std::size_t before = m_list.size();
  ExchangeReader reader(m_list, m_state.prefs, m_prompts);
  const ImportResult result = reader.importFile(*path);
  // New rows are definitions of the edit scope from now on.
  for (std::size_t i = before; i < m_list.size(); ++i)
    if (const auto& def = m_list.row(i).def) m_state.definitions.push_back(def);
  if (!result.message.empty()) m_prompts.message(result.message, MessageIcon::Error);
}

void DefinitionManager::refreshAllRows() {
  for (std::size_t i = 0; i < m_list.size(); ++i) m_list.refreshRow(i);
}

void DefinitionManager::RunButtonClick() {
  m_queue.RunButtonClick();
  refreshAllRows();
}

void DefinitionManager::RunPopClick(int tag) {
  StartDefinition* def = selectedDefinition();
  if (!def) return;
  m_queue.RunPopClick(def, tag);
  if (const auto row = m_list.rowOf(def); row < m_list.size()) m_list.refreshRow(row);
}

void DefinitionManager::CancelPopClick() {
  StartDefinition* def = selectedDefinition();
  if (!def) return;
  m_queue.CancelPopClick(def);
  if (const auto row = m_list.rowOf(def); row < m_list.size()) m_list.refreshRow(row);
}

void fillFromDroppedPath(StartDefinition& def, const std::string& path) {
  const bool drivePath = path.size() > 1 && path[1] == ':';
  if (def.Module.empty()) def.Module = path;
  if (def.Name.empty()) {
    const std::size_t slash = path.find_last_of(drivePath ? "\\" : "/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot != 0) name.erase(dot);
    def.Name = name;
  }
  if (def.StartDirectory.empty()) {
    std::string dir = def.Module;
    const std::size_t cut = dir.find_last_of(drivePath ? ":\\" : "/");
    if (cut != std::string::npos && cut != 0)
      dir.erase(cut);
    else if (cut == 0 && !drivePath)
      dir = "/";  // a program in the root folder starts there
    def.StartDirectory = dir;
  }
}

bool ResolveShortcut(StartDefinition& def, const std::string& path) {
  const DesktopEntry entry = readDesktopEntryFile(path);
  std::string error;
  const auto made = definitionFromDesktopEntry(entry, def.Name, error, terminalCommand(programInPath));
  if (!made) return false;
  def.Module = made->Module;
  def.Parms = made->Parms;
  def.Name = made->Name;
  if (!made->StartDirectory.empty()) def.StartDirectory = made->StartDirectory;
  def.Window = 0;
  return true;
}

}  // namespace kip
