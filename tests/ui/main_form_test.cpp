#include "ui/main_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QListView>
#include <QMimeData>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include "doubles/program_doubles.h"
#include "model/registry_layout.h"
#include "ui/application_window.h"
#include "ui/program_form.h"
#include "ui/program_list_model.h"

namespace kip::test {
namespace {

// Counts the times a window is shown.
struct ShowCounter : QObject {
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) ++count;
    return false;
  }
  int count = 0;
};

// A main window over doubles of every service, so that the binding of the start queue, the
// notification icon and the close can be driven tick by tick.
class MainFormTest : public ::testing::Test, protected ProgramDoubles {
 protected:
  std::unique_ptr<TMainForm> create(Switch sw = Switch::None) {
    return std::make_unique<TMainForm>(
        MainFormServices{registry, system, atom, prompts, clock, network, host, groups, launcher}, sw);
  }

  void addDefinition(Hive hive, const std::string& name, const std::string& module, int sequence = 0, int delay = 0) {
    const std::string path = std::string(kStartListKey) + "\\" + name;
    registry.setText(hive, path, "Module", module);
    registry.setDword(hive, path, "Sequence", sequence);
    registry.setDword(hive, path, "Delay", delay);
  }

  std::optional<std::int32_t> preference(std::string_view name) {
    std::unique_ptr<RegKey> key;
    if (registry.openKey(Hive::CurrentUser, kPreferencesKey, KeyAccess::Read, key) != 0) return std::nullopt;
    RegValue value;
    if (key->queryValue(name, 4, value) != 0 || value.data.size() != 4) return std::nullopt;
    return static_cast<std::int32_t>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                     (static_cast<std::uint32_t>(value.data[3]) << 24));
  }

  static std::string title(TMainForm& form) { return form.applicationWindow()->title().toStdString(); }
};

TEST_F(MainFormTest, InteractiveStartBuildsTheListAtTheFirstShowing) {
  addDefinition(Hive::CurrentUser, "Editor", "/usr/bin/editor", 3);
  addDefinition(Hive::LocalMachine, "Clock", "/usr/bin/clock");
  auto form = create();
  EXPECT_FALSE(form->autostartRun());
  EXPECT_EQ(form->listModel()->rowCount(), 0);
  form->show();
  ASSERT_TRUE(form->state().run.WindowOpened);
  // The machine-wide definition stays hidden while "Global" is off.
  ASSERT_EQ(form->listModel()->rowCount(), 1);
  auto text = [&](int column) { return form->listModel()->index(0, column).data().toString().toStdString(); };
  EXPECT_EQ(text(0), "Editor");
  EXPECT_EQ(text(1), "/usr/bin/editor");
  EXPECT_EQ(text(7), "3");
  // The desktop learns which entry the program belongs to; the windows carry the program's icon.
  EXPECT_EQ(QGuiApplication::desktopFileName(), KIP_APP_ID);
  EXPECT_FALSE(form->windowIcon().isNull());
  EXPECT_FALSE(form->trayIcon()->icon().isNull());
  ASSERT_EQ(form->state().hidden.size(), 1u);
  EXPECT_EQ(form->state().hidden.front()->Name, "Clock");
  EXPECT_TRUE(launcher.spawns.empty());
}

// The program's start: the engine loads and starts before the window exists, then the window takes it
// over with the process it holds for an after-action and the definition it queued.
TEST_F(MainFormTest, WindowTakesOverAnEngineStartedBeforeIt) {
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", 1);
  addDefinition(Hive::CurrentUser, "Held", "/bin/held");
  registry.setDword(Hive::CurrentUser, std::string(kStartListKey) + "\\Held", "Msg", 1);
  addDefinition(Hive::CurrentUser, "Later", "/bin/later", 2);
  RunEngine engine({registry, system, atom, clock, network, host, groups, launcher});
  engine.startUp(prompts, Switch::None);
  ASSERT_EQ(launcher.started(), std::vector<std::string>{"/bin/held"});
  auto form = std::make_unique<TMainForm>(
      MainFormServices{registry, system, atom, prompts, clock, network, host, groups, launcher}, engine);
  ASSERT_TRUE(form->autostartRun());
  EXPECT_TRUE(form->myTimer()->isActive());
  for (int tick = 0; tick < 5 && form->myTimer()->isActive(); ++tick) form->queue().tick();
  EXPECT_EQ(launcher.started(), (std::vector<std::string>{"/bin/held", "/bin/later"}));
  EXPECT_EQ(launcher.posts.size(), 1u) << "the after-action of the start made before the window";
  EXPECT_FALSE(form->myTimer()->isActive());
}

TEST_F(MainFormTest, SavedColumnWidthsApplyOnlyBetweenTenAndAThousand) {
  for (int col = 0; col < 8; ++col)
    registry.setDword(Hive::CurrentUser, kPreferencesKey, "Col-" + std::to_string(col), col == 1 ? 10 : 200 + col);
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Col-2", 999);
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Col-3", 11);
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Col-4", 25);
  auto form = create();
  form->show();
  auto* header = form->programListView()->header();
  EXPECT_EQ(header->sectionSize(0), 200);
  EXPECT_EQ(header->sectionSize(1), 175);  // 10 is not applied: the designed width stays
  EXPECT_EQ(header->sectionSize(2), 999);
  EXPECT_EQ(header->sectionSize(3), 11);
  EXPECT_EQ(header->sectionSize(4), 25);
  EXPECT_EQ(header->sectionSize(7), 207);
  // The close writes the widths back as they were applied.
  form->close();
  EXPECT_EQ(preference("Col-3"), 11);
  EXPECT_EQ(preference("Col-4"), 25);
}

TEST_F(MainFormTest, AutostartRunWithoutDelayStartsDuringTheLoadAndEndsByItself) {
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", 1);
  addDefinition(Hive::CurrentUser, "First", "/bin/first");
  addDefinition(Hive::CurrentUser, "Later", "/bin/later", 2);
  auto form = create();
  ASSERT_TRUE(form->autostartRun());
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(form->trayActive());
  EXPECT_FALSE(form->applicationWindow()->isVisible());  // no delay: no taskbar button
  ASSERT_EQ(launcher.spawns.size(), 1u);
  EXPECT_EQ(launcher.spawns[0].commandText, "/bin/first");
  EXPECT_TRUE(form->myTimer()->isActive());

  // Group 0 has nothing pending, then group 2 counts its one second down. The program ends without
  // ever mapping its taskbar window.
  ShowCounter shows;
  form->applicationWindow()->installEventFilter(&shows);
  for (int tick = 0; tick < 5 && form->myTimer()->isActive(); ++tick) form->queue().tick();
  EXPECT_EQ(shows.count, 0);
  ASSERT_EQ(launcher.spawns.size(), 2u);
  EXPECT_EQ(launcher.spawns[1].commandText, "/bin/later");
  EXPECT_FALSE(form->myTimer()->isActive());
  EXPECT_FALSE(form->trayActive());
  QApplication::processEvents();  // the close is posted from the tick
  // The window was never opened: only Run, Splash and the previous-start record are written.
  EXPECT_EQ(preference("Run"), 1);
  EXPECT_EQ(preference("Splash"), 0);
  EXPECT_FALSE(preference("Width").has_value());
  EXPECT_TRUE(registry.hasValue(Hive::LocalMachine, kPreviousStartKey, "PrevUser"));
}

TEST_F(MainFormTest, StartupDelayCountsDownInTheTaskbarTitle) {
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", 4);  // on, 3 seconds
  addDefinition(Hive::CurrentUser, "Mail", "/bin/mail");
  auto form = create();
  ASSERT_TRUE(form->autostartRun());
  EXPECT_TRUE(launcher.spawns.empty());
  EXPECT_TRUE(form->applicationWindow()->isVisible());
  EXPECT_TRUE(form->applicationWindow()->isMinimized());
  form->queue().tick();
  EXPECT_EQ(title(*form), "2 secs to start, Close to cancel");
  form->queue().tick();
  EXPECT_EQ(title(*form), "1 secs to start, Close to cancel");
  form->queue().tick();
  EXPECT_EQ(title(*form), "Kip Launch Manager");
  EXPECT_FALSE(form->applicationWindow()->isVisible());
  EXPECT_TRUE(launcher.spawns.empty());
  form->queue().tick();
  ASSERT_EQ(launcher.spawns.size(), 1u);
}

TEST_F(MainFormTest, ClosingTheTaskbarButtonDuringTheDelayCancelsTheRun) {
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", 31);
  addDefinition(Hive::CurrentUser, "Mail", "/bin/mail");
  auto form = create();
  form->queue().tick();
  form->applicationWindow()->close();
  EXPECT_FALSE(form->myTimer()->isActive());
  EXPECT_FALSE(form->trayActive());
  EXPECT_TRUE(launcher.spawns.empty());
  EXPECT_EQ(preference("Run"), 31);
}

TEST_F(MainFormTest, OpeningFromTheIconDuringTheRunKeepsTheProgramAsManager) {
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", 1);
  addDefinition(Hive::CurrentUser, "Slow", "/bin/slow", 0, 3);
  auto form = create();
  form->trayOpen();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->state().run.WindowOpened);
  ASSERT_EQ(form->listModel()->rowCount(), 1);

  // Closing while the queue runs only minimises the window where no notification area would show it
  // again, and hides it where one does.
  form->setTrayAvailable(false);
  form->close();
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isMinimized());
  form->setTrayAvailable(true);
  form->close();
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(form->myTimer()->isActive());

  for (int tick = 0; tick < 10 && form->myTimer()->isActive(); ++tick) form->queue().tick();
  EXPECT_EQ(launcher.spawns.size(), 1u);
  EXPECT_FALSE(form->trayActive());
  // The queue is done and the window was opened: it is shown again instead of ending the program.
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(preference("Width").has_value());
}

TEST_F(MainFormTest, ExitFromTheIconStopsTheQueueAndWritesOnlyRunAndSplash) {
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", 11);
  addDefinition(Hive::CurrentUser, "Mail", "/bin/mail");
  auto form = create();
  form->trayExit();
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_FALSE(form->myTimer()->isActive());
  EXPECT_EQ(preference("Run"), 11);
  EXPECT_FALSE(preference("Col-0").has_value());
  EXPECT_TRUE(launcher.spawns.empty());
}

TEST_F(MainFormTest, ExitFromTheIconAsksAboutUnsavedChangesOnce) {
  auto form = create();
  form->show();
  form->state().prefs.StartupDelay = 20;
  prompts.queue({Answer::No});
  form->trayExit();
  EXPECT_EQ(prompts.questions, std::vector<std::string>{"Save changes ?"});
  EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormTest, SessionEndWritesPreferencesWithoutAsking) {
  auto form = create();
  form->show();
  form->state().prefs.StartupDelay = 20;  // an unsaved change would ask at a normal close
  form->sessionEnd();
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_EQ(preference("Run"), -20);
  EXPECT_EQ(preference("Col-1"), 175);
}

TEST_F(MainFormTest, CancelAtSaveChangesKeepsTheWindowAndWritesNothing) {
  auto form = create();
  form->show();
  form->state().prefs.StartupDelay = 20;
  prompts.queue({Answer::Cancel});
  form->close();
  ASSERT_EQ(prompts.questions.size(), 1u);
  EXPECT_EQ(prompts.questions[0], "Save changes ?");
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(preference("Run").has_value());
}

TEST_F(MainFormTest, ViewsCommandsAndDropsFollowTheSelection) {
  addDefinition(Hive::CurrentUser, "Editor", "/usr/bin/editor", 1);
  addDefinition(Hive::CurrentUser, "Backup", "/usr/bin/backup", 2);
  addDefinition(Hive::LocalMachine, "Clock", "/usr/bin/clock", 3);
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Global", 1);
  auto form = create();
  form->show();
  const auto& a = form->actions();
  auto* model = form->listModel();
  auto* tree = form->programListView();
  auto name = [&](int row) { return model->index(row, 0).data().toString().toStdString(); };
  auto rowOf = [&](const std::string& caption) {
    for (int row = 0; row < model->rowCount(); ++row)
      if (name(row) == caption) return row;
    return -1;
  };
  auto selectRow = [&](const std::string& caption) { tree->setCurrentIndex(model->index(rowOf(caption), 0)); };
  EXPECT_FALSE(a.EditButton->isEnabled());
  // The keyboard selects as it moves: the focus alone selects nothing, the first Down takes the first row,
  // and Return opens it as a double-click does.
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  tree->setFocus(Qt::TabFocusReason);
  EXPECT_FALSE(tree->currentIndex().isValid());
  QTest::keyClick(tree, Qt::Key_Down);
  EXPECT_TRUE(tree->selectionModel()->isRowSelected(0, {}));
  EXPECT_TRUE(a.EditButton->isEnabled());
  QWidget* opened = nullptr;
  QTimer::singleShot(0, [&] {
    opened = QApplication::activeModalWidget();
    if (opened) opened->close();
  });
  QTest::keyClick(tree, Qt::Key_Return);
  EXPECT_EQ(opened, static_cast<QWidget*>(form->programForm()));
  tree->selectionModel()->clear();
  QTest::keyClick(tree, Qt::Key_End);  // from no current row, End still goes to the last
  EXPECT_TRUE(tree->selectionModel()->isRowSelected(model->rowCount() - 1, {}));
  selectRow("Clock");  // machine-wide: copy and edit, no delete
  EXPECT_TRUE(a.CopyButton->isEnabled());
  EXPECT_FALSE(a.DeleteButton->isEnabled());
  ASSERT_TRUE(form->preparePopup());
  EXPECT_FALSE(a.DisablePop->isVisible() || a.EnablePop->isVisible());
  EXPECT_FALSE(model->setData(model->index(rowOf("Editor"), 0), "BACKUP", Qt::EditRole));  // a clash
  EXPECT_NE(rowOf("Editor"), -1);

  // Start Later moves the selected row; the selection moves with it and survives a change of style.
  selectRow("Editor");
  for (int i = 0; i < 3; ++i) a.LaterButton->trigger();
  EXPECT_EQ(rowOf("Editor"), 2);
  EXPECT_EQ(tree->currentIndex().row(), 2);
  EXPECT_EQ(tree->header()->sortIndicatorSection(), 7);
  a.IconView->trigger();
  EXPECT_EQ(form->iconListView()->currentIndex().row(), 2);
  EXPECT_TRUE(a.DeleteButton->isEnabled());
  a.DeleteButton->trigger();
  EXPECT_EQ(model->rowCount(), 2);
  EXPECT_TRUE(tree->selectionModel()->hasSelection());  // the neighbour, and the commands follow it
  EXPECT_TRUE(a.EditButton->isEnabled());
  EXPECT_TRUE(a.Undelete->isEnabled());

  // Files dropped on the list become definitions; the speed buttons are named by their hints.
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile("/opt/tools/editor.sh")});
  QWidget* viewport = form->iconListView()->viewport();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &enter);
  EXPECT_EQ(enter.dropAction(), Qt::CopyAction);  // never a move, which could delete the file
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &drop);
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(name(2), "editor");
  auto* run = form->speedBar()->widgetForAction(a.RunButton);
  EXPECT_EQ(run->accessibleName(), "Execute All");
  EXPECT_EQ(run->accessibleDescription(), "RunButton");
  EXPECT_EQ(tree->accessibleDescription(), "ProgramListView");
}

}  // namespace
}  // namespace kip::test
