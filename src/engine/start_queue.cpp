#include "engine/start_queue.h"

#include <algorithm>
#include <limits>

namespace kip {

std::int32_t sequenceGroup(const StartDefinition& definition) {
  const std::int32_t sequence = definition.Sequence;
  if (sequence >= 0) return sequence;
  if (sequence == std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::max();
  return -sequence;
}

std::string countdownTitle(std::int32_t secondsLeft) {
  return std::to_string(secondsLeft) + std::string(kCountdownSuffix);
}

std::string timersColumnText(const StartDefinition& definition) {
  if (definition.Countdown != 0) return std::to_string(definition.Countdown);
  return definition.TimingSummary;
}

QueuePopupItems queuePopupItems(const StartDefinition* selected) {
  QueuePopupItems items;
  if (!selected) return items;
  items.runWithAction = selected->Msg > 0;
  items.cancelAction = selected->Countdown < 0;
  items.cancelRun = selected->Countdown > 0;
  items.separator = items.runWithAction || items.cancelAction || items.cancelRun;
  return items;
}

void StartQueue::firstPass(StartDefinition& definition, RegKey& key) {
  if (definition.Disable) return;
  if (m_tester.test(definition)) {
    if (m_startupDelay != 0 || sequenceGroup(definition) != 0)
      definition.Countdown = 1;  // starts in the first tick of its group
    else
      m_launcher.Start(definition);
  }
  m_launcher.RecordTest(definition, key);
}

DefinitionStore::FirstPassHook StartQueue::firstPassHook() {
  return [this](StartDefinition& definition, RegKey& key) { firstPass(definition, key); };
}

void StartQueue::overlappingFirstPass(StartDefinition& definition, RegKey& key) {
  if (definition.Disable) return;
  if (m_tester.test(definition)) {
    if (m_startupDelay != 0 || sequenceGroup(definition) != 0) {
      definition.Countdown = 1;  // starts in the first tick of its group
    } else if (definition.Wait <= 0) {
      m_begun.push_back({&definition, m_launcher.beginStart(definition)});
      return;  // its results are written when it is finished
    } else {
      finishFirstPass();
      m_launcher.Start(definition);
    }
  }
  m_launcher.RecordTest(definition, key);
}

DefinitionStore::FirstPassHook StartQueue::overlappingFirstPassHook() {
  return [this](StartDefinition& definition, RegKey& key) { overlappingFirstPass(definition, key); };
}

void StartQueue::finishFirstPass() {
  // Every start first, then the records: writing them meanwhile would only slow the creations down.
  for (auto& begun : m_begun) m_launcher.finishStart(*begun.definition, begun.pending);
  for (const auto& begun : m_begun) m_launcher.RecordTest(*begun.definition);
  m_begun.clear();
}

void StartQueue::beginAutostartRun() {
  m_run.StartupCountdown = m_startupDelay;
  m_host.setTrayIconActive(true);
  if (m_startupDelay != 0) {
    m_host.setShowApp(true);
    m_host.minimizeApplication();
  } else {
    m_host.setShowApp(false);
  }
  m_host.setTimerEnabled(true);
}

void StartQueue::process(StartDefinition& definition, std::int32_t& next) {
  const std::int32_t group = sequenceGroup(definition);
  if (group == m_currentSequence) {
    if (definition.Countdown > 0) {
      definition.Countdown -= kTickStep;
      if (definition.Countdown <= 0) {
        definition.Countdown = 0;
        // A definition disabled while it was queued is dropped.
        if (!definition.Disable) {
          m_launcher.Start(definition);
          m_launcher.RecordStart(definition, m_run.LogonStart);
        }
      }
    } else if (definition.Countdown < 0) {
      definition.Countdown += kTickStep;
      // One more tick runs after a posted command, so the queue does not end in the same tick; a lower group
      // still pending from earlier in this tick stays current.
      if (definition.Countdown >= 0 && m_launcher.PerformAfterAction(definition))
        next = next < 0 ? 1 : std::min(next, 1);
    }
  }
  if (definition.Countdown != 0) next = next < 0 ? group : std::min(next, group);
}

void StartQueue::tick() {
  if (m_inTick) return;
  struct TickGuard {
    bool& flag;
    explicit TickGuard(bool& f) : flag(f) { flag = true; }
    ~TickGuard() { flag = false; }
    TickGuard(const TickGuard&) = delete;
    TickGuard& operator=(const TickGuard&) = delete;
  } guard(m_inTick);
  auto& run = m_run;
  std::int32_t next = -1;

  if (run.StartupCountdown > 0) {
    run.StartupCountdown -= kTickStep;
    next = 0;
    if (run.StartupCountdown <= 0) {
      m_host.setApplicationTitle(kPlainTitle);
      if (run.WindowOpened) {
        m_host.setMainCaption(kPlainTitle);
        m_host.showWindow();
      } else {
        m_host.setShowApp(false);
        m_host.processMessages();
      }
    } else {
      const auto title = countdownTitle(run.StartupCountdown);
      m_host.setApplicationTitle(title);
      if (run.WindowOpened) m_host.setMainCaption(title);
    }
  } else if (run.WindowOpened) {
    const auto items = m_host.listViewDefinitions();
    for (std::size_t row = 0; row < items.size(); ++row) {
      const auto& definition = items[row];
      if (!definition || definition->Countdown == 0) continue;
      process(*definition, next);
      m_host.refreshQueueColumns(row, timersColumnText(*definition), definition->Result);
    }
    for (const auto& definition : m_host.hiddenDefinitions())
      if (definition) process(*definition, next);
  } else {
    for (const auto& definition : m_host.allDefinitions())
      if (definition) process(*definition, next);
  }

  if (next < 0 && m_host.timerEnabled()) {
    m_host.setTimerEnabled(false);
    m_host.setShowApp(true);
    m_host.setTrayIconActive(false);
    if (run.WindowOpened) {
      m_host.showWindow();
    } else {
      m_host.processMessages();
      m_host.closeMainWindow();
    }
  }
  m_currentSequence = next;
}

void StartQueue::RunButtonClick() {
  bool pending = false;
  auto startAll = [&](const std::vector<DefinitionPtr>& definitions) {
    for (const auto& definition : definitions) {
      if (!definition || definition->Disable) continue;
      if (m_tester.test(*definition)) {
        m_launcher.Start(*definition);
      } else if (definition->Countdown >= 0) {
        // The test gave up any after-action that was pending; its process goes with it.
        definition->Process.reset();
      }
      if (definition->Countdown != 0) pending = true;
    }
  };
  startAll(m_host.listViewDefinitions());
  startAll(m_host.hiddenDefinitions());
  if (pending) {
    m_host.setTimerEnabled(true);
    m_host.setShowApp(true);
    m_host.setTrayIconActive(true);
  }
}

void StartQueue::RunPopClick(StartDefinition* selected, int tag) {
  if (!selected) return;
  if (!m_launcher.Start(*selected)) {
    m_host.showStatusPage(*selected);
    return;
  }
  if (selected->Countdown == 0) return;
  if (tag != 0) {
    m_host.setTimerEnabled(true);
    m_host.setTrayIconActive(true);
  } else {
    selected->Process.reset();
    selected->Countdown = 0;
  }
}

void StartQueue::CancelPopClick(StartDefinition* selected) {
  if (!selected) return;
  selected->Countdown = 0;
  selected->Process.reset();
}

}  // namespace kip
