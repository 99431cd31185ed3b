#include "ui/logic/list_commands.h"

namespace kip {

SelectionCommands selectionCommands(const ListRow* selected) {
  SelectionCommands commands;
  commands.available = selected != nullptr;
  // A row without a definition follows the Edit button.
  commands.deletable = commands.available && (!selected->def || !selected->def->OtherScope);
  return commands;
}

PopupState popupState(const StartDefinition* def) {
  PopupState state;
  state.queue = queuePopupItems(def);
  if (!def) return state;
  state.deleteEnabled = !def->OtherScope;
  state.renameEnabled = !def->OtherScope;
  state.enableVisible = def->Disable && !def->OtherScope;
  state.disableVisible = !def->Disable && !def->OtherScope;
  return state;
}

}  // namespace kip
