#include "ui/main_form.h"

#include <unistd.h>

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include "platform/linux/hyprland_windows.h"
#include "platform/linux/kwin_windows.h"
#include "platform/linux/sway_windows.h"
#include "platform/linux/window_session.h"
#include "platform/linux/wlr_windows.h"
#include "ui/about_box.h"
#include "ui/application_window.h"
#include "ui/eliding_header.h"
#include "ui/help_opener.h"
#include "ui/logic/program_form.h"
#include "ui/options_form.h"
#include "ui/program_form.h"
#include "ui/program_icon.h"
#include "ui/program_list_model.h"
#include "ui/row_view.h"

namespace kip {

namespace {

QString toQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr int kMainHelpTopic = 5;

// The URLs of a drag as the definition manager judges them.
std::vector<DroppedUrl> draggedUrls(const QMimeData* mime) {
  std::vector<DroppedUrl> urls;
  if (!mime || !mime->hasUrls()) return urls;
  for (const QUrl& url : mime->urls()) urls.push_back({url.isLocalFile(), url.toLocalFile().toStdString()});
  return urls;
}

CoreServices coreOf(const MainFormServices& s) {
  return {s.registry, s.system, s.atom, s.clock, s.network, s.hostProbe, s.groups, s.processes};
}

}  // namespace

TMainForm::TMainForm(const MainFormServices& services, Switch sw, QWidget* parent)
    : TMainForm(services, std::make_unique<RunEngine>(coreOf(services)), nullptr, sw, parent) {}

TMainForm::TMainForm(const MainFormServices& services, RunEngine& engine, QWidget* parent)
    : TMainForm(services, nullptr, &engine, std::nullopt, parent) {}

TMainForm::TMainForm(const MainFormServices& services, std::unique_ptr<RunEngine> owned, RunEngine* engine,
                     std::optional<Switch> sw, QWidget* parent)
    : QMainWindow(parent),
      m_services(services),
      m_ownedEngine(std::move(owned)),
      m_engine(engine ? *engine : *m_ownedEngine),
      m_state(m_engine.state),
      m_probe(m_engine.probe),
      m_evaluator(m_engine.evaluator),
      m_launcher(m_engine.launcher),
      m_queue(m_engine.queue),
      m_manager({m_state, services.registry, services.prompts, m_evaluator, m_queue, m_form, *this}, m_collator) {
  m_engine.host.setTarget(this);
  setObjectName("TMainForm");
  setAccessibleName(toQt(kAppTitle));
  setAccessibleDescription("TMainForm");
  setWindowTitle(toQt(kAppTitle));
  setProperty("kipHelpTopic", kMainHelpTopic);
  MyTimer = new QTimer(this);
  MyTimer->setObjectName("MyTimer");
  MyTimer->setInterval(1000);
  connect(MyTimer, &QTimer::timeout, this, &TMainForm::MyTimerTimer);

  // The load, with the autostart run's first pass, comes before the widgets are built: building them
  // loads fonts and styles, which would only delay the programs that start at once. An engine handed
  // over has run it before the toolkit was even loaded.
  if (sw) m_engine.startUp(m_services.prompts, *sw);
  m_manager.list().setGlobalEdit(m_state.run.GlobalEdit);

  m_appWindow = std::make_unique<ApplicationWindow>();
  connect(m_appWindow.get(), &ApplicationWindow::closeRequested, this, &TMainForm::cancelFromTaskbar);
  buildViews();
  const ActionPlaces places = buildActions();
  statusBar()->setSizeGripEnabled(true);
  buildTrayIcon(places.trayMenu);
  updateCommands();

  FormCreate();
}

TMainForm::~TMainForm() {
  m_engine.host.setTarget(nullptr);
  // Children that refer to members (the list, the form state, the preferences) go before the members do.
  for (QObject* viewport : m_viewports) viewport->removeEventFilter(this);
  m_viewports.clear();
  delete m_views;
  delete m_model;
  delete m_programForm;
  delete m_optionsForm;
  delete m_aboutBox;
}

void TMainForm::buildViews() {
  m_model = new ProgramListModel(m_manager, this);
  m_views = new QStackedWidget(this);
  auto* tree = new RowView<QTreeView>(m_views);
  tree->setOpenRow([this] { run(&DefinitionManager::PropertiesClick); });
  ProgramListView = tree;
  ProgramListView->setObjectName("ProgramListView");
  ProgramListView->setRootIsDecorated(false);
  ProgramListView->setItemsExpandable(false);
  ProgramListView->setUniformRowHeights(true);
  ProgramListView->setAllColumnsShowFocus(true);
  // The state image and the small program icon side by side.
  ProgramListView->setIconSize(QSize(34, 16));
  ProgramListView->setHeader(new ElidingHeader(Qt::Horizontal, ProgramListView));
  ProgramListView->setModel(m_model);
  auto* icons = new RowView<QListView>(m_views);
  icons->setOpenRow([this] { run(&DefinitionManager::PropertiesClick); });
  m_iconView = icons;
  m_iconView->setObjectName("ProgramListIcons");
  m_iconView->setModel(m_model);
  // One selection for both views, so the selected row survives a change of style.
  m_iconView->setSelectionModel(ProgramListView->selectionModel());
  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(ProgramListView), static_cast<QAbstractItemView*>(m_iconView)}) {
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    view->setToolTip("main screen");
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setAcceptDrops(false);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(this);
    m_viewports.push_back(view->viewport());
    view->setAccessibleName("main screen");
    view->setAccessibleDescription("ProgramListView");
    connect(view, &QAbstractItemView::doubleClicked, this, [this] { run(&DefinitionManager::PropertiesClick); });
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
      if (preparePopup()) m_popup->exec(view->viewport()->mapToGlobal(pos));
    });
  }
  QHeaderView* header = ProgramListView->header();
  header->setSectionsClickable(true);
  header->setSectionsMovable(false);
  header->setStretchLastSection(false);
  // As narrow as the narrowest saved width that is applied, so that a saved width comes back unchanged.
  header->setMinimumSectionSize(kNarrowestColumnWidth);
  for (std::size_t col = 0; col < kColumnCount; ++col) header->resizeSection(static_cast<int>(col), kColumnWidths[col]);
  connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
    m_manager.headerClick(static_cast<std::size_t>(section));
    updateSortIndicator();
  });
  connect(ProgramListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TMainForm::selectionChanged);
  connect(ProgramListView->selectionModel(), &QItemSelectionModel::currentChanged, this, &TMainForm::selectionChanged);
  m_views->addWidget(m_iconView);
  m_views->addWidget(ProgramListView);
  m_views->setCurrentWidget(ProgramListView);
  setCentralWidget(m_views);
}

void TMainForm::buildTrayIcon(QMenu* menu) {
  announceProgramIdentity();
  const QIcon icon = programIcon();
  setWindowIcon(icon);
  TrayIcon1 = new QSystemTrayIcon(icon, this);
  TrayIcon1->setObjectName("TrayIcon1");
  TrayIcon1->setToolTip(toQt(kAppTitle));
  TrayIcon1->setContextMenu(menu);
  // StatusNotifierItem desktops send a single activation and never a double-click: both open.
  connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) trayOpen();
  });
}

ActionPlaces TMainForm::buildActions() {
  const ActionPlaces places = buildMainFormActions(*this, actionRows(), m_actions, [this](const ActionRow& row) {
    if (row.command)
      run(row.command);
    else
      row.window(*this);
  });
  m_speedBar = places.speedBar;
  m_popup = places.rowPopup;
  return places;
}

void TMainForm::run(void (DefinitionManager::*command)()) {
  (m_manager.*command)();
  // A removed row hands the selection to its neighbour while the command still runs: take it up now.
  selectionChanged();
}

void TMainForm::runPopup(int tag) {
  m_manager.RunPopClick(tag);
  updateCommands();
}

QAbstractItemView* TMainForm::currentView() const {
  return m_views->currentWidget() == ProgramListView ? static_cast<QAbstractItemView*>(ProgramListView)
                                                     : static_cast<QAbstractItemView*>(m_iconView);
}

void TMainForm::setViewStyle(ViewStyle style) {
  m_model->setLargeIcons(style == kLargeIcons);
  if (style == kDetails) {
    m_views->setCurrentWidget(ProgramListView);
    return;
  }
  m_iconView->setViewMode(style == kLargeIcons ? QListView::IconMode : QListView::ListMode);
  m_iconView->setIconSize(style == kLargeIcons ? QSize(32, 32) : QSize(34, 16));
  m_iconView->setFlow(style == kList ? QListView::TopToBottom : QListView::LeftToRight);
  m_iconView->setWrapping(true);
  m_iconView->setMovement(QListView::Static);
  // Setting the movement switches the viewport's drops off: files are still welcome.
  m_iconView->viewport()->setAcceptDrops(true);
  m_iconView->setResizeMode(QListView::Adjust);
  m_iconView->setGridSize(style == kLargeIcons ? QSize(96, 64) : QSize());
  m_iconView->setWordWrap(style == kLargeIcons);
  m_views->setCurrentWidget(m_iconView);
}

void TMainForm::selectionChanged() {
  const QModelIndex current = ProgramListView->selectionModel()->currentIndex();
  const bool selected = current.isValid() && ProgramListView->selectionModel()->isRowSelected(current.row(), {});
  m_manager.setSelectedRow(selected ? std::optional<std::size_t>(static_cast<std::size_t>(current.row()))
                                    : std::nullopt);
  updateCommands();
}

void TMainForm::updateCommands() {
  auto& a = m_actions;
  const SelectionCommands commands = m_manager.selectionCommands();
  for (QAction* action : {a.EditButton, a.CopyButton, a.SoonerButton, a.LaterButton, a.Properties, a.Copy})
    action->setEnabled(commands.available);
  a.DeleteButton->setEnabled(commands.deletable);
  a.Delete->setEnabled(commands.deletable);
  a.Undelete->setEnabled(m_manager.undeleteEnabled());
  const ScopeItems scope = m_manager.scopeItems();
  a.Local->setVisible(scope.local);
  a.Local->setEnabled(scope.local);
  a.Global->setVisible(scope.global);
  a.Global->setEnabled(scope.global);
  // Start Sooner and Start Later sort by "Seq".
  updateSortIndicator();
}

bool TMainForm::preparePopup() {
  if (!m_manager.selectionCommands().available) return false;
  auto& a = m_actions;
  const PopupState state = m_manager.popupState();
  auto show = [](QAction* action, bool on) {
    action->setVisible(on);
    action->setEnabled(on);
  };
  show(a.RunMsgPop, state.queue.runWithAction);
  show(a.CancelActPop, state.queue.cancelAction);
  show(a.CancelRunPop, state.queue.cancelRun);
  a.ActionLine->setVisible(state.queue.separator);
  a.DeletePop->setEnabled(state.deleteEnabled);
  a.RenamePop->setEnabled(state.renameEnabled);
  a.EnablePop->setVisible(state.enableVisible);
  a.DisablePop->setVisible(state.disableVisible);
  return true;
}

void TMainForm::updateSortIndicator() {
  QHeaderView* header = ProgramListView->header();
  const std::int32_t sortCol = m_state.prefs.SortCol;
  const bool shown = sortCol != 0 && std::abs(sortCol) <= static_cast<std::int32_t>(kColumnCount);
  header->setSortIndicatorShown(shown);
  if (shown) header->setSortIndicator(std::abs(sortCol) - 1, sortCol > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  const bool viewport = std::find(m_viewports.begin(), m_viewports.end(), watched) != m_viewports.end();
  if (!viewport) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (m_manager.acceptsDrag(draggedUrls(drag->mimeData()), drag->possibleActions() & Qt::CopyAction)) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const std::vector<std::string> files = m_manager.droppedFiles(draggedUrls(drop->mimeData()));
      if (files.empty()) return true;
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      m_manager.DropFiles(files);
      updateCommands();
      return true;
    }
    default:
      return QMainWindow::eventFilter(watched, event);
  }
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
  if (m_state.run.WindowOpened) {
    // Back in the window: rows it has not changed show what kipctl or another user stored meanwhile.
    m_manager.showStoredDefinitions();
    updateCommands();
    return;
  }
  auto& prefs = m_state.prefs;
  for (std::size_t col = 0; col < kColumnCount; ++col)
    if (columnWidthApplies(prefs.ColWidths[col]))
      ProgramListView->header()->resizeSection(static_cast<int>(col), prefs.ColWidths[col]);
  // The secondary windows, created once and reused.
  kip::FormCreate(m_formState, {m_services.registry, m_state.env, m_services.system});
  m_programForm = new TProgramForm(
      m_formState, {m_services.prompts, m_evaluator, [](int topic) { kip::openHelpTopic(topic); }}, this);
  if (prefs.PgmTop >= 0) m_programForm->move(prefs.PgmLeft, prefs.PgmTop);
  m_optionsForm = new TOptionsForm({prefs, m_state.net, m_probe, m_services.prompts}, this);
  m_aboutBox = new TAboutBox({m_state.env, prefs, m_state.net, m_probe, m_services.system}, this);
  m_manager.FormActivate();
  updateSortIndicator();
  // The main window carries its own taskbar entry from now on.
  m_appWindow->hide();
  m_showApp = true;
  updateCommands();
}

std::vector<DefinitionPtr> TMainForm::viewOrder() const { return m_manager.list().definitions(); }

void TMainForm::raiseWindow() {
  raise();
  // A Wayland compositor gives the focus only on a token the second copy does not have; the
  // compositors' own interfaces bring the window forward without one.
  const auto session = SessionFacts::fromEnvironment();
  switch (windowDesktopOf(session)) {
    case WindowDesktop::Sway:
      SwayWindows(session.swaySocket).postCommand(getpid(), WindowCommand::Default);
      break;
    case WindowDesktop::Hyprland:
      HyprlandWindows(session.hyprlandSocket).postCommand(getpid(), WindowCommand::Default);
      break;
    case WindowDesktop::KWin:
      KWinWindows().postCommand(getpid(), WindowCommand::Default);
      break;
    case WindowDesktop::Wlr:
      // The protocol names no process: this copy's window is the one that carries its app id, whenever
      // it appeared.
      if (const auto toplevels = WlrToplevels::connect(session.waylandDisplay)) {
        toplevels->registerStart(getpid(), {QGuiApplication::desktopFileName().toStdString()}, {});
        WlrWindows(toplevels).postCommand(getpid(), WindowCommand::Default);
      }
      break;
    default:
      break;
  }
}

void TMainForm::sessionEnd() {
  m_sessionEnding = true;
  finishProgram();
}

bool TMainForm::trayAvailable() const { return m_trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable()); }

bool TMainForm::FormCloseQuery() {
  switch (m_manager.FormCloseQuery(m_trayActive, trayAvailable())) {
    case CloseOutcome::Close:
      return true;
    case CloseOutcome::Stay:
      return false;
    case CloseOutcome::Hide:
      hide();
      m_appWindow->hide();
      return false;
    case CloseOutcome::Minimize:
      showMinimized();
      return false;
    case CloseOutcome::ToTaskbarWindow:
      hide();
      m_appWindow->showMinimized();
      return false;
  }
  return false;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (m_closed) {
    event->accept();
    return;
  }
  if (!m_sessionEnding && !m_closeConfirmed && !FormCloseQuery()) {
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
  if (!m_manager.TrayExitQuery()) return;
  // The unsaved changes were dealt with just now; the close does not ask again.
  m_closeConfirmed = true;
  MyTimer->stop();
  setTrayIconActive(false);
  close();
}

QString TMainForm::applicationTitle() const { return m_appWindow->title(); }

bool TMainForm::showDefinitionDialog(DialogPage page) {
  if (!m_programForm) return false;
  m_dialogShown = true;
  if (page == DialogPage::Current) return m_programForm->showModal(m_formState.ActivePage);
  // The Status page for this once; the dialog then opens on the page it showed before.
  const ProgramFormPage before = m_formState.ActivePage;
  const bool ok = m_programForm->showModal(ProgramFormPage::Status);
  m_formState.ActivePage = before;
  return ok;
}

bool TMainForm::showOptionsDialog() { return m_optionsForm && m_optionsForm->showModal(); }

void TMainForm::showAboutBox() {
  if (m_aboutBox) m_aboutBox->showModal();
}

void TMainForm::openHelpTopic(int topic) { kip::openHelpTopic(topic); }

void TMainForm::beep() { QApplication::beep(); }

void TMainForm::startRename(std::size_t row) {
  QAbstractItemView* view = currentView();
  const QModelIndex index = m_model->index(static_cast<int>(row), 0);
  view->setCurrentIndex(index);
  view->edit(index);
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
    // A dialog never shown has no place of its own yet: the stored one stays.
    if (m_programForm && m_dialogShown) {
      prefs.PgmTop = m_programForm->y();
      prefs.PgmLeft = m_programForm->x();
    }
    for (std::size_t col = 0; col < kColumnCount; ++col)
      prefs.ColWidths[col] = ProgramListView->header()->sectionSize(static_cast<int>(col));
  }
  m_engine.writeProgramEnd();
}

}  // namespace kip
