#include "engine/launcher.h"

#include <iostream>
#include <limits>

#include "base/utf8.h"
#include "base/win_error.h"
#include "model/definition_store.h"
#include "model/registry_layout.h"
#include "platform/registry_values.h"

namespace kip {

std::string_view afterActionName(std::int32_t msgId) {
  switch (msgId) {
    case 0:
      return "Close";
    case 1:
      return "Restore";
    case 2:
      return "Minimize";
    case 3:
      return "Maximize";
    default:
      return {};
  }
}

WindowCommand afterActionCommand(std::int32_t msgId) {
  switch (msgId) {
    case 0:
      return WindowCommand::Close;
    case 1:
      return WindowCommand::Restore;
    case 2:
      return WindowCommand::Minimize;
    case 3:
      return WindowCommand::Maximize;
    default:
      return WindowCommand::Default;
  }
}

ShowState showStateFor(std::int32_t window) {
  switch (window) {
    case 1:
      return ShowState::Minimized;
    case 2:
      return ShowState::Maximized;
    default:
      return ShowState::Normal;
  }
}

bool usesWindowCommands(const StartDefinition& definition) {
  return showStateFor(definition.Window) != ShowState::Normal || definition.Msg > 0 ||
         (definition.Wait > 0 && definition.WaitType == 0);
}

std::string commandText(const StartDefinition& definition) {
  std::string text = definition.Module;
  if (!definition.Parms.empty()) {
    text += ' ';
    text += definition.Parms;
  }
  return text;
}

std::string workingDirectory(const StartDefinition& definition) {
  const auto& dir = definition.StartDirectory;
  std::size_t first = 0;
  // Leading blanks and control characters are trimmed, as the window's own trimming does.
  while (first < dir.size() && static_cast<unsigned char>(dir[first]) <= ' ') ++first;
  return dir.substr(first);
}

std::uint32_t waitLimitMs(std::int32_t waitSeconds) {
  if (waitSeconds <= 0) return 0;
  const std::int64_t ms = std::int64_t{waitSeconds} * 1000;
  constexpr std::int64_t kLongest = std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(ms > kLongest ? kLongest : ms);
}

std::string pendingActionResult(const StartDefinition& definition) {
  std::string text = "OK (";
  text += afterActionName(definition.MsgID);
  text += " in ";
  text += std::to_string(definition.Msg);
  text += "s)";
  return text;
}

void Launcher::waitForProcess(LaunchedProcess& process, const StartDefinition& definition) {
  const bool wasRunning = m_timer.timerEnabled();
  if (wasRunning) m_timer.setTimerEnabled(false);
  // How the wait ended makes no difference to the start.
  const std::uint32_t limit = waitLimitMs(definition.Wait);
  if (definition.WaitType == 0)
    process.waitForInputIdle(limit);
  else
    process.waitForExit(limit);
  if (wasRunning) m_timer.setTimerEnabled(true);
}

bool Launcher::Start(StartDefinition& definition) {
  auto pending = beginStart(definition);
  return finishStart(definition, pending);
}

Launcher::PendingStart Launcher::beginStart(StartDefinition& definition) {
  definition.RunStateChanged = true;
  definition.Executed = m_clock.now();
  // Releasing the earlier start's process here drops a pending after-action without leaking it.
  definition.Process.reset();

  PendingStart pending;
  pending.request.commandText = commandText(definition);
  pending.request.workingDirectory = workingDirectory(definition);
  pending.request.show = showStateFor(definition.Window);
  pending.spawn = m_processes.spawnAsync(pending.request);
  return pending;
}

bool Launcher::finishStart(StartDefinition& definition, PendingStart& pending) {
  const LaunchRequest& request = pending.request;
  SpawnOutcome outcome = pending.spawn->outcome();
  if (outcome.process) {
    definition.Result = kResultOk;
    if (definition.Wait > 0) waitForProcess(*outcome.process, definition);
    if (definition.Msg <= 0) {
      definition.Countdown = 0;
    } else {
      definition.Countdown = -definition.Msg;
      definition.Process = std::move(outcome.process);
      definition.Result = pendingActionResult(definition);
    }
    return true;
  }

  definition.Result = std::string(kResultErrorPrefix) + outcome.message;
  if (m_processes.shellOpen(request)) {
    definition.Result = kResultOk;
    return true;
  }
  return false;
}

bool Launcher::PerformAfterAction(StartDefinition& definition) {
  definition.Countdown = 0;
  bool posted = false;
  if (!definition.Disable && definition.Process) {
    std::int32_t code = 0;
    if (definition.Process->exitCode(code) && code == 259)
      posted = m_processes.postWindowCommand(*definition.Process, afterActionCommand(definition.MsgID));
  }
  definition.Process.reset();
  return posted;
}

void Launcher::writeRecord(Hive hive, const std::function<RegCode()>& writes) {
  m_registry.setLockWait(hive, m_gaveUpOnBusyHive ? 0 : kResultLockWaitMs);
  RegCode code = m_registry.beginBatch(hive);
  if (code == 0) {
    code = writes();
    const RegCode ended = m_registry.endBatch(hive, code == 0);
    if (code == 0) code = ended;
  }
  m_registry.setLockWait(hive, std::nullopt);
  if (code != win::kBusy || m_gaveUpOnBusyHive) return;
  m_gaveUpOnBusyHive = true;
  if (m_notice) {
    m_notice(kBusyHiveNotice);
  } else {
    std::cerr << "kiplaunch: " << kBusyHiveNotice << '\n';
  }
}

void Launcher::RecordStart(const StartDefinition& definition, bool logonStart) {
  // A definition never saved has no subkey; writing would land in the Start List key itself.
  if (!logonStart || definition.StoredName.empty()) return;
  const Hive hive = definition.OtherScope ? Hive::LocalMachine : Hive::CurrentUser;
  std::string path(kStartListKey);
  path += '\\';
  path += definition.StoredName;
  writeRecord(hive, [&]() -> RegCode {
    std::unique_ptr<RegKey> key;
    if (const RegCode code = m_registry.createKey(hive, path, key)) return code;
    if (const RegCode code = writeText(*key, "Result", utf8Truncate(definition.Result, kMaxTextLength))) return code;
    return writeDouble(*key, "Executed", definition.Executed);
  });
}

void Launcher::RecordTest(const StartDefinition& definition, RegKey& key) {
  const Hive hive = definition.StoredHive.value_or(definition.OtherScope ? Hive::LocalMachine : Hive::CurrentUser);
  writeRecord(hive, [&] { return DefinitionStore::writeRunState(key, definition); });
}

void Launcher::RecordTest(const StartDefinition& definition) {
  if (definition.StoredName.empty()) return;
  const Hive hive = definition.StoredHive.value_or(definition.OtherScope ? Hive::LocalMachine : Hive::CurrentUser);
  std::string path(kStartListKey);
  path += '\\';
  path += definition.StoredName;
  writeRecord(hive, [&]() -> RegCode {
    // Opened, not created: a subkey removed meanwhile stays removed.
    std::unique_ptr<RegKey> key;
    if (const RegCode code = m_registry.openKey(hive, path, KeyAccess::ReadWrite, key)) return code;
    return DefinitionStore::writeRunState(*key, definition);
  });
}

}  // namespace kip
