#include "ui/logic/definition_manager.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "doubles/fake_condition_tester.h"
#include "doubles/fake_launcher.h"
#include "doubles/fake_queue_host.h"
#include "doubles/fixed_clock.h"
#include "doubles/memory_registry.h"
#include "doubles/scripted_prompts.h"
#include "exchange/desktop_entry.h"
#include "model/definition_store.h"
#include "model/registry_layout.h"

namespace kip::test {
namespace {

// The dialog's load and store: a copy of the loaded definition that the "user" may edit while it shows.
class FakeForm final : public DefinitionForm {
 public:
  void LoadDefinition(const StartDefinition& def) override {
    held = def;
    loadedOtherScope.push_back(def.OtherScope);
  }
  void StoreDefinition(StartDefinition& def) override {
    const bool edited = pendingEdit != nullptr;
    if (pendingEdit) pendingEdit(held);
    pendingEdit = nullptr;
    def.Name = held.Name;
    def.Module = held.Module;
    def.Sequence = held.Sequence;
    def.Executed = held.Executed;
    def.StateSummary = "S:" + held.Module;
    if (edited) def.Changed = true;
  }
  StartDefinition held;
  std::vector<bool> loadedOtherScope;
  std::function<void(StartDefinition&)> pendingEdit;
};

class ScriptedHost final : public ManagerHost {
 public:
  bool showDefinitionDialog(DialogPage page) override {
    pages.push_back(page);
    const bool ok = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return ok;
  }
  bool showOptionsDialog() override { return true; }
  void showAboutBox() override {}
  void openHelpTopic(int topic) override { topics.push_back(topic); }
  void beep() override { ++beeps; }
  void startRename(std::size_t row) override { renames.push_back(row); }
  std::deque<bool> answers;
  std::vector<DialogPage> pages;
  std::vector<int> topics;
  std::vector<std::size_t> renames;
  int beeps = 0;
};

class DefinitionManagerTest : public ::testing::Test {
 protected:
  void store(Hive hive, const std::string& name, int sequence = 0) {
    const auto path = std::string(kStartListKey) + "\\" + name;
    registry.setText(hive, path, "Module", "/usr/bin/" + name);
    registry.setDword(hive, path, "Sequence", sequence);
  }
  // Loads both scopes as the start-up does and shows the window for the first time.
  void open() {
    state.savedPrefs = state.prefs;
    DefinitionStore(registry).load(state.editScope(), false, state.definitions);
    DefinitionStore(registry).load(state.otherScope(), true, state.definitions);
    manager.FormActivate();
  }
  std::vector<std::string> captions() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < manager.list().size(); ++i) out.push_back(manager.list().row(i).caption);
    return out;
  }
  void select(const std::string& caption) {
    for (std::size_t i = 0; i < manager.list().size(); ++i)
      if (manager.list().row(i).caption == caption) manager.setSelectedRow(i);
  }
  StartDefinition& selected() { return *manager.list().row(*manager.selectedRow()).def; }

  MemoryRegistry registry;
  ScriptedPrompts prompts;
  AppState state;
  FakeConditionTester tester;
  FakeQueueHost queueHost;
  FakeLauncher processes;
  FixedClock clock;
  Launcher launcher{processes, clock, registry, queueHost};
  StartQueue queue{state.prefs.StartupDelay, state.run, queueHost, tester, launcher};
  FakeForm form;
  ScriptedHost host;
  ByteCollator bytes;
  DefinitionManager manager{{state, registry, prompts, tester, queue, form, host}, bytes};
};

TEST_F(DefinitionManagerTest, FirstShowingBuildsTheListAndEditsStayInMemoryUntilSaved) {
  store(Hive::CurrentUser, "Editor", 2);
  store(Hive::CurrentUser, "Backup", 1);
  store(Hive::LocalMachine, "Clock");
  state.prefs.SortCol = 8;
  open();
  EXPECT_EQ(captions(), (std::vector<std::string>{"Backup", "Editor"}));
  EXPECT_EQ(manager.list().row(0).text(3), "S:/usr/bin/Backup");
  ASSERT_EQ(state.hidden.size(), 1u);
  EXPECT_FALSE(manager.selectionCommands().available);
  EXPECT_TRUE(manager.scopeItems().global);
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_TRUE(manager.ConfirmSave());  // the pass itself leaves nothing unsaved

  // New: Cancel adds nothing; OK adds the stored definition at the end, unsorted.
  host.answers = {false, true};
  manager.EditNewClick();
  form.pendingEdit = [](StartDefinition& d) { d.Name = "Backup", d.Module = "/opt/b"; };
  manager.EditNewClick();
  EXPECT_EQ(captions(), (std::vector<std::string>{"Backup", "Editor", "Backup(2)"}));

  // Start Later sorts by "Seq"; Start Sooner at 0 does nothing.
  select("Backup(2)");
  manager.StartSoonerClick();
  EXPECT_EQ(selected().Sequence, 0);
  select("Backup");
  manager.StartLaterClick();
  manager.StartLaterClick();
  EXPECT_EQ(captions(), (std::vector<std::string>{"Backup(2)", "Editor", "Backup"}));
  manager.headerClick(7);  // now descending by "Seq", which Start Sooner keeps
  select("Backup(2)");
  manager.StartLaterClick();
  EXPECT_EQ(state.prefs.SortCol, -8);

  // Rename: a clash beeps; Disable flips the state image.
  select("Editor");
  EXPECT_FALSE(manager.renameRow(*manager.selectedRow(), "backup"));
  EXPECT_EQ(host.beeps, 1);
  manager.DisableClick();
  EXPECT_EQ(manager.list().row(*manager.selectedRow()).stateIndex, kStateDisabled);
  EXPECT_FALSE(manager.popupState().disableVisible);

  // Three deletions come back in reverse order, then Undelete is disabled.
  for (const char* name : {"Editor", "Backup", "Backup(2)"}) {
    select(name);
    manager.EditDeleteClick();
  }
  EXPECT_EQ(manager.list().size(), 0u);
  for (int i = 0; i < 3; ++i) manager.EditUndeleteClick();
  EXPECT_EQ(captions(), (std::vector<std::string>{"Backup(2)", "Backup", "Editor"}));
  EXPECT_FALSE(manager.undeleteEnabled());

  prompts.queue({Answer::Yes});
  EXPECT_TRUE(manager.ConfirmSave());
  // Undeleted after the save removed its subkey, a definition is written again.
  select("Backup(2)");
  manager.EditDeleteClick();
  manager.SaveClick();
  manager.EditUndeleteClick();
  EXPECT_TRUE(manager.list().row(2).def->Changed);
  manager.SaveClick();
  state.definitions.clear();
  DefinitionStore(registry).load(Hive::CurrentUser, false, state.definitions);
  ASSERT_EQ(state.definitions.size(), 3u);
  for (const auto& def : state.definitions)
    if (def->Name == "Editor") {
      EXPECT_TRUE(def->Disable);
    }
}

TEST_F(DefinitionManagerTest, CopyOfAMachineDefinitionAndTheScopeSwitch) {
  store(Hive::CurrentUser, "Editor");
  store(Hive::LocalMachine, "Clock", 4);
  state.prefs.Global = true;
  open();
  select("Clock");
  EXPECT_FALSE(manager.selectionCommands().deletable);
  EXPECT_FALSE(manager.popupState().renameEnabled);
  manager.RenameClick();
  EXPECT_TRUE(host.renames.empty());
  host.answers = {true};
  manager.EditCopyClick();
  EXPECT_EQ(form.loadedOtherScope.back(), false);  // the dialog opens editable
  EXPECT_TRUE(selected().OtherScope);              // and the source is restored
  const auto& copy = *manager.list().row(2).def;
  EXPECT_EQ(copy.Name, "Clock(2)");
  EXPECT_EQ(copy.Sequence, 4);
  EXPECT_FALSE(copy.OtherScope);
  EXPECT_EQ(manager.list().row(2).stateIndex, kStateEnabled);

  // Cancel at "Save changes ?" leaves everything; No switches with the edits kept in memory.
  prompts.queue({Answer::Cancel, Answer::No});
  manager.ScopeClick();
  EXPECT_FALSE(state.run.GlobalEdit);
  manager.ScopeClick();
  EXPECT_TRUE(state.run.GlobalEdit);
  EXPECT_TRUE(manager.scopeItems().local);
  EXPECT_FALSE(manager.scopeItems().global);
  EXPECT_EQ(manager.list().row(0).stateIndex, kStateUser);  // Editor is the other scope now
  EXPECT_EQ(manager.list().row(1).stateIndex, kStateEnabled);
}

TEST_F(DefinitionManagerTest, DroppedFilesAndDesktopEntriesBecomeDefinitions) {
  open();
  const auto dir = std::filesystem::temp_directory_path() / ("kip-drop-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto entry = (dir / "editor.desktop").string();
  std::ofstream(entry) << "[Desktop Action x]\nExec=wrong\n[Desktop Entry]\nName=Text Editor\n"
                          "Exec=\"/opt/my editor/ed\" --new-window %U \"a\\\\\"b\" 100%%\nPath=/srv\n";
  const auto noEntry = (dir / "broken.desktop").string();
  std::ofstream(noEntry) << "Exec=/bin/true\n";
  manager.DropFiles({"/opt/tools/editor.sh", "C:\\Tools\\Editor.exe", "/.profile", entry, noEntry});
  std::filesystem::remove_all(dir);
  ASSERT_EQ(manager.list().size(), 5u);
  const auto& sh = *manager.list().row(0).def;
  EXPECT_EQ(sh.Name, "editor");
  EXPECT_EQ(sh.StartDirectory, "/opt/tools");
  EXPECT_TRUE(sh.Changed);
  EXPECT_EQ(manager.list().row(1).def->Name, "Editor(2)");
  EXPECT_EQ(manager.list().row(1).def->StartDirectory, "C:\\Tools");
  EXPECT_EQ(manager.list().row(2).def->Name, ".profile");
  EXPECT_EQ(manager.list().row(2).def->StartDirectory, "/");
  const auto& desktop = *manager.list().row(3).def;
  EXPECT_EQ(desktop.Name, "Text Editor");
  EXPECT_EQ(desktop.Module, "\"/opt/my editor/ed\"");
  EXPECT_EQ(desktop.Parms, "--new-window \"a\\\"b\" 100%");
  EXPECT_EQ(desktop.StartDirectory, "/srv");
  EXPECT_EQ(manager.list().row(4).def->Name, "broken");  // the drop's defaults fill in
  EXPECT_EQ(manager.list().row(4).def->Module, noEntry);
}

TEST_F(DefinitionManagerTest, ExportAndImportWorkOnTheListInMemory) {
  store(Hive::CurrentUser, "Editor");
  open();
  const auto path = (std::filesystem::temp_directory_path() / ("kip-x-" + std::to_string(::getpid()))).string();
  prompts.saveNames = {path};
  manager.ExportClick();
  EXPECT_EQ(prompts.saveDialogs.at(0).title, "Export Kip Launch Definitions");
  EXPECT_EQ(prompts.saveDialogs.at(0).fileName, "Kip Launch Definitions");
  std::ofstream(path, std::ios::app) << "[New one]\nModule=/bin/new\n\n";
  prompts.openNames = {path, std::nullopt};
  prompts.queue({Answer::Yes});
  manager.ImportClick();
  std::remove(path.c_str());
  EXPECT_EQ(captions(), (std::vector<std::string>{"Editor", "New one"}));
  EXPECT_TRUE(manager.list().row(0).def->Changed);
  EXPECT_EQ(prompts.questions.at(0), "Definition for \"Editor\" already exists. Overwrite ?");
  manager.ImportClick();  // the dialog offers the file of its last use
  EXPECT_EQ(prompts.openDialogs.at(1).fileName, path);
  EXPECT_EQ(prompts.openDialogs.at(1).filter, "Text|*.txt|All Files|*");
}

// The main window's close by whether it has opened, what the start queue does, whether something is unsaved
// and the answer to "Save changes ?" (none: no question may come).
struct CloseCase {
  const char* name;
  bool opened;
  bool trayIconActive;
  std::int32_t countdown;
  bool trayAvailable;
  bool unsaved;
  std::optional<Answer> answer;
  CloseOutcome outcome;
};
void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class CloseQueryTest : public DefinitionManagerTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseQueryTest, OutcomeQuestionAndSavedPreferences) {
  const CloseCase& c = GetParam();
  if (c.opened) open();
  state.run.StartupCountdown = c.countdown;
  if (c.unsaved) state.prefs.StartupDelay = 20;
  if (c.answer) prompts.queue({*c.answer});
  EXPECT_EQ(manager.FormCloseQuery(c.trayIconActive, c.trayAvailable), c.outcome);
  EXPECT_EQ(prompts.questions.size(), c.answer ? 1u : 0u);
  // Yes takes the running preferences as saved, No goes back to the saved ones, Cancel leaves both.
  EXPECT_EQ(state.prefs.StartupDelay, c.unsaved && c.answer != Answer::No ? 20 : 0);
  EXPECT_EQ(state.savedPrefs.StartupDelay, c.answer == Answer::Yes ? 20 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CloseQueryTest,
    ::testing::Values(
        CloseCase{"QueueAtWorkHidesWithoutAsking", true, true, 0, true, true, std::nullopt, CloseOutcome::Hide},
        CloseCase{"NoNotificationAreaMinimizes", true, true, 0, false, true, std::nullopt, CloseOutcome::Minimize},
        CloseCase{"DelayCountingDownLeavesTheTaskbarWindow", true, true, 3, true, true, std::nullopt,
                  CloseOutcome::ToTaskbarWindow},
        CloseCase{"NeverOpenedClosesWhileTheQueueWorks", false, true, 0, true, false, std::nullopt,
                  CloseOutcome::Close},
        CloseCase{"NothingUnsavedCloses", true, false, 0, true, false, std::nullopt, CloseOutcome::Close},
        CloseCase{"YesSavesAndCloses", true, false, 0, true, true, Answer::Yes, CloseOutcome::Close},
        CloseCase{"NoClosesWithoutSaving", true, false, 0, true, true, Answer::No, CloseOutcome::Close},
        CloseCase{"CancelStays", true, false, 0, true, true, Answer::Cancel, CloseOutcome::Stay}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DefinitionManagerTest, ExitFromTheNotificationIconAsksOnlyOnceTheWindowHasOpened) {
  open();
  state.run.WindowOpened = false;
  state.prefs.StartupDelay = 20;
  EXPECT_TRUE(manager.TrayExitQuery());
  EXPECT_TRUE(prompts.questions.empty());
  state.run.WindowOpened = true;
  prompts.queue({Answer::Cancel, Answer::No});
  EXPECT_FALSE(manager.TrayExitQuery());
  EXPECT_TRUE(manager.TrayExitQuery());
  EXPECT_EQ(prompts.questions.size(), 2u);
}

// What the list takes of a drag: whether it accepts it, and the files a drop of it makes definitions of.
struct DragCase {
  const char* name;
  bool opened;
  bool copyOffered;
  std::vector<DroppedUrl> urls;
  bool accepted;
  std::vector<std::string> files;
};
void PrintTo(const DragCase& c, std::ostream* os) { *os << c.name; }

class DragTest : public DefinitionManagerTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(DragTest, AcceptanceAndDroppedFiles) {
  const DragCase& c = GetParam();
  if (c.opened) open();
  EXPECT_EQ(manager.acceptsDrag(c.urls, c.copyOffered), c.accepted);
  EXPECT_EQ(manager.droppedFiles(c.urls), c.files);
}

const DroppedUrl kWebPage{false, ""};

INSTANTIATE_TEST_SUITE_P(
    Cases, DragTest,
    ::testing::Values(
        DragCase{"ProgramFile", true, true, {{true, "/opt/tools/editor.sh"}}, true, {"/opt/tools/editor.sh"}},
        DragCase{"DesktopEntry",
                 true,
                 true,
                 {{true, "/usr/share/applications/ed.desktop"}},
                 true,
                 {"/usr/share/applications/ed.desktop"}},
        DragCase{"Folder", true, true, {{true, "/srv/projects"}}, true, {"/srv/projects"}},
        DragCase{"WebAddressOnly", true, true, {kWebPage}, false, {}},
        DragCase{"WebAddressBesideFiles",
                 true,
                 true,
                 {kWebPage, {true, "/bin/a"}, {true, "/bin/b"}},
                 true,
                 {"/bin/a", "/bin/b"}},
        // The toolkit delivers a drop only after an accepted drag.
        DragCase{"MoveOnlyIsRefused", true, false, {{true, "/bin/a"}}, false, {"/bin/a"}},
        DragCase{"BeforeTheWindowOpened", false, true, {{true, "/bin/a"}}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// What another program does to a definition the window holds an unsaved change of, the answer given, and
// the module the hive holds and the row shows afterwards ("-": none; the row's version then waits in Undelete).
enum class Other { Changed, Removed, TookTheNewName, ChangedTheDeleted };
struct ConflictCase {
  const char* name;
  Other other;
  Answer answer;
  const char* stored;
  const char* row;
};
void PrintTo(const ConflictCase& c, std::ostream* os) { *os << c.name; }
class SaveConflictTest : public DefinitionManagerTest, public ::testing::WithParamInterface<ConflictCase> {};

TEST_P(SaveConflictTest, AsksBeforeItWritesOverAnotherProgramsVersion) {
  const ConflictCase& c = GetParam();
  const std::string name = c.other == Other::TookTheNewName ? "Beta" : "Alpha", key = std::string(kStartListKey) + "\\";
  store(Hive::CurrentUser, "Alpha");
  store(Hive::CurrentUser, "Quiet");
  open();
  select("Alpha");
  if (c.other == Other::ChangedTheDeleted) {
    manager.EditDeleteClick();
  } else {
    form.pendingEdit = [&](StartDefinition& d) { d.Name = name, d.Module = "/usr/bin/mine"; };
    host.answers = {true};
    c.other == Other::TookTheNewName ? manager.EditNewClick() : manager.PropertiesClick();
  }
  // Meanwhile another program writes the hive, also a definition the window left alone.
  registry.setText(Hive::CurrentUser, key + "Quiet", "Module", "/opt/quiet");
  if (c.other == Other::Removed)
    registry.deleteTree(Hive::CurrentUser, key + "Alpha");
  else
    registry.setText(Hive::CurrentUser, key + name, "Module", "/opt/other");
  registry.clearWriteLog();
  prompts.queue({c.answer});
  manager.SaveClick();
  EXPECT_EQ(prompts.questions, std::vector{name + " was changed by another program since it was loaded. Replace "
                                                  "it with your version?"});
  const auto stored = DefinitionStore(registry).readStored(Hive::CurrentUser, name);
  EXPECT_EQ(stored ? stored->Module : "-", c.stored);
  const auto row = manager.list().findItem(name);
  EXPECT_EQ(row ? manager.list().row(*row).def->Module : "-", c.row);
  for (const auto& write : registry.writeLog()) EXPECT_EQ(write.path.find("Quiet"), std::string::npos);
  EXPECT_EQ(manager.list().row(*manager.list().findItem("Quiet")).def->Module, "/opt/quiet");
  EXPECT_EQ(manager.ConfirmSave(), c.answer != Answer::Cancel);  // nothing unsaved is left, or asked again
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveConflictTest,
    ::testing::Values(ConflictCase{"ChangedYes", Other::Changed, Answer::Yes, "/usr/bin/mine", "/usr/bin/mine"},
                      ConflictCase{"ChangedNo", Other::Changed, Answer::No, "/opt/other", "/opt/other"},
                      ConflictCase{"ChangedCancel", Other::Changed, Answer::Cancel, "/opt/other", "/usr/bin/mine"},
                      ConflictCase{"RemovedYes", Other::Removed, Answer::Yes, "/usr/bin/mine", "/usr/bin/mine"},
                      ConflictCase{"RemovedNo", Other::Removed, Answer::No, "-", "-"},
                      ConflictCase{"NameTakenYes", Other::TookTheNewName, Answer::Yes, "/usr/bin/mine",
                                   "/usr/bin/mine"},
                      ConflictCase{"NameTakenNo", Other::TookTheNewName, Answer::No, "/opt/other", "/opt/other"},
                      ConflictCase{"DeletedYes", Other::ChangedTheDeleted, Answer::Yes, "-", "-"},
                      ConflictCase{"DeletedNo", Other::ChangedTheDeleted, Answer::No, "/opt/other", "/opt/other"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kip::test
