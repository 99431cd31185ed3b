#include "ui/main_form_actions.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <iterator>

#include "ui/logic/definition_manager.h"
#include "ui/main_form.h"

namespace kip {

namespace {

constexpr int kSpeedBarHelpTopic = 10;

// The menu bar's menus, in the order of their places.
constexpr const char* kMenuTitles[] = {"&File", "&Edit", "&Options", "&Help"};
static_assert(std::size(kMenuTitles) == static_cast<std::size_t>(ActionPlace::SpeedBar));

// Names a control for assistive technology: its caption (or hint) as name, its control name as description.
void describe(QWidget* widget, const QString& name, const QString& control = {}) {
  widget->setAccessibleName(QString(name).remove('&'));
  if (!control.isEmpty()) widget->setAccessibleDescription(control);
}

// The theme's picture, else the style's, else our glyph as the row says.
QIcon speedButtonIcon(const ActionIcon& icon, const QStyle& style) {
  const QIcon found = QIcon::fromTheme(QString::fromLatin1(icon.theme), style.standardIcon(icon.standard));
  bool glyph = false;
  switch (icon.glyphUse) {
    case GlyphUse::Never:
      break;
    case GlyphUse::UnlessThemed:
      glyph = found.name().isEmpty() || !QIcon::hasThemeIcon(found.name());
      break;
    case GlyphUse::UnlessThemeHasIt:
      glyph = !QIcon::hasThemeIcon(QString::fromLatin1(icon.theme));
      break;
    case GlyphUse::UnlessNamed:
      glyph = found.name().isEmpty();
      break;
  }
  return glyph ? speedGlyph(icon.glyph) : found;
}

// A row's action with its texts, picture, check state and command; the view styles share one group.
QAction* makeAction(QMainWindow& window, const ActionRow& row, const std::function<void(const ActionRow&)>& trigger,
                    QActionGroup*& styles) {
  const QString caption = QString::fromLatin1(row.caption);
  auto* action = new QAction(caption, &window);
  action->setObjectName(QString::fromLatin1(row.objectName));
  if (row.place == ActionPlace::SpeedBar) {
    action->setIcon(speedButtonIcon(row.icon, *window.style()));
    action->setToolTip(caption);
  } else if (row.hint) {
    action->setStatusTip(QString::fromLatin1(row.hint));
    action->setToolTip(QString::fromLatin1(row.hint));
  }
  if (row.shortcut) action->setShortcut(QKeySequence(QString::fromLatin1(row.shortcut)));
  if (row.flags & kViewStyle) {
    if (!styles) styles = new QActionGroup(&window);
    action->setCheckable(true);
    styles->addAction(action);
  }
  if (row.flags & kChecked) action->setChecked(true);
  if (row.flags & kDefaultItem) {
    QFont bold = action->font();
    bold.setBold(true);
    action->setFont(bold);
  }
  QObject::connect(action, &QAction::triggered, &window, [trigger, &row] { trigger(row); });
  return action;
}

// Adds the rows of place to a menu, with the separators in front of them.
void fillMenu(QMenu* menu, ActionPlace place, std::span<const ActionRow> rows, MainFormActions& actions) {
  for (const ActionRow& row : rows) {
    if (row.place != place) continue;
    if (row.flags & kLineBefore) menu->addSeparator();
    if (!row.caption) {
      QAction* line = menu->addSeparator();
      line->setObjectName(QString::fromLatin1(row.objectName));
      actions.*row.action = line;
      continue;
    }
    QAction* action = actions.*row.action;
    menu->addAction(action);
    if (row.flags & kDefaultItem) menu->setDefaultAction(action);
  }
}

QToolBar* buildSpeedBar(QMainWindow& window, std::span<const ActionRow> rows, const MainFormActions& actions) {
  QToolBar* bar = window.addToolBar("Speed bar");
  bar->setObjectName("SpeedBar");
  bar->setProperty("kipHelpTopic", kSpeedBarHelpTopic);
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setIconSize(QSize(19, 19));
  for (const ActionRow& row : rows) {
    if (row.place != ActionPlace::SpeedBar) continue;
    if (row.flags & kLineBefore) bar->addSeparator();
    QAction* action = actions.*row.action;
    bar->addAction(action);
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    if (!button) continue;
    button->setAutoRaise(true);
    button->setFixedSize(25, 25);
    // Reachable with Tab, so that Execute All and the view styles need no mouse either.
    button->setFocusPolicy(Qt::TabFocus);
    button->setObjectName(action->objectName());
    describe(button, action->toolTip(), row.flags & kNamedControl ? action->objectName() : QString());
  }
  return bar;
}

}  // namespace

ActionPlaces buildMainFormActions(QMainWindow& window, std::span<const ActionRow> rows, MainFormActions& actions,
                                  const std::function<void(const ActionRow&)>& trigger) {
  QActionGroup* styles = nullptr;
  for (const ActionRow& row : rows)
    if (row.caption) actions.*row.action = makeAction(window, row, trigger, styles);

  int place = 0;
  for (const char* title : kMenuTitles) {
    QMenu* menu = window.menuBar()->addMenu(QString::fromLatin1(title));
    fillMenu(menu, static_cast<ActionPlace>(place++), rows, actions);
    menu->setToolTipsVisible(true);
    describe(menu, menu->title());
  }
  ActionPlaces places{};
  places.speedBar = buildSpeedBar(window, rows, actions);
  places.rowPopup = new QMenu(&window);
  places.rowPopup->setObjectName("ProgramPopup");
  places.rowPopup->setToolTipsVisible(true);
  fillMenu(places.rowPopup, ActionPlace::RowPopup, rows, actions);
  places.trayMenu = new QMenu(&window);
  places.trayMenu->setObjectName("TrayMenu");
  fillMenu(places.trayMenu, ActionPlace::TrayMenu, rows, actions);
  return places;
}

std::span<const ActionRow> TMainForm::actionRows() {
  using A = MainFormActions;
  using M = DefinitionManager;
  using S = QStyle;
  using enum ActionPlace;
  using enum GlyphUse;
  // clang-format off
  static constexpr ActionRow kRows[] = {
      {.action = &A::Save, .objectName = "FileSave", .caption = "&Save", .shortcut = "Ctrl+S",
       .command = &M::SaveClick, .place = FileMenu},
      {.action = &A::Export, .objectName = "FileExport", .caption = "&Export...",
       .command = &M::ExportClick, .place = FileMenu, .flags = kLineBefore},
      {.action = &A::Import, .objectName = "FileImport", .caption = "&Import...",
       .command = &M::ImportClick, .place = FileMenu},
      {.action = &A::Exit, .objectName = "FileExit", .caption = "E&xit",
       .window = [](TMainForm& f) { f.close(); }, .place = FileMenu, .flags = kLineBefore},

      {.action = &A::Undelete, .objectName = "EditUndelete", .caption = "&Undelete", .shortcut = "Ctrl+Z",
       .hint = "Restore last item deleted", .command = &M::EditUndeleteClick, .place = EditMenu},
      {.action = &A::New, .objectName = "EditNew", .caption = "&New", .shortcut = "Ins",
       .command = &M::EditNewClick, .place = EditMenu, .flags = kLineBefore},
      {.action = &A::Copy, .objectName = "EditCopy", .caption = "&Copy", .shortcut = "Ctrl+C",
       .command = &M::EditCopyClick, .place = EditMenu},
      {.action = &A::Delete, .objectName = "EditDelete", .caption = "&Delete", .shortcut = "Ctrl+Del",
       .command = &M::EditDeleteClick, .place = EditMenu},
      {.action = &A::Properties, .objectName = "EditProperties", .caption = "&Properties",
       .command = &M::PropertiesClick, .place = EditMenu, .flags = kLineBefore},
      {.action = &A::Global, .objectName = "EditGlobal", .caption = "&Global",
       .command = &M::ScopeClick, .place = EditMenu, .flags = kLineBefore},
      {.action = &A::Local, .objectName = "EditLocal", .caption = "&Local",
       .command = &M::ScopeClick, .place = EditMenu},

      {.action = &A::Advanced, .objectName = "OptionsAdvanced", .caption = "&Advanced...",
       .command = &M::AdvancedClick, .place = OptionsMenu},

      {.action = &A::Contents, .objectName = "HelpContents", .caption = "&Contents",
       .command = &M::HelpClick, .place = HelpMenu},
      {.action = &A::About, .objectName = "HelpAbout", .caption = "&About...",
       .command = &M::AboutClick, .place = HelpMenu},

      // Where the icon theme lacks them, glyphs of our own: the style's pictures for New, Copy, Delete and
      // Edit are hard to tell apart, and it draws small icons and list alike.
      {.action = &A::NewButton, .objectName = "NewButton", .caption = "New",
       .icon = {"document-new", S::SP_FileIcon, UnlessThemed, SpeedGlyph::New},
       .command = &M::EditNewClick, .place = SpeedBar},
      {.action = &A::CopyButton, .objectName = "CopyButton", .caption = "Copy",
       .icon = {"edit-copy", S::SP_FileLinkIcon, UnlessThemed, SpeedGlyph::Copy},
       .command = &M::EditCopyClick, .place = SpeedBar},
      {.action = &A::DeleteButton, .objectName = "DeleteButton", .caption = "Delete",
       .icon = {"edit-delete", S::SP_TrashIcon, UnlessThemed, SpeedGlyph::Delete},
       .command = &M::EditDeleteClick, .place = SpeedBar},
      {.action = &A::EditButton, .objectName = "EditButton", .caption = "Edit",
       .icon = {"document-properties", S::SP_FileDialogInfoView, UnlessThemed, SpeedGlyph::Edit},
       .command = &M::PropertiesClick, .place = SpeedBar},
      {.action = &A::IconView, .objectName = "IconView", .caption = "Icon",
       .icon = {"view-list-icons", S::SP_FileDialogContentsView},
       .window = [](TMainForm& f) { f.setViewStyle(kLargeIcons); }, .place = SpeedBar,
       .flags = kLineBefore | kViewStyle | kNamedControl},
      {.action = &A::SmallIconView, .objectName = "SmallIconView", .caption = "Small Icon",
       .icon = {"view-list-compact", S::SP_FileDialogListView, UnlessThemeHasIt, SpeedGlyph::SmallIcons},
       .window = [](TMainForm& f) { f.setViewStyle(kSmallIcons); }, .place = SpeedBar,
       .flags = kViewStyle | kNamedControl},
      {.action = &A::ListView, .objectName = "ListView", .caption = "List",
       .icon = {"view-list-text", S::SP_FileDialogListView, UnlessThemeHasIt, SpeedGlyph::List},
       .window = [](TMainForm& f) { f.setViewStyle(kList); }, .place = SpeedBar,
       .flags = kViewStyle | kNamedControl},
      {.action = &A::ReportView, .objectName = "ReportView", .caption = "Details",
       .icon = {"view-list-details", S::SP_FileDialogDetailedView},
       .window = [](TMainForm& f) { f.setViewStyle(kDetails); }, .place = SpeedBar,
       .flags = kViewStyle | kChecked | kNamedControl},
      {.action = &A::RunButton, .objectName = "RunButton", .caption = "Execute All",
       .icon = {"media-playback-start", S::SP_MediaPlay},
       .command = &M::RunButtonClick, .place = SpeedBar, .flags = kLineBefore | kNamedControl},
      {.action = &A::SoonerButton, .objectName = "SoonerButton", .caption = "Start Earlier",
       .icon = {"go-up", S::SP_ArrowUp},
       .command = &M::StartSoonerClick, .place = SpeedBar, .flags = kLineBefore},
      {.action = &A::LaterButton, .objectName = "LaterButton", .caption = "Start Later",
       .icon = {"go-down", S::SP_ArrowDown},
       .command = &M::StartLaterClick, .place = SpeedBar},
      {.action = &A::HelpButton, .objectName = "HelpButton", .caption = "Help",
       .icon = {"help-contents", S::SP_DialogHelpButton, UnlessNamed, SpeedGlyph::Help},
       .command = &M::HelpClick, .place = SpeedBar, .flags = kLineBefore},

      {.action = &A::EditPop, .objectName = "EditPop", .caption = "&Edit Properties",
       .hint = "Edit program settings", .command = &M::PropertiesClick, .place = RowPopup, .flags = kDefaultItem},
      {.action = &A::DisablePop, .objectName = "DisablePop", .caption = "D&isable",
       .command = &M::DisableClick, .place = RowPopup},
      {.action = &A::EnablePop, .objectName = "EnablePop", .caption = "Ena&ble",
       .command = &M::DisableClick, .place = RowPopup},
      {.action = &A::TestPop, .objectName = "TestPop", .caption = "&Test",
       .hint = "Test start conditions", .command = &M::TestClick, .place = RowPopup, .flags = kLineBefore},
      {.action = &A::RunPop, .objectName = "RunPop", .caption = "&Run",
       .hint = "Execute the program now", .window = [](TMainForm& f) { f.runPopup(0); }, .place = RowPopup},
      {.action = &A::RunMsgPop, .objectName = "RunMsgPop", .caption = "Run &with Action",
       .window = [](TMainForm& f) { f.runPopup(1); }, .place = RowPopup, .flags = kLineBefore},
      {.action = &A::CancelActPop, .objectName = "CancelActPop", .caption = "Ca&ncel Action",
       .command = &M::CancelPopClick, .place = RowPopup},
      {.action = &A::CancelRunPop, .objectName = "CancelRunPop", .caption = "C&ancel Run",
       .command = &M::CancelPopClick, .place = RowPopup},
      // The line under the start queue's items, hidden with them.
      {.action = &A::ActionLine, .objectName = "ActionLine", .place = RowPopup},
      {.action = &A::CopyPop, .objectName = "CopyPop", .caption = "&Copy",
       .hint = "Copy program", .command = &M::EditCopyClick, .place = RowPopup},
      {.action = &A::DeletePop, .objectName = "DeletePop", .caption = "&Delete",
       .hint = "Delete this line", .command = &M::EditDeleteClick, .place = RowPopup, .flags = kLineBefore},
      {.action = &A::RenamePop, .objectName = "RenamePop", .caption = "Rena&me",
       .hint = "Rename this entry", .command = &M::RenameClick, .place = RowPopup},
      {.action = &A::SoonerPop, .objectName = "SoonerPop", .caption = "Start &Sooner",
       .command = &M::StartSoonerClick, .place = RowPopup, .flags = kLineBefore},
      {.action = &A::LaterPop, .objectName = "LaterPop", .caption = "Start &Later",
       .command = &M::StartLaterClick, .place = RowPopup},

      {.action = &A::TrayOpen, .objectName = "TrayOpen", .caption = "&Open",
       .window = [](TMainForm& f) { f.trayOpen(); }, .place = TrayMenu},
      {.action = &A::TrayOpenOnTop, .objectName = "TrayOpenOnTop", .caption = "Open on &Top",
       .window = [](TMainForm& f) { f.trayOpenOnTop(); }, .place = TrayMenu},
      {.action = &A::TrayExit, .objectName = "TrayExit", .caption = "E&xit",
       .window = [](TMainForm& f) { f.trayExit(); }, .place = TrayMenu, .flags = kLineBefore},
  };
  // clang-format on
  return kRows;
}

}  // namespace kip
