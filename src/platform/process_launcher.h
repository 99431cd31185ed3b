#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/started_process.h"

namespace kip {

// How the started program's first window is to be shown.
enum class ShowState { Normal, Minimized, Maximized };

// A window command posted to a started program's window after its start.
enum class WindowCommand { Close, Restore, Minimize, Maximize, Default };

// A started process that can also be waited for.
class LaunchedProcess : public StartedProcess {
 public:
  // Blocks until the process has shown its first top-level window or has ended, for at most limitMs;
  // true when one of the two happened, false when the limit passed first.
  virtual bool waitForInputIdle(std::uint32_t limitMs) = 0;
  // Blocks until the process has ended, for at most limitMs; true when it ended, false at the limit.
  virtual bool waitForExit(std::uint32_t limitMs) = 0;
};

// What to start: the command text as the definition builds it, the working directory (empty: the
// caller's own) and the show state of the first window.
struct LaunchRequest {
  std::string commandText;
  std::string workingDirectory;
  ShowState show = ShowState::Normal;
};

// The outcome of a process creation: a process, or the error and the system's text for it.
struct SpawnOutcome {
  std::unique_ptr<LaunchedProcess> process;  // null when the creation failed
  int error = 0;                             // the system's error number of the failure
  std::string message;                       // the system's message text for error, no line break
};

// A process creation under way.
class PendingSpawn {
 public:
  virtual ~PendingSpawn() = default;
  // Blocks until the creation has succeeded or failed; called once.
  virtual SpawnOutcome outcome() = 0;
};

// A creation whose outcome is known already.
std::unique_ptr<PendingSpawn> completedSpawn(SpawnOutcome outcome);

// Creates processes for definitions, opens documents, and sends window commands to started programs.
class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  ProcessLauncher(const ProcessLauncher&) = delete;
  ProcessLauncher& operator=(const ProcessLauncher&) = delete;

  // Creates a process from the command text without any shell; the process outlives the caller and
  // is reaped by the launcher when it ends.
  virtual SpawnOutcome spawn(const LaunchRequest& request) = 0;
  // Begins spawn(request) without waiting for its outcome, so that several creations can overlap;
  // creations are taken up in the order they were begun. Here: spawn at once.
  virtual std::unique_ptr<PendingSpawn> spawnAsync(const LaunchRequest& request);
  // Asks the desktop to open the command text (a document, a folder, an address) as one item;
  // true when the desktop reported success.
  virtual bool shellOpen(const LaunchRequest& request) = 0;
  // Posts the command to the first top-level window of the process (or the window that owns it)
  // without waiting for it to be handled; false when no such window was found or there is no display.
  virtual bool postWindowCommand(const StartedProcess& process, WindowCommand command) = 0;

 protected:
  ProcessLauncher() = default;
};

}  // namespace kip
