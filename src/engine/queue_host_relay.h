#pragma once

#include "engine/queue_host.h"

namespace kip {

// The queue's host while the start-up runs without a window: passes every call on to the window once it
// is set, and does nothing before (no timer runs, no window exists, no definition is listed).
class QueueHostRelay final : public QueueHost {
 public:
  void setTarget(QueueHost* target) { m_target = target; }

  [[nodiscard]] bool timerEnabled() const override { return m_target && m_target->timerEnabled(); }
  void setTimerEnabled(bool enabled) override {
    if (m_target) m_target->setTimerEnabled(enabled);
  }
  void setApplicationTitle(std::string_view title) override {
    if (m_target) m_target->setApplicationTitle(title);
  }
  void setMainCaption(std::string_view caption) override {
    if (m_target) m_target->setMainCaption(caption);
  }
  void setShowApp(bool shown) override {
    if (m_target) m_target->setShowApp(shown);
  }
  void minimizeApplication() override {
    if (m_target) m_target->minimizeApplication();
  }
  void setTrayIconActive(bool active) override {
    if (m_target) m_target->setTrayIconActive(active);
  }
  void showWindow() override {
    if (m_target) m_target->showWindow();
  }
  void closeMainWindow() override {
    if (m_target) m_target->closeMainWindow();
  }
  void processMessages() override {
    if (m_target) m_target->processMessages();
  }
  [[nodiscard]] std::vector<DefinitionPtr> listViewDefinitions() override {
    return m_target ? m_target->listViewDefinitions() : std::vector<DefinitionPtr>{};
  }
  void refreshQueueColumns(std::size_t row, std::string_view timers, std::string_view result) override {
    if (m_target) m_target->refreshQueueColumns(row, timers, result);
  }
  [[nodiscard]] std::vector<DefinitionPtr> hiddenDefinitions() override {
    return m_target ? m_target->hiddenDefinitions() : std::vector<DefinitionPtr>{};
  }
  [[nodiscard]] std::vector<DefinitionPtr> allDefinitions() override {
    return m_target ? m_target->allDefinitions() : std::vector<DefinitionPtr>{};
  }
  bool showStatusPage(StartDefinition& definition) override { return m_target && m_target->showStatusPage(definition); }

 private:
  QueueHost* m_target = nullptr;
};

}  // namespace kip
