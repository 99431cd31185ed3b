#include "ui/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>

#include "ui/application_window.h"
#include "ui/logic/save_command.h"

namespace kip {

namespace {

QString toQt(const std::string& text) { return QString::fromStdString(text); }

struct ColumnDesign {
  const char* caption;
  int width;
  Qt::Alignment alignment;
};

constexpr ColumnDesign kColumns[8] = {
    {"Name", 100, Qt::AlignLeft},    {"Command", 175, Qt::AlignLeft},  {"Configuration", 75, Qt::AlignHCenter},
    {"Power", 50, Qt::AlignHCenter}, {"Timers", 50, Qt::AlignHCenter}, {"Options", 50, Qt::AlignHCenter},
    {"Result", 50, Qt::AlignLeft},   {"Seq", 38, Qt::AlignHCenter},
};

}  // namespace

TMainForm::TMainForm(const MainFormServices& services, Switch sw, QWidget* parent)
    : QMainWindow(parent),
      m_services(services),
      m_probe(services.network, services.hostProbe),
      m_evaluator(m_state.env, m_state.net, m_state.prefs, services.system, services.clock, m_probe, services.groups),
      m_launcher(services.processes, services.clock, services.registry, *this),
      m_queue(m_state, *this, m_evaluator, m_launcher) {
  setObjectName("TMainForm");
  setWindowTitle(toQt(std::string(kAppTitle)));
  MyTimer = new QTimer(this);
  MyTimer->setObjectName("MyTimer");
  MyTimer->setInterval(1000);
  connect(MyTimer, &QTimer::timeout, this, &TMainForm::MyTimerTimer);

  // The load, with the autostart run's first pass, comes before the widgets are built: building them
  // loads fonts and styles, which would only delay the programs that start at once.
  StartupServices startup{m_services.registry, m_services.system, m_services.atom, m_services.prompts};
  runStartupSequence(m_state, startup, sw, m_queue.firstPassHook());

  m_appWindow = std::make_unique<ApplicationWindow>();
  connect(m_appWindow.get(), &ApplicationWindow::closeRequested, this, &TMainForm::cancelFromTaskbar);
  ProgramListView = new QTreeWidget(this);
  ProgramListView->setObjectName("ProgramListView");
  ProgramListView->setRootIsDecorated(false);
  ProgramListView->setSelectionMode(QAbstractItemView::SingleSelection);
  ProgramListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ProgramListView->setToolTip("main screen");
  QStringList captions;
  for (const auto& column : kColumns) captions << column.caption;
  ProgramListView->setHeaderLabels(captions);
  for (int col = 0; col < 8; ++col) ProgramListView->header()->resizeSection(col, kColumns[col].width);
  setCentralWidget(ProgramListView);
  statusBar();
  buildMenus();
  buildTrayIcon();

  FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::buildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("E&xit", this, &QWidget::close);
}

void TMainForm::buildTrayIcon() {
  TrayIcon1 = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_ComputerIcon), this);
  TrayIcon1->setObjectName("TrayIcon1");
  TrayIcon1->setToolTip("Kip Launch Manager");
  auto* menu = new QMenu(this);
  menu->addAction("&Open", this, &TMainForm::trayOpen);
  menu->addAction("Open on &Top", this, &TMainForm::trayOpenOnTop);
  menu->addSeparator();
  menu->addAction("E&xit", this, &TMainForm::trayExit);
  TrayIcon1->setContextMenu(menu);
  connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) trayOpen();
  });
}

void TMainForm::FormCreate() {
  const auto& prefs = m_state.prefs;
  resize(prefs.Width, prefs.Height);
  move(prefs.Left, prefs.Top);
  reportHiveProblems();
  if (m_state.run.autostartRun) m_queue.beginAutostartRun();
}

void TMainForm::MyTimerTimer() { m_queue.tick(); }

void TMainForm::reportHiveProblems() {
  for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
    const auto problem = m_services.registry.hiveProblem(hive);
    if (!problem.empty()) m_services.prompts.message(problem, MessageIcon::Warning);
  }
}

void TMainForm::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
  QMainWindow::changeEvent(event);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Without a window manager a shown window may never become active; the first showing counts.
  FormActivate();
}

void TMainForm::FormActivate() {
  if (m_state.run.WindowOpened) return;
  auto& prefs = m_state.prefs;
  for (int col = 0; col < 8; ++col)
    if (columnWidthApplies(prefs.ColWidths[static_cast<std::size_t>(col)]))
      ProgramListView->header()->resizeSection(col, prefs.ColWidths[static_cast<std::size_t>(col)]);
  for (const auto& def : m_state.definitions) {
    if (prefs.Global || !def->OtherScope)
      addRow(def);
    else
      m_state.hidden.push_back(def);
    def->Changed = false;
  }
  // The main window carries its own taskbar entry from now on.
  m_appWindow->hide();
  m_showApp = true;
  m_state.run.WindowOpened = true;
}

void TMainForm::addRow(const DefinitionPtr& def) {
  auto* item = new QTreeWidgetItem(ProgramListView);
  m_rows[item] = def;
  for (int col = 0; col < 8; ++col) item->setTextAlignment(col, kColumns[col].alignment | Qt::AlignVCenter);
  refreshRow(item);
}

const DefinitionPtr* TMainForm::definitionOf(const QTreeWidgetItem* item) const {
  auto it = m_rows.find(item);
  return it == m_rows.end() ? nullptr : &it->second;
}

void TMainForm::refreshRow(QTreeWidgetItem* item) {
  const auto* ptr = definitionOf(item);
  if (!ptr || !*ptr) return;
  const auto& def = **ptr;
  item->setText(0, toQt(def.Name));
  item->setText(1, toQt(def.Module));
  item->setText(2, toQt(def.Configuration));
  item->setText(3, toQt(def.StateSummary));
  item->setText(4, def.Countdown != 0 ? QString::number(def.Countdown) : toQt(def.TimingSummary));
  item->setText(5, toQt(def.ConditionSummary));
  item->setText(6, toQt(def.Result));
  item->setText(7, QString::number(def.Sequence));
}

std::vector<DefinitionPtr> TMainForm::viewOrder() const {
  std::vector<DefinitionPtr> order;
  for (int i = 0; i < ProgramListView->topLevelItemCount(); ++i)
    if (const auto* ptr = definitionOf(ProgramListView->topLevelItem(i)); ptr && *ptr) order.push_back(*ptr);
  return order;
}

void TMainForm::raiseWindow() { raise(); }

void TMainForm::sessionEnd() {
  m_sessionEnding = true;
  finishProgram();
}

bool TMainForm::FormCloseQuery() {
  if (m_state.run.WindowOpened && m_trayActive) {
    // The start queue has work: go to the notification area instead of closing.
    if (m_state.run.StartupCountdown <= 0) {
      hide();
      m_appWindow->hide();
    } else {
      hide();
      m_appWindow->showMinimized();
    }
    return false;
  }
  const auto order = viewOrder();
  return ConfirmSave(m_state, m_services.registry, m_services.prompts, order);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (m_closed) {
    event->accept();
    return;
  }
  if (!m_sessionEnding && !FormCloseQuery()) {
    event->ignore();
    return;
  }
  event->accept();
  finishProgram();
}

void TMainForm::finishProgram() {
  if (m_closed) return;
  MyTimer->stop();
  FormClose();
  hide();
  m_appWindow->hide();
  TrayIcon1->hide();
  QApplication::quit();
}

void TMainForm::cancelFromTaskbar() {
  // "Close to cancel": nothing more is started and the program ends.
  MyTimer->stop();
  setTrayIconActive(false);
  close();
}

void TMainForm::trayOpen() {
  setWindowFlag(Qt::WindowStaysOnTopHint, false);
  setWindowTitle(applicationTitle());
  m_appWindow->hide();
  showNormal();
  activateWindow();
}

void TMainForm::trayOpenOnTop() {
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  m_appWindow->hide();
  showNormal();
  activateWindow();
}

void TMainForm::trayExit() {
  if (m_state.run.WindowOpened) {
    const auto order = viewOrder();
    if (!ConfirmSave(m_state, m_services.registry, m_services.prompts, order)) return;
  }
  MyTimer->stop();
  setTrayIconActive(false);
  close();
}

QString TMainForm::applicationTitle() const { return m_appWindow->title(); }

bool TMainForm::timerEnabled() const { return MyTimer->isActive(); }

void TMainForm::setTimerEnabled(bool enabled) {
  if (enabled && !MyTimer->isActive())
    MyTimer->start();
  else if (!enabled)
    MyTimer->stop();
}

void TMainForm::setApplicationTitle(std::string_view title) {
  m_appWindow->setTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
}

void TMainForm::setMainCaption(std::string_view caption) {
  setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

void TMainForm::setShowApp(bool shown) {
  m_showApp = shown;
  // While the main window is on screen it is the taskbar entry; the small window stands in otherwise.
  if (shown && !isVisible())
    m_appWindow->show();
  else if (!shown)
    m_appWindow->hide();
}

void TMainForm::minimizeApplication() {
  if (!isVisible()) m_appWindow->showMinimized();
}

void TMainForm::setTrayIconActive(bool active) {
  m_trayActive = active;
  TrayIcon1->setVisible(active);
}

void TMainForm::showWindow() {
  if (!isVisible() || isMinimized()) {
    m_appWindow->hide();
    showMinimized();
  }
}

void TMainForm::closeMainWindow() {
  // Closing from inside a tick would end the program under the queue's feet; do it right after.
  QTimer::singleShot(0, this, [this] { close(); });
}

void TMainForm::processMessages() { QCoreApplication::processEvents(); }

std::vector<DefinitionPtr> TMainForm::listViewDefinitions() { return viewOrder(); }

void TMainForm::refreshQueueColumns(std::size_t row, std::string_view timers, std::string_view result) {
  QTreeWidgetItem* item = ProgramListView->topLevelItem(static_cast<int>(row));
  if (!item) return;
  item->setText(4, QString::fromUtf8(timers.data(), static_cast<qsizetype>(timers.size())));
  item->setText(6, QString::fromUtf8(result.data(), static_cast<qsizetype>(result.size())));
}

std::vector<DefinitionPtr> TMainForm::hiddenDefinitions() { return m_state.hidden; }

std::vector<DefinitionPtr> TMainForm::allDefinitions() { return m_state.definitions; }

bool TMainForm::showStatusPage(StartDefinition& definition) {
  m_services.prompts.message("The start of \"" + definition.Name + "\" failed: " + definition.Result,
                             MessageIcon::Error);
  return false;
}

void TMainForm::FormClose() {
  if (m_closed) return;
  m_closed = true;
  auto& prefs = m_state.prefs;
  if (m_state.run.WindowOpened) {
    prefs.Height = height();
    prefs.Width = width();
    prefs.Top = y();
    prefs.Left = x();
    for (int col = 0; col < 8; ++col)
      prefs.ColWidths[static_cast<std::size_t>(col)] = ProgramListView->header()->sectionSize(col);
  }
  writePreferences(m_services.registry, prefs, m_state.run.WindowOpened);
  if (m_state.run.LogonStart) writePreviousStart(m_services.registry, m_state.env);
}

}  // namespace kip
