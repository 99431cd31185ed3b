#include "ui/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

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
    {"Name", 100, Qt::AlignLeft},   {"Command", 175, Qt::AlignLeft}, {"Configuration", 75, Qt::AlignHCenter},
    {"Power", 50, Qt::AlignHCenter}, {"Timers", 50, Qt::AlignHCenter}, {"Options", 50, Qt::AlignHCenter},
    {"Result", 50, Qt::AlignLeft},  {"Seq", 38, Qt::AlignHCenter},
};

}  // namespace

TMainForm::TMainForm(const MainFormServices& services, Switch sw, QWidget* parent)
    : QMainWindow(parent), m_services(services) {
  setObjectName("TMainForm");
  setWindowTitle(toQt(std::string(kAppTitle)));
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

  MyTimer = new QTimer(this);
  MyTimer->setObjectName("MyTimer");
  MyTimer->setInterval(1000);

  FormCreate(sw);
}

TMainForm::~TMainForm() = default;

void TMainForm::buildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("E&xit", this, &QWidget::close);
}

void TMainForm::FormCreate(Switch sw) {
  StartupServices startup{m_services.registry, m_services.system, m_services.atom, m_services.prompts};
  runStartupSequence(m_state, startup, sw);
  const auto& prefs = m_state.prefs;
  resize(prefs.Width, prefs.Height);
  move(prefs.Left, prefs.Top);
  reportHiveProblems();
}

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
  close();
  if (!m_closed) {
    FormClose();
    QApplication::quit();
  }
}

bool TMainForm::FormCloseQuery() {
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
  FormClose();
  event->accept();
  QApplication::quit();
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
