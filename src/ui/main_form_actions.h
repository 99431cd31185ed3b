#pragma once

#include <QStyle>
#include <cstdint>
#include <functional>
#include <span>

#include "ui/speed_glyphs.h"

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace kip {

class DefinitionManager;
class TMainForm;

// The commands of the menus, the speed buttons, the row pop-up and the notification icon's menu; one action
// per command and place.
struct MainFormActions {
  QAction *Save, *Export, *Import, *Exit;
  QAction *Undelete, *New, *Copy, *Delete, *Properties, *Global, *Local;
  QAction *Advanced, *Contents, *About;
  QAction *NewButton, *CopyButton, *DeleteButton, *EditButton, *IconView, *SmallIconView, *ListView, *ReportView,
      *RunButton, *SoonerButton, *LaterButton, *HelpButton;
  QAction *EditPop, *DisablePop, *EnablePop, *TestPop, *RunPop, *RunMsgPop, *CancelActPop, *CancelRunPop, *ActionLine,
      *CopyPop, *DeletePop, *RenamePop, *SoonerPop, *LaterPop;
  QAction *TrayOpen, *TrayOpenOnTop, *TrayExit;
};

// Where an action shows; the menus in the menu bar in this order.
enum class ActionPlace : std::uint8_t { FileMenu, EditMenu, OptionsMenu, HelpMenu, SpeedBar, RowPopup, TrayMenu };

// When a speed button shows a glyph of our own instead of the picture the icon theme or the style gave.
enum class GlyphUse : std::uint8_t {
  Never,
  UnlessThemed,      // the picture found, the theme's or the style's, is no theme icon
  UnlessThemeHasIt,  // the theme lacks the button's icon name (the style draws some buttons alike)
  UnlessNamed,       // the picture found has no icon name
};

// A speed button's picture: the theme's icon of that name, else the style's.
struct ActionIcon {
  const char* theme = nullptr;
  QStyle::StandardPixmap standard = QStyle::SP_CustomBase;
  GlyphUse glyphUse = GlyphUse::Never;
  SpeedGlyph glyph = SpeedGlyph::New;
};

// What sets an action apart besides its texts and its command.
enum ActionFlag : unsigned {
  kLineBefore = 1,     // a separator in front of it
  kViewStyle = 2,      // one of the exclusive, checkable view styles
  kChecked = 4,        // checked from the start
  kDefaultItem = 8,    // the menu's default item, in bold
  kNamedControl = 16,  // a speed button whose accessible description is its control name
};

// One action: which member of MainFormActions holds it, its texts, its picture, what it triggers and where
// it shows. A row without a caption is a named separator.
struct ActionRow {
  QAction* MainFormActions::*action = nullptr;
  const char* objectName = nullptr;
  const char* caption = nullptr;   // with its & letter; a speed button's caption is its hint
  const char* shortcut = nullptr;  // in the toolkit's portable key text
  const char* hint = nullptr;      // a menu item's status tip and tool tip
  ActionIcon icon = {};
  void (DefinitionManager::*command)() = nullptr;  // a definition manager command
  void (*window)(TMainForm&) = nullptr;            // or a command of the window itself
  ActionPlace place = ActionPlace::FileMenu;
  unsigned flags = 0;
};

// The containers the builder made besides the menu bar's menus.
struct ActionPlaces {
  QToolBar* speedBar;
  QMenu* rowPopup;
  QMenu* trayMenu;
};

// Makes one action per row, owned by window, and lays them out in the window's menu bar, its speed bar, the
// row pop-up and the notification icon's menu in row order. A triggered action calls trigger with its row.
ActionPlaces buildMainFormActions(QMainWindow& window, std::span<const ActionRow> rows, MainFormActions& actions,
                                  const std::function<void(const ActionRow&)>& trigger);

}  // namespace kip
