#pragma once

#include <cstddef>

#include "model/start_definition.h"

namespace kip {

// The pages of the definition dialog the manager asks for.
enum class DialogPage { Current, Status };

// The definition dialog's load and store, which build a definition's list texts; the manager owns the
// dialog's state and runs them with or without showing the dialog.
class DefinitionForm {
 public:
  virtual ~DefinitionForm() = default;
  // Fills the dialog from def (read-only when def is of the other scope).
  virtual void LoadDefinition(const StartDefinition& def) = 0;
  // Stores the dialog into def, with its summary texts; marks it Changed when the dialog holds a change.
  virtual void StoreDefinition(StartDefinition& def) = 0;
};

// What only the window can do for the definition manager.
class ManagerHost {
 public:
  virtual ~ManagerHost() = default;
  // Shows the loaded definition dialog modally on page (Status: then back to the page it showed before);
  // true when closed with OK.
  virtual bool showDefinitionDialog(DialogPage page) = 0;
  // Shows the options dialog modally; true when closed with OK (the running preferences then hold its values).
  virtual bool showOptionsDialog() = 0;
  virtual void showAboutBox() = 0;
  virtual void openHelpTopic(int topic) = 0;
  // The system's error beep.
  virtual void beep() = 0;
  // Starts editing the caption of a row in place.
  virtual void startRename(std::size_t row) = 0;
};

}  // namespace kip
