#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "app/app_state.h"
#include "app/run_engine.h"
#include "app/startup_sequence.h"
#include "conditions/condition_evaluator.h"
#include "conditions/network_probe.h"
#include "engine/launcher.h"
#include "engine/queue_host.h"
#include "engine/start_queue.h"
#include "platform/clock.h"
#include "platform/group_membership.h"
#include "platform/network_services.h"
#include "platform/process_launcher.h"
#include "ui/logic/definition_manager.h"
#include "ui/logic/form_state_definition_form.h"
#include "ui/logic/program_form_state.h"
#include "ui/main_form_actions.h"
#include "ui/qt_collator.h"

class QAbstractItemView;
class QListView;
class QMenu;
class QStackedWidget;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class QTreeView;

namespace kip {

class ApplicationWindow;
class ProgramListModel;
class TAboutBox;
class TOptionsForm;
class TProgramForm;

// The services the main window works with; owned by the program's entry point.
struct MainFormServices {
  Registry& registry;
  SystemInfo& system;
  LogonAtom& atom;
  Prompts& prompts;
  Clock& clock;
  NetworkServices& network;
  HostProbe& hostProbe;
  GroupMembership& groups;
  ProcessLauncher& processes;
};

// The main window: runs the start-up sequence at creation, drives the start queue on MyTimer, becomes
// the definition manager at its first showing, and writes the preferences when it closes.
class TMainForm : public QMainWindow, private QueueHost, private ManagerHost {
  Q_OBJECT
 public:
  // trayAvailable: whether the desktop has a notification area (asked of the toolkit when not given).
  TMainForm(const MainFormServices& services, Switch sw, QWidget* parent = nullptr);
  // Takes over an engine whose start-up sequence has run already, with the starts it made and the
  // definitions it queued; the engine outlives the window.
  TMainForm(const MainFormServices& services, RunEngine& engine, QWidget* parent = nullptr);
  ~TMainForm() override;

  AppState& state() { return m_state; }
  StartQueue& queue() { return m_queue; }
  DefinitionManager& manager() { return m_manager; }
  [[nodiscard]] bool autostartRun() const { return m_state.run.autostartRun; }
  QTreeView* programListView() const { return ProgramListView; }
  QListView* iconListView() const { return m_iconView; }
  ProgramListModel* listModel() const { return m_model; }
  QMenu* rowPopup() const { return m_popup; }
  QToolBar* speedBar() const { return m_speedBar; }
  const MainFormActions& actions() const { return m_actions; }
  QTimer* myTimer() const { return MyTimer; }
  QSystemTrayIcon* trayIcon() const { return TrayIcon1; }
  ApplicationWindow* applicationWindow() const { return m_appWindow.get(); }
  TProgramForm* programForm() const { return m_programForm; }
  [[nodiscard]] bool trayActive() const { return m_trayActive; }
  [[nodiscard]] QString applicationTitle() const;
  // Overrides the toolkit's answer to whether a notification area exists.
  void setTrayAvailable(bool available) { m_trayAvailable = available; }

  // The definitions of the list's rows in display order.
  [[nodiscard]] std::vector<DefinitionPtr> viewOrder() const;

  // The notification icon's menu commands.
  void trayOpen();
  void trayOpenOnTop();
  void trayExit();
  // Prepares the row pop-up for the selection, as opening it does; false when it may not open.
  bool preparePopup();

 public slots:
  // Brings the window to the top of the window order, as a second copy asks.
  void raiseWindow();
  // Ends the program as a closed session does: no question, preferences written.
  void sessionEnd();

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TMainForm(const MainFormServices& services, std::unique_ptr<RunEngine> owned, RunEngine* engine,
            std::optional<Switch> sw, QWidget* parent);
  // The rest of the creation once the definitions are loaded: geometry, hive problems, the autostart run.
  void FormCreate();
  void FormActivate();
  bool FormCloseQuery();
  void FormClose();
  void MyTimerTimer();
  void buildViews();
  // The menus, the speed bar, the row pop-up and the notification icon's menu from actionRows.
  [[nodiscard]] ActionPlaces buildActions();
  void buildTrayIcon(QMenu* menu);
  // The window's actions, in the order they show in each place.
  static std::span<const ActionRow> actionRows();
  // The list's view styles, as the speed bar offers them.
  enum ViewStyle { kLargeIcons, kSmallIcons, kList, kDetails };
  void setViewStyle(ViewStyle style);
  void selectionChanged();
  void updateCommands();
  void updateSortIndicator();
  void run(void (DefinitionManager::*command)());
  // "&Run" (tag 0) and "Run &with Action" (tag 1) of the row pop-up.
  void runPopup(int tag);
  void reportHiveProblems();
  void cancelFromTaskbar();
  void finishProgram();
  [[nodiscard]] bool trayAvailable() const;
  [[nodiscard]] QAbstractItemView* currentView() const;

  // QueueHost
  [[nodiscard]] bool timerEnabled() const override;
  void setTimerEnabled(bool enabled) override;
  void setApplicationTitle(std::string_view title) override;
  void setMainCaption(std::string_view caption) override;
  void setShowApp(bool shown) override;
  void minimizeApplication() override;
  void setTrayIconActive(bool active) override;
  void showWindow() override;
  void closeMainWindow() override;
  void processMessages() override;
  [[nodiscard]] std::vector<DefinitionPtr> listViewDefinitions() override;
  void refreshQueueColumns(std::size_t row, std::string_view timers, std::string_view result) override;
  [[nodiscard]] std::vector<DefinitionPtr> hiddenDefinitions() override;
  [[nodiscard]] std::vector<DefinitionPtr> allDefinitions() override;
  bool showStatusPage(StartDefinition& definition) override;

  // ManagerHost
  bool showDefinitionDialog(DialogPage page) override;
  bool showOptionsDialog() override;
  void showAboutBox() override;
  void openHelpTopic(int topic) override;
  void beep() override;
  void startRename(std::size_t row) override;

  MainFormServices m_services;
  std::unique_ptr<RunEngine> m_ownedEngine;  // when the window runs the start-up sequence itself
  RunEngine& m_engine;
  AppState& m_state;
  NetworkProbe& m_probe;
  ConditionEvaluator& m_evaluator;
  Launcher& m_launcher;
  StartQueue& m_queue;
  ProgramFormState m_formState;
  FormStateDefinitionForm m_form{m_formState};
  QtCollator m_collator;
  DefinitionManager m_manager;
  std::unique_ptr<ApplicationWindow> m_appWindow;
  ProgramListModel* m_model = nullptr;
  QStackedWidget* m_views = nullptr;
  QTreeView* ProgramListView = nullptr;
  QListView* m_iconView = nullptr;
  std::vector<QObject*> m_viewports;  // where files are dropped
  QToolBar* m_speedBar = nullptr;
  QMenu* m_popup = nullptr;
  QTimer* MyTimer = nullptr;
  QSystemTrayIcon* TrayIcon1 = nullptr;
  TProgramForm* m_programForm = nullptr;
  TOptionsForm* m_optionsForm = nullptr;
  TAboutBox* m_aboutBox = nullptr;
  MainFormActions m_actions{};
  std::optional<bool> m_trayAvailable;
  int m_trayRetries = 0;
  bool m_dialogShown = false;
  bool m_trayActive = false;
  bool m_showApp = false;
  bool m_sessionEnding = false;
  bool m_closeConfirmed = false;  // Exit from the icon asked about unsaved changes already
  bool m_closed = false;
};

}  // namespace kip
