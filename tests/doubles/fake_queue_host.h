#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/queue_host.h"

namespace kip::test {

// A main window without a window: holds the lists the test fills and records what the queue asked.
class FakeQueueHost final : public QueueHost {
 public:
  [[nodiscard]] bool timerEnabled() const override { return timer; }
  void setTimerEnabled(bool enabled) override;
  void setApplicationTitle(std::string_view title) override;
  void setMainCaption(std::string_view caption) override;
  void setShowApp(bool shown) override;
  void minimizeApplication() override;
  void setTrayIconActive(bool active) override;
  void showWindow() override;
  void closeMainWindow() override;
  void processMessages() override;
  std::vector<DefinitionPtr> listViewDefinitions() override { return listView; }
  void refreshQueueColumns(std::size_t row, std::string_view timers, std::string_view result) override;
  std::vector<DefinitionPtr> hiddenDefinitions() override { return hidden; }
  std::vector<DefinitionPtr> allDefinitions() override { return all; }
  bool showStatusPage(StartDefinition& definition) override;

  std::vector<DefinitionPtr> listView;
  std::vector<DefinitionPtr> hidden;
  std::vector<DefinitionPtr> all;

  bool timer = false;
  bool showApp = false;
  bool trayActive = false;
  bool closed = false;
  bool statusPageAnswer = false;
  // Runs inside processMessages, as events handled there would.
  std::function<void()> onProcessMessages;
  std::string applicationTitle = "Kip Launch Manager";
  std::string mainCaption = "Kip Launch Manager";
  std::vector<std::string> titles;       // every application title set, in order
  std::vector<std::string> statusPages;  // names of the definitions whose Status page was opened
  // Every call as a short word ("timer on", "showApp off", "tray on", "minimize", "show", "close",
  // "messages", "title", "caption", "refresh"), in order.
  std::vector<std::string> log;
  struct Refresh {
    std::size_t row;
    std::string timers;
    std::string result;
  };
  std::vector<Refresh> refreshes;
};

}  // namespace kip::test
