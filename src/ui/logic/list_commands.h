#pragma once

#include "engine/start_queue.h"
#include "ui/logic/program_list.h"

namespace kip {

// Which commands the selection allows: the Edit, Copy, Start Earlier and Start Later buttons, the
// "&Properties" and "&Copy" items and the row pop-up follow `available`; Delete follows `deletable`.
struct SelectionCommands {
  bool available = false;
  bool deletable = false;
};
// selected: the focused row when it is selected, else null.
SelectionCommands selectionCommands(const ListRow* selected);

// The row pop-up's items for the selected definition.
struct PopupState {
  QueuePopupItems queue;
  bool deleteEnabled = false;
  bool renameEnabled = false;
  bool enableVisible = false;
  bool disableVisible = false;
};
PopupState popupState(const StartDefinition* def);

// The scope switch items of the Edit menu: only one of them is visible and enabled at a time.
struct ScopeItems {
  bool local = false;
  bool global = false;
};

}  // namespace kip
