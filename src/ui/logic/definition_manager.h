#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "conditions/condition_tester.h"
#include "engine/start_queue.h"
#include "model/definition_store.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "ui/logic/list_commands.h"
#include "ui/logic/manager_host.h"
#include "ui/logic/program_list.h"

namespace kip {

// The services the definition manager works with.
struct ManagerServices {
  AppState& state;
  Registry& registry;
  Prompts& prompts;
  ConditionTester& tester;
  StartQueue& queue;
  DefinitionForm& form;
  ManagerHost& host;
};

// What closing the main window comes to.
enum class CloseOutcome {
  Close,
  Stay,             // "Save changes ?" was cancelled
  Hide,             // out of sight while the start queue works; its notification icon brings the window back
  Minimize,         // the same without a notification area, where a hidden window would be lost
  ToTaskbarWindow,  // hidden while the start-up delay counts down in the taskbar window
};

// A URL dragged onto the list, as the toolkit reports it.
struct DroppedUrl {
  bool localFile = false;  // it names a file or folder of this machine
  std::string path;        // the local path of such a URL
};

// The definition manager's commands on the list, the deleted list and the hidden list, without a toolkit.
// Commands on the selected row do nothing without a selection or a definition.
class DefinitionManager {
 public:
  DefinitionManager(const ManagerServices& services, const TextCollator& collator);

  ProgramList& list() { return m_list; }
  [[nodiscard]] const ProgramList& list() const { return m_list; }

  // The focused row when it is selected; nullopt for none.
  // The selection follows its definition when rows move.
  void setSelectedRow(std::optional<std::size_t> row);
  [[nodiscard]] std::optional<std::size_t> selectedRow() const;
  [[nodiscard]] SelectionCommands selectionCommands() const;
  [[nodiscard]] PopupState popupState() const;
  [[nodiscard]] bool undeleteEnabled() const { return !m_state.deleted.empty(); }
  [[nodiscard]] ScopeItems scopeItems() const { return m_scopeItems; }

  // The first showing: every shown definition through the dialog's load and store into the list, the
  // others into the hidden list, nothing left unsaved, the sort and the scope items. Later activations show
  // what the hives hold now (showStoredDefinitions).
  void FormActivate();
  // Rows the window has not changed take what their subkeys hold now: changed values are shown, removed
  // definitions leave the list and definitions another program added join it. Not while a dialog or a
  // question of the manager is open.
  void showStoredDefinitions();

  void EditNewClick();
  void EditCopyClick();
  void EditDeleteClick();
  void EditUndeleteClick();
  void RenameClick();
  void PropertiesClick();
  void DisableClick();
  void TestClick();
  void StartSoonerClick();
  void StartLaterClick();
  // "&Global" / "&Local": switches the edit scope after ConfirmSave.
  void ScopeClick();
  void ApplyGlobalDisplay();
  void SaveClick();
  // "Save changes ?": false to stop what asked.
  bool ConfirmSave();
  // The main window's close. trayIconActive: the start queue has work and shows its notification icon;
  // trayAvailable: the desktop has a notification area.
  CloseOutcome FormCloseQuery(bool trayIconActive, bool trayAvailable);
  // "E&xit" of the notification icon's menu: "Save changes ?" once the list has been shown; false to stay.
  bool TrayExitQuery();
  // Whether the list takes urls dragged over it: once the window has opened, as a copy only (a move would
  // let the source delete the file), and when a local file is among them.
  [[nodiscard]] bool acceptsDrag(std::span<const DroppedUrl> urls, bool copyOffered) const;
  // The local files among dropped urls, in order, which DropFiles makes definitions of; none before the
  // window has opened.
  [[nodiscard]] std::vector<std::string> droppedFiles(std::span<const DroppedUrl> urls) const;
  void DropFiles(const std::vector<std::string>& paths);
  void ExportClick();
  void ImportClick();
  void HelpClick() { m_host.openHelpTopic(kHelpContentsTopic); }
  void AboutClick() {
    ModalScope modal(m_modal);
    m_host.showAboutBox();
  }
  void AdvancedClick();
  void RunButtonClick();
  void RunPopClick(int tag);
  void CancelPopClick();
  // A click on the header of column.
  void headerClick(std::size_t column);
  // An in-place edit of a row's caption; false when refused (after a beep).
  bool renameRow(std::size_t row, const std::string& caption);
  // The dialog on its Status page for a definition whose start failed; true on OK.
  bool showStatusPage(StartDefinition& def);

  static constexpr int kHelpContentsTopic = 4;

 private:
  [[nodiscard]] StartDefinition* selectedDefinition() const;
  void sortBySequence();
  void refreshAllRows();
  // Shows the stored versions the user chose to keep when a save met another program's changes.
  void showKeptVersions(const std::vector<SaveConflict>& kept);
  // Takes def out of the list or the hidden list and out of the loaded definitions.
  void retire(const DefinitionPtr& def);
  // Counts the dialogs and questions open, during which the lists must not change under them.
  class ModalScope {
   public:
    explicit ModalScope(int& depth) : m_depth(depth) { ++m_depth; }
    ~ModalScope() { --m_depth; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

   private:
    int& m_depth;
  };

  AppState& m_state;
  Registry& m_registry;
  Prompts& m_prompts;
  ConditionTester& m_tester;
  StartQueue& m_queue;
  DefinitionForm& m_form;
  ManagerHost& m_host;
  ProgramList m_list;
  const StartDefinition* m_selected = nullptr;
  ScopeItems m_scopeItems;
  std::string m_lastImport;
  int m_modal = 0;
  // Definitions taken out of the lists while the start queue may still point at them.
  std::vector<DefinitionPtr> m_retired;
};

// Fills a definition made for a dropped file from its path: program, name and start folder where
// still empty. A path whose second character is ":" keeps "\" and ":" as separators, others use "/".
void fillFromDroppedPath(StartDefinition& def, const std::string& path);

// Fills def from the desktop entry at path; false when it cannot be read or is no usable entry.
bool ResolveShortcut(StartDefinition& def, const std::string& path);

inline constexpr std::string_view kExportTitle = "Export Kip Launch Definitions";
inline constexpr std::string_view kImportTitle = "Import Kip Launch Definitions";
inline constexpr std::string_view kExchangeFileName = "Kip Launch Definitions";
inline constexpr std::string_view kExportFilter = "Text|*.txt";
inline constexpr std::string_view kImportFilter = "Text|*.txt|All Files|*";

}  // namespace kip
