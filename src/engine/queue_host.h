#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "engine/start_timer.h"
#include "model/start_definition.h"

namespace kip {

// What the start queue needs from the main window. Every call comes on the user-interface thread
// from inside a queue operation; none of them may call back into the queue.
class QueueHost : public StartTimer {
 public:
  // Sets the text of the application's taskbar window (the countdown or "Kip Launch Manager").
  virtual void setApplicationTitle(std::string_view title) = 0;
  // Sets the main window's caption.
  virtual void setMainCaption(std::string_view caption) = 0;
  // Shows (true) or hides (false) the application's taskbar window: the tray icon's ShowApp.
  virtual void setShowApp(bool shown) = 0;
  // Minimises the application's taskbar window (shown during the start-up countdown).
  virtual void minimizeApplication() = 0;
  // Adds the notification-area icon (true) or removes it (false).
  virtual void setTrayIconActive(bool active) = 0;
  // Shows the opened main window: when it is hidden or minimised, makes it visible, minimises the
  // application and shows the taskbar window minimised; otherwise shows the taskbar window normally.
  virtual void showWindow() = 0;
  // Closes the main window, which ends the program once the current event has been handled.
  virtual void closeMainWindow() = 0;
  // Lets pending window events be handled once.
  virtual void processMessages() = 0;

  // The definitions of the list view's items in display order.
  [[nodiscard]] virtual std::vector<DefinitionPtr> listViewDefinitions() = 0;
  // Sets the "Timers" and "Result" columns of the item at row, an index into the vector that
  // listViewDefinitions returned last.
  virtual void refreshQueueColumns(std::size_t row, std::string_view timers, std::string_view result) = 0;
  // The definitions of the other scope kept out of the list view (HiddenDefinitions), in list order.
  [[nodiscard]] virtual std::vector<DefinitionPtr> hiddenDefinitions() = 0;
  // Every loaded definition in load order (edited scope first), for the time before the window opens.
  [[nodiscard]] virtual std::vector<DefinitionPtr> allDefinitions() = 0;
  // Opens the definition dialog modally on its "Status" page for a definition whose start failed; when
  // it is closed with OK, stores the dialog into the definition and refreshes its item. Returns
  // whether it was closed with OK.
  virtual bool showStatusPage(StartDefinition& definition) = 0;
};

}  // namespace kip
