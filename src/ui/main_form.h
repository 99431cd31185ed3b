#pragma once

#include <QMainWindow>
#include <memory>
#include <unordered_map>
#include <vector>

#include "app/app_state.h"
#include "app/startup_sequence.h"
#include "platform/clock.h"

class QTreeWidget;
class QTreeWidgetItem;
class QTimer;

namespace kip {

// The services the main window works with; owned by the program's entry point.
struct MainFormServices {
  Registry& registry;
  SystemInfo& system;
  LogonAtom& atom;
  Prompts& prompts;
  Clock& clock;
};

// The main window: runs the start-up sequence at creation, becomes the definition manager at its first
// showing, and writes the preferences when it closes.
class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  TMainForm(const MainFormServices& services, Switch sw, QWidget* parent = nullptr);
  ~TMainForm() override;

  AppState& state() { return m_state; }
  [[nodiscard]] bool autostartRun() const { return m_state.run.autostartRun; }
  QTreeWidget* programListView() const { return ProgramListView; }
  QTimer* myTimer() const { return MyTimer; }

  // The definitions of the list's rows in display order.
  [[nodiscard]] std::vector<DefinitionPtr> viewOrder() const;

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
  void FormCreate(Switch sw);
  void FormActivate();
  bool FormCloseQuery();
  void FormClose();
  void buildMenus();
  void addRow(const DefinitionPtr& def);
  void refreshRow(QTreeWidgetItem* item);
  const DefinitionPtr* definitionOf(const QTreeWidgetItem* item) const;
  void reportHiveProblems();

  MainFormServices m_services;
  AppState m_state;
  QTreeWidget* ProgramListView = nullptr;
  QTimer* MyTimer = nullptr;
  std::unordered_map<const QTreeWidgetItem*, DefinitionPtr> m_rows;
  bool m_sessionEnding = false;
  bool m_closed = false;
};

}  // namespace kip
