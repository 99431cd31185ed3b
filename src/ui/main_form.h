#pragma once

#include <QMainWindow>
#include <memory>
#include <unordered_map>
#include <vector>

#include "app/app_state.h"
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

class QAction;
class QSystemTrayIcon;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace kip {

class ApplicationWindow;

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
class TMainForm : public QMainWindow, private QueueHost {
  Q_OBJECT
 public:
  TMainForm(const MainFormServices& services, Switch sw, QWidget* parent = nullptr);
  ~TMainForm() override;

  AppState& state() { return m_state; }
  StartQueue& queue() { return m_queue; }
  [[nodiscard]] bool autostartRun() const { return m_state.run.autostartRun; }
  QTreeWidget* programListView() const { return ProgramListView; }
  QTimer* myTimer() const { return MyTimer; }
  QSystemTrayIcon* trayIcon() const { return TrayIcon1; }
  ApplicationWindow* applicationWindow() const { return m_appWindow.get(); }
  [[nodiscard]] bool trayActive() const { return m_trayActive; }
  [[nodiscard]] QString applicationTitle() const;

  // The definitions of the list's rows in display order.
  [[nodiscard]] std::vector<DefinitionPtr> viewOrder() const;

  // The notification icon's menu commands.
  void trayOpen();
  void trayOpenOnTop();
  void trayExit();

 public slots:
  // Brings the window to the top of the window order, as a second copy asks.
  void raiseWindow();
  // Ends the program as a closed session does: no question, preferences written.
  void sessionEnd();

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The rest of the creation once the definitions are loaded: geometry, hive problems, the autostart run.
  void FormCreate();
  void FormActivate();
  bool FormCloseQuery();
  void FormClose();
  void MyTimerTimer();
  void buildMenus();
  void buildTrayIcon();
  void addRow(const DefinitionPtr& def);
  void refreshRow(QTreeWidgetItem* item);
  const DefinitionPtr* definitionOf(const QTreeWidgetItem* item) const;
  void reportHiveProblems();
  void cancelFromTaskbar();
  void finishProgram();

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

  MainFormServices m_services;
  AppState m_state;
  NetworkProbe m_probe;
  ConditionEvaluator m_evaluator;
  Launcher m_launcher;
  StartQueue m_queue;
  std::unique_ptr<ApplicationWindow> m_appWindow;
  QTreeWidget* ProgramListView = nullptr;
  QTimer* MyTimer = nullptr;
  QSystemTrayIcon* TrayIcon1 = nullptr;
  std::unordered_map<const QTreeWidgetItem*, DefinitionPtr> m_rows;
  bool m_trayActive = false;
  bool m_showApp = false;
  bool m_sessionEnding = false;
  bool m_closed = false;
};

}  // namespace kip
