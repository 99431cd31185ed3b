#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/start_timer.h"
#include "model/start_definition.h"
#include "platform/clock.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"

namespace kip {

// Starts the program of a definition, waits for it when asked, schedules and performs its
// after-action, and writes the outcome into Result, Executed and, during a logon start, the registry.
class Launcher {
 public:
  Launcher(ProcessLauncher& processes, const Clock& clock, Registry& registry, StartTimer& timer)
      : m_processes(processes), m_clock(clock), m_registry(registry), m_timer(timer) {}

  // Starts the definition's program, or has the desktop open it when it cannot be executed; true when
  // either worked. Sets RunStateChanged and Executed first, then Result, Countdown and the process
  // record. A process still held from an earlier start is released.
  bool Start(StartDefinition& definition);
  // Start in two halves, so that the creations of several starts can overlap: beginStart does everything
  // up to the process creation and begins it; finishStart waits for it and does the rest. Start is the
  // two in a row.
  struct PendingStart {
    LaunchRequest request;
    std::unique_ptr<PendingSpawn> spawn;
  };
  PendingStart beginStart(StartDefinition& definition);
  bool finishStart(StartDefinition& definition, PendingStart& pending);
  // Runs the after-action whose countdown has ended: posts the window command when the definition is
  // enabled and its program still runs. Countdown becomes 0 and the process is released in every case.
  // True when a command was posted.
  bool PerformAfterAction(StartDefinition& definition);
  // Writes Result and Executed into the definition's subkey, only when logonStart; failures ignored.
  void RecordStart(const StartDefinition& definition, bool logonStart);
  // Writes Executed, Result, Tested and TestResult into the definition's open subkey; failures ignored.
  void RecordTest(const StartDefinition& definition, RegKey& key);
  // RecordTest into the definition's subkey, opened again; nothing for a definition never saved.
  void RecordTest(const StartDefinition& definition);
  // Where the one notice about results given up on a busy hive goes; standard error unless set.
  void setNoticeSink(std::function<void(std::string_view)> sink) { m_notice = std::move(sink); }

 private:
  void waitForProcess(LaunchedProcess& process, const StartDefinition& definition);
  // Runs the writes of one record as one batch, all or nothing. The hive's lock is waited for only briefly,
  // and not at all once a write was given up, so that starts never wait for another program's writes.
  void writeRecord(Hive hive, const std::function<RegCode()>& writes);

  ProcessLauncher& m_processes;
  const Clock& m_clock;
  Registry& m_registry;
  StartTimer& m_timer;
  std::function<void(std::string_view)> m_notice;
  bool m_gaveUpOnBusyHive = false;
};

// How long a result write waits for a hive another process is writing, in milliseconds.
inline constexpr std::uint32_t kResultLockWaitMs = 200;
inline constexpr std::string_view kBusyHiveNotice =
    "The registry is in use by another program: start results that could not wait for it were not recorded.";

// "Close", "Restore", "Minimize", "Maximize" for MsgID 0 to 3; empty for any other value.
std::string_view afterActionName(std::int32_t msgId);
// The window command of an after-action; Default for an unknown MsgID.
WindowCommand afterActionCommand(std::int32_t msgId);
// Minimised for Window 1, maximised for 2, normal for anything else.
ShowState showStateFor(std::int32_t window);
// True when a start of the definition acts on the program's window: a minimised or maximised start, an
// after-action, or a wait until the program is idle.
bool usesWindowCommands(const StartDefinition& definition);
// Module as stored, then one blank and Parms when Parms is not empty.
std::string commandText(const StartDefinition& definition);
// Start Directory without its leading blanks; empty means the caller's own directory.
std::string workingDirectory(const StartDefinition& definition);
// Wait seconds in milliseconds, the longest 32-bit count when they do not fit.
std::uint32_t waitLimitMs(std::int32_t waitSeconds);
// The Result text of a start with an after-action pending: "OK (Close in 10s)".
std::string pendingActionResult(const StartDefinition& definition);

inline constexpr std::string_view kResultOk = "OK";
inline constexpr std::string_view kResultErrorPrefix = "ERROR: ";

}  // namespace kip
