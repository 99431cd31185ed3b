#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/linux/child_reaper.h"
#include "platform/linux/dos_devices.h"
#include "platform/linux/spawn_pool.h"
#include "platform/linux/window_session.h"
#include "platform/process_launcher.h"

namespace kip {

class X11Windows;
class X11ShowStateWatcher;
class PolledShowStateWatcher;
class WindowControl;
class WlrToplevels;

// Starts programs with posix_spawnp in a session of their own, never through a shell; opens what
// cannot be executed with the desktop's opener; reaps every child; and reaches the started programs'
// windows through the session's interface for them: sway's or Hyprland's IPC, KWin's scripting or a
// wlroots compositor's foreign-toplevel protocol (with X11 for XWayland's windows) in those Wayland
// sessions, X11 elsewhere when there is a display.
class PosixLauncher final : public ProcessLauncher {
 public:
  struct Options {
    // The program that opens documents, given the command text as its one argument.
    std::string opener = "xdg-open";
    // The folder of the drive-letter links.
    std::string dosDevices;
    // The X11 display; empty: no windows are looked for.
    std::string display;
    // The interface of the session for other programs' windows; X11 (and every Wayland desktop
    // without one of its own) uses the display alone, KWin the session bus.
    WindowDesktop desktop = WindowDesktop::X11;
    // The compositor's IPC socket when desktop is Sway.
    std::string swaySocket;
    // Hyprland's request socket when desktop is Hyprland.
    std::string hyprlandSocket;
    // The Wayland display when desktop is Wlr; empty: $WAYLAND_DISPLAY.
    std::string waylandDisplay;
    // How long the opener is waited for; one still running then is taken to show the document.
    std::chrono::milliseconds openerWait{5000};
    // How long a start's show state waits for the program's first window.
    std::chrono::milliseconds showStateWatch{10000};
  };

  // $KIPLAUNCH_OPENER (else xdg-open), the drive folder of DosDevices::fromEnvironment, $DISPLAY and
  // the session's window interface (SessionFacts::fromEnvironment).
  static Options optionsFromEnvironment();

  explicit PosixLauncher(Options options);
  ~PosixLauncher() override;

  SpawnOutcome spawn(const LaunchRequest& request) override;
  // The creation runs on a thread of a small pool, so that creations begun one after another overlap.
  std::unique_ptr<PendingSpawn> spawnAsync(const LaunchRequest& request) override;
  bool shellOpen(const LaunchRequest& request) override;
  bool postWindowCommand(const StartedProcess& process, WindowCommand command) override;

  // Children started and not reaped yet.
  [[nodiscard]] std::size_t unreapedChildren() const { return m_reaper.watching(); }
  // Starts whose show state still waits for a window.
  [[nodiscard]] std::size_t pendingShowStates() const;
  // Blocks until no start's show state waits for a window any more (each waits at most showStateWatch),
  // so that a program ending right after its starts still applies them.
  void finishShowStates() const;

 private:
  struct Spawned {
    std::shared_ptr<SpawnedChild> child;
    int error = 0;
  };
  // A request turned into what the creation needs.
  struct Prepared {
    std::string path;
    std::vector<std::string> argv;
    std::string directory;
    ShowState show = ShowState::Normal;
  };
  // The creation's file, arguments and folder, or the failure that no creation can mend.
  [[nodiscard]] std::variant<Prepared, SpawnOutcome> prepare(const LaunchRequest& request) const;
  // Creates the process and hands it to the show-state watcher; safe on any thread.
  Spawned spawnPrepared(const Prepared& prepared);
  [[nodiscard]] SpawnOutcome outcomeOf(const Spawned& spawned) const;
  // The executable file a program text names: a drive path mapped, a path checked, a bare name
  // looked up in PATH.
  [[nodiscard]] std::optional<std::string> resolveExecutable(std::string_view program) const;
  Spawned spawnArgv(const std::string& path, const std::vector<std::string>& argv, const std::string& directory);

  Options m_options;
  DosDevices m_drives;
  ChildReaper m_reaper;
  std::shared_ptr<X11Windows> m_windows;
  std::unique_ptr<X11ShowStateWatcher> m_watcher;
  // The connection to a wlroots compositor's toplevels, told of every start, when desktop is Wlr.
  std::shared_ptr<WlrToplevels> m_toplevels;
  // Set where a Wayland compositor's own interface reaches the windows; each call makes a control.
  std::function<std::unique_ptr<WindowControl>()> m_makeControl;
  std::unique_ptr<PolledShowStateWatcher> m_polledWatcher;
  // Last, so that its threads end before what their jobs use.
  static constexpr std::size_t kSpawnThreads = 3;
  SpawnPool m_pool{kSpawnThreads};
};

}  // namespace kip
