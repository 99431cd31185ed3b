#include "ui/main_form.h"

#include <algorithm>

#include <QAccessible>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

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
#include "ui/speed_glyphs.h"

namespace kip {

namespace {

QString toQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr int kMainHelpTopic = 5;
constexpr int kSpeedBarHelpTopic = 10;
constexpr int kTrayRetryLimit = 5;
constexpr int kTrayRetryMs = 3000;

enum ViewStyle { kLargeIcons, kSmallIcons, kList, kDetails };

// Names a control for assistive technology: its caption (or hint) as name, its control name as description.
void describe(QWidget* widget, const QString& name, const char* control = nullptr) {
  widget->setAccessibleName(QString(name).remove('&'));
  if (control) widget->setAccessibleDescription(QString::fromLatin1(control));
}

// The local files among dropped URLs; empty when there is none.
QStringList droppedFiles(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
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
  buildActions();
  buildMenus();
  buildSpeedBar();
  buildPopup();
  statusBar()->setSizeGripEnabled(true);
  buildTrayIcon();
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
    describe(view, "main screen", "ProgramListView");
    connect(view, &QAbstractItemView::doubleClicked, this, [this] { run(&DefinitionManager::PropertiesClick); });
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
      if (preparePopup()) m_popup->exec(view->viewport()->mapToGlobal(pos));
    });
  }
  QHeaderView* header = ProgramListView->header();
  header->setSectionsClickable(true);
  header->setSectionsMovable(false);
  header->setStretchLastSection(false);
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

void TMainForm::buildActions() {
  auto& a = m_actions;
  auto make = [this](const QString& text, const char* name, void (TMainForm::*slot)()) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    if (slot) connect(action, &QAction::triggered, this, slot);
    return action;
  };
  auto command = [this](const QString& text, const char* name, void (DefinitionManager::*cmd)()) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, [this, cmd] { run(cmd); });
    return action;
  };
  QStyle* s = style();
  a.Save = command("&Save", "FileSave", &DefinitionManager::SaveClick);
  a.Save->setShortcut(QKeySequence("Ctrl+S"));
  a.Export = command("&Export...", "FileExport", &DefinitionManager::ExportClick);
  a.Import = command("&Import...", "FileImport", &DefinitionManager::ImportClick);
  a.Exit = make("E&xit", "FileExit", nullptr);
  connect(a.Exit, &QAction::triggered, this, &QWidget::close);
  a.Undelete = command("&Undelete", "EditUndelete", &DefinitionManager::EditUndeleteClick);
  a.Undelete->setShortcut(QKeySequence("Ctrl+Z"));
  a.Undelete->setStatusTip("Restore last item deleted");
  a.Undelete->setToolTip("Restore last item deleted");
  a.New = command("&New", "EditNew", &DefinitionManager::EditNewClick);
  a.New->setShortcut(QKeySequence(Qt::Key_Insert));
  a.Copy = command("&Copy", "EditCopy", &DefinitionManager::EditCopyClick);
  a.Copy->setShortcut(QKeySequence("Ctrl+C"));
  a.Delete = command("&Delete", "EditDelete", &DefinitionManager::EditDeleteClick);
  a.Delete->setShortcut(QKeySequence("Ctrl+Del"));
  a.Properties = command("&Properties", "EditProperties", &DefinitionManager::PropertiesClick);
  a.Global = command("&Global", "EditGlobal", &DefinitionManager::ScopeClick);
  a.Local = command("&Local", "EditLocal", &DefinitionManager::ScopeClick);
  a.Advanced = command("&Advanced...", "OptionsAdvanced", &DefinitionManager::AdvancedClick);
  a.Contents = command("&Contents", "HelpContents", &DefinitionManager::HelpClick);
  a.About = command("&About...", "HelpAbout", &DefinitionManager::AboutClick);

  auto button = [&](const char* hint, const char* name, QStyle::StandardPixmap icon, const char* themeIcon) {
    auto* action = new QAction(QIcon::fromTheme(QString::fromLatin1(themeIcon), s->standardIcon(icon)),
                               QString::fromLatin1(hint), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(QString::fromLatin1(hint));
    return action;
  };
  a.NewButton = button("New", "NewButton", QStyle::SP_FileIcon, "document-new");
  a.CopyButton = button("Copy", "CopyButton", QStyle::SP_FileLinkIcon, "edit-copy");
  a.DeleteButton = button("Delete", "DeleteButton", QStyle::SP_TrashIcon, "edit-delete");
  a.EditButton = button("Edit", "EditButton", QStyle::SP_FileDialogInfoView, "document-properties");
  // Where the icon theme lacks them, glyphs of our own: the style's pictures for these are hard to tell apart.
  const std::pair<QAction*, SpeedGlyph> glyphs[] = {{a.NewButton, SpeedGlyph::New},
                                                    {a.CopyButton, SpeedGlyph::Copy},
                                                    {a.DeleteButton, SpeedGlyph::Delete},
                                                    {a.EditButton, SpeedGlyph::Edit}};
  for (const auto& [action, glyph] : glyphs)
    if (!QIcon::hasThemeIcon(action->icon().name()) || action->icon().name().isEmpty())
      action->setIcon(speedGlyph(glyph));
  a.IconView = button("Icon", "IconView", QStyle::SP_FileDialogContentsView, "view-list-icons");
  a.SmallIconView = button("Small Icon", "SmallIconView", QStyle::SP_FileDialogListView, "view-list-compact");
  a.ListView = button("List", "ListView", QStyle::SP_FileDialogListView, "view-list-text");
  a.ReportView = button("Details", "ReportView", QStyle::SP_FileDialogDetailedView, "view-list-details");
  // The style draws small icons and list alike: tell them apart where the theme has neither.
  if (!QIcon::hasThemeIcon(QStringLiteral("view-list-compact")))
    a.SmallIconView->setIcon(speedGlyph(SpeedGlyph::SmallIcons));
  if (!QIcon::hasThemeIcon(QStringLiteral("view-list-text"))) a.ListView->setIcon(speedGlyph(SpeedGlyph::List));
  a.RunButton = button("Execute All", "RunButton", QStyle::SP_MediaPlay, "media-playback-start");
  a.SoonerButton = button("Start Earlier", "SoonerButton", QStyle::SP_ArrowUp, "go-up");
  a.LaterButton = button("Start Later", "LaterButton", QStyle::SP_ArrowDown, "go-down");
  a.HelpButton = button("Help", "HelpButton", QStyle::SP_DialogHelpButton, "help-contents");
  if (a.HelpButton->icon().name().isEmpty()) a.HelpButton->setIcon(speedGlyph(SpeedGlyph::Help));
  connect(a.NewButton, &QAction::triggered, this, [this] { run(&DefinitionManager::EditNewClick); });
  connect(a.CopyButton, &QAction::triggered, this, [this] { run(&DefinitionManager::EditCopyClick); });
  connect(a.DeleteButton, &QAction::triggered, this, [this] { run(&DefinitionManager::EditDeleteClick); });
  connect(a.EditButton, &QAction::triggered, this, [this] { run(&DefinitionManager::PropertiesClick); });
  connect(a.RunButton, &QAction::triggered, this, [this] { run(&DefinitionManager::RunButtonClick); });
  connect(a.SoonerButton, &QAction::triggered, this, [this] { run(&DefinitionManager::StartSoonerClick); });
  connect(a.LaterButton, &QAction::triggered, this, [this] { run(&DefinitionManager::StartLaterClick); });
  connect(a.HelpButton, &QAction::triggered, this, [this] { run(&DefinitionManager::HelpClick); });
  auto* styles = new QActionGroup(this);
  int style = kLargeIcons;
  for (QAction* action : {a.IconView, a.SmallIconView, a.ListView, a.ReportView}) {
    action->setCheckable(true);
    styles->addAction(action);
    connect(action, &QAction::triggered, this, [this, style] { setViewStyle(style); });
    ++style;
  }
  a.ReportView->setChecked(true);

  auto popup = [&](const QString& text, const char* name, const char* hint, void (DefinitionManager::*cmd)()) {
    auto* action = command(text, name, cmd);
    if (hint) action->setStatusTip(QString::fromLatin1(hint)), action->setToolTip(QString::fromLatin1(hint));
    return action;
  };
  a.EditPop = popup("&Edit Properties", "EditPop", "Edit program settings", &DefinitionManager::PropertiesClick);
  a.DisablePop = popup("D&isable", "DisablePop", nullptr, &DefinitionManager::DisableClick);
  a.EnablePop = popup("Ena&ble", "EnablePop", nullptr, &DefinitionManager::DisableClick);
  a.TestPop = popup("&Test", "TestPop", "Test start conditions", &DefinitionManager::TestClick);
  a.RunPop = make("&Run", "RunPop", nullptr);
  a.RunPop->setStatusTip("Execute the program now");
  a.RunPop->setToolTip("Execute the program now");
  a.RunMsgPop = make("Run &with Action", "RunMsgPop", nullptr);
  connect(a.RunPop, &QAction::triggered, this, [this] {
    m_manager.RunPopClick(0);
    updateCommands();
  });
  connect(a.RunMsgPop, &QAction::triggered, this, [this] {
    m_manager.RunPopClick(1);
    updateCommands();
  });
  a.CancelActPop = popup("Ca&ncel Action", "CancelActPop", nullptr, &DefinitionManager::CancelPopClick);
  a.CancelRunPop = popup("C&ancel Run", "CancelRunPop", nullptr, &DefinitionManager::CancelPopClick);
  a.CopyPop = popup("&Copy", "CopyPop", "Copy program", &DefinitionManager::EditCopyClick);
  a.DeletePop = popup("&Delete", "DeletePop", "Delete this line", &DefinitionManager::EditDeleteClick);
  a.RenamePop = popup("Rena&me", "RenamePop", "Rename this entry", &DefinitionManager::RenameClick);
  a.SoonerPop = popup("Start &Sooner", "SoonerPop", nullptr, &DefinitionManager::StartSoonerClick);
  a.LaterPop = popup("Start &Later", "LaterPop", nullptr, &DefinitionManager::StartLaterClick);
  a.TrayOpen = make("&Open", "TrayOpen", &TMainForm::trayOpen);
  a.TrayOpenOnTop = make("Open on &Top", "TrayOpenOnTop", &TMainForm::trayOpenOnTop);
  a.TrayExit = make("E&xit", "TrayExit", &TMainForm::trayExit);
}

void TMainForm::buildMenus() {
  auto& a = m_actions;
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction(a.Save);
  file->addSeparator();
  file->addActions({a.Export, a.Import});
  file->addSeparator();
  file->addAction(a.Exit);
  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->addAction(a.Undelete);
  edit->addSeparator();
  edit->addActions({a.New, a.Copy, a.Delete});
  edit->addSeparator();
  edit->addAction(a.Properties);
  edit->addSeparator();
  edit->addActions({a.Global, a.Local});
  QMenu* options = menuBar()->addMenu("&Options");
  options->addAction(a.Advanced);
  QMenu* help = menuBar()->addMenu("&Help");
  help->addActions({a.Contents, a.About});
  for (QMenu* menu : {file, edit, options, help}) {
    menu->setToolTipsVisible(true);
    describe(menu, menu->title());
  }
}

void TMainForm::buildSpeedBar() {
  auto& a = m_actions;
  m_speedBar = addToolBar("Speed bar");
  m_speedBar->setObjectName("SpeedBar");
  m_speedBar->setProperty("kipHelpTopic", kSpeedBarHelpTopic);
  m_speedBar->setMovable(false);
  m_speedBar->setFloatable(false);
  m_speedBar->setIconSize(QSize(19, 19));
  m_speedBar->addActions({a.NewButton, a.CopyButton, a.DeleteButton, a.EditButton});
  m_speedBar->addSeparator();
  m_speedBar->addActions({a.IconView, a.SmallIconView, a.ListView, a.ReportView});
  m_speedBar->addSeparator();
  m_speedBar->addAction(a.RunButton);
  m_speedBar->addSeparator();
  m_speedBar->addActions({a.SoonerButton, a.LaterButton});
  m_speedBar->addSeparator();
  m_speedBar->addAction(a.HelpButton);
  static constexpr const char* kPartNames[] = {"IconView", "SmallIconView", "ListView", "ReportView", "RunButton"};
  for (QAction* action : m_speedBar->actions()) {
    auto* button = qobject_cast<QToolButton*>(m_speedBar->widgetForAction(action));
    if (!button) continue;
    button->setAutoRaise(true);
    button->setFixedSize(25, 25);
    // Reachable with Tab, so that Execute All and the view styles need no mouse either.
    button->setFocusPolicy(Qt::TabFocus);
    button->setObjectName(action->objectName());
    const char* partName = nullptr;
    for (const char* name : kPartNames)
      if (action->objectName() == QLatin1String(name)) partName = name;
    describe(button, action->toolTip(), partName);
  }
}

void TMainForm::buildPopup() {
  auto& a = m_actions;
  m_popup = new QMenu(this);
  m_popup->setObjectName("ProgramPopup");
  m_popup->setToolTipsVisible(true);
  m_popup->addActions({a.EditPop, a.DisablePop, a.EnablePop});
  QFont bold = a.EditPop->font();
  bold.setBold(true);
  a.EditPop->setFont(bold);
  m_popup->setDefaultAction(a.EditPop);
  m_popup->addSeparator();
  m_popup->addActions({a.TestPop, a.RunPop});
  m_popup->addSeparator();
  m_popup->addActions({a.RunMsgPop, a.CancelActPop, a.CancelRunPop});
  a.ActionLine = m_popup->addSeparator();
  a.ActionLine->setObjectName("ActionLine");
  m_popup->addAction(a.CopyPop);
  m_popup->addSeparator();
  m_popup->addActions({a.DeletePop, a.RenamePop});
  m_popup->addSeparator();
  m_popup->addActions({a.SoonerPop, a.LaterPop});
}

void TMainForm::buildTrayIcon() {
  announceProgramIdentity();
  const QIcon icon = programIcon();
  setWindowIcon(icon);
  TrayIcon1 = new QSystemTrayIcon(icon, this);
  TrayIcon1->setObjectName("TrayIcon1");
  TrayIcon1->setToolTip(toQt(kAppTitle));
  auto* menu = new QMenu(this);
  menu->setObjectName("TrayMenu");
  menu->addActions({m_actions.TrayOpen, m_actions.TrayOpenOnTop});
  menu->addSeparator();
  menu->addAction(m_actions.TrayExit);
  TrayIcon1->setContextMenu(menu);
  // StatusNotifierItem desktops send a single activation and never a double-click: both open.
  connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) trayOpen();
  });
}

void TMainForm::run(void (DefinitionManager::*command)()) {
  (m_manager.*command)();
  // A removed row hands the selection to its neighbour while the command still runs: take it up now.
  selectionChanged();
}

QAbstractItemView* TMainForm::currentView() const {
  return m_views->currentWidget() == ProgramListView ? static_cast<QAbstractItemView*>(ProgramListView)
                                                     : static_cast<QAbstractItemView*>(m_iconView);
}

void TMainForm::setViewStyle(int style) {
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
      // Copy only: a move would let the source delete the file.
      if (m_state.run.WindowOpened && !droppedFiles(drag->mimeData()).isEmpty() &&
          (drag->possibleActions() & Qt::CopyAction)) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QStringList files = droppedFiles(drop->mimeData());
      if (!m_state.run.WindowOpened || files.isEmpty()) return true;
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      std::vector<std::string> paths;
      for (const QString& file : files) paths.push_back(file.toStdString());
      m_manager.DropFiles(paths);
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
  if (m_state.run.WindowOpened) return;
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

void TMainForm::raiseWindow() { raise(); }

void TMainForm::sessionEnd() {
  m_sessionEnding = true;
  finishProgram();
}

bool TMainForm::trayAvailable() const { return m_trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable()); }

bool TMainForm::FormCloseQuery() {
  if (m_state.run.WindowOpened && m_trayActive) {
    // The start queue has work: go to the notification area instead of closing. Without one, minimise,
    // so that the window can still be found.
    if (m_state.run.StartupCountdown <= 0 && trayAvailable()) {
      hide();
      m_appWindow->hide();
    } else if (m_state.run.StartupCountdown <= 0) {
      showMinimized();
    } else {
      hide();
      m_appWindow->showMinimized();
    }
    return false;
  }
  return m_manager.ConfirmSave();
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
  if (m_state.run.WindowOpened && !m_manager.ConfirmSave()) return;
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

void TMainForm::setApplicationTitle(std::string_view title) { m_appWindow->setTitle(toQt(title)); }

void TMainForm::setMainCaption(std::string_view caption) { setWindowTitle(toQt(caption)); }

void TMainForm::setShowApp(bool shown) {
  m_showApp = shown;
  // A tick shows the taskbar window only as the queue ends; with the window never opened the program
  // ends right after, and showing it would only flash it on the desktop.
  if (shown && m_queue.inTick() && !m_state.run.WindowOpened) return;
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
  // At logon the panel may come up after the program: try again a few times.
  if (active && !QSystemTrayIcon::isSystemTrayAvailable() && m_trayRetries < kTrayRetryLimit) {
    ++m_trayRetries;
    QTimer::singleShot(kTrayRetryMs, this, [this] {
      if (m_trayActive && !TrayIcon1->isVisible()) setTrayIconActive(true);
    });
  }
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
  m_manager.list().setQueueColumns(row, timers, result);
}

std::vector<DefinitionPtr> TMainForm::hiddenDefinitions() { return m_state.hidden; }

std::vector<DefinitionPtr> TMainForm::allDefinitions() { return m_state.definitions; }

bool TMainForm::showStatusPage(StartDefinition& definition) {
  if (!m_programForm) return false;
  return m_manager.showStatusPage(definition);
}

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
  writePreferences(m_services.registry, prefs, m_state.run.WindowOpened);
  if (m_state.run.LogonStart) writePreviousStart(m_services.registry, m_state.env);
}

}  // namespace kip
