#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/wake_event.h"
#include "platform/linux/window_control.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace kip {

// The app ids a started program's windows may carry: the StartupWMClass of its desktop entry, else the
// program's file name (and that of the file it links to), and the entry's desktop file id. The entry is
// the first one, in the folders' order, whose Exec runs the executable.
std::vector<std::string> appIdsOfProgram(const std::string& executable, const std::vector<std::string>& folders);

// The installed desktop entries that can run a program, read once, in the folders' order, an entry hidden
// by one of the same desktop file id in an earlier folder left out.
struct ApplicationEntry {
  std::string execProgram;  // the first word of Exec: a bare name or a path
  std::string id;           // the desktop file id
  std::string startupWmClass;
};
std::vector<ApplicationEntry> readApplicationEntries(const std::vector<std::string>& folders);
// appIdsOfProgram over entries read before, so that many starts read the folders once.
std::vector<std::string> appIdsAmong(const std::string& executable, const std::vector<ApplicationEntry>& entries);

// The folders of the installed desktop entries, most important first: $XDG_DATA_HOME/applications (else
// ~/.local/share/applications), then each of $XDG_DATA_DIRS (else /usr/local/share:/usr/share) with
// /applications.
std::vector<std::string> applicationFolders();

// True when the Wayland compositor (display empty: $WAYLAND_DISPLAY) answers and offers
// zwlr_foreign_toplevel_manager_v1; it is asked once, for at most the timeout.
bool offersForeignToplevels(const std::string& display = {},
                            std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

// The toplevel windows a wlroots compositor (labwc, Wayfire, river, sway, ...) reports through
// zwlr_foreign_toplevel_manager_v1, on one connection for the launcher's life, read by a thread of its
// own. The protocol names no process: a start is told here with the app ids its windows may carry, and
// its window is the first toplevel that appears after the start with one of them (compared without
// regard to case) and that no earlier start has taken. The toplevels already there when a start is told
// are never its window.
class WlrToplevels {
 public:
  struct Toplevel {
    std::uint64_t serial = 0;  // in the order the compositor reported them
    std::string appId;
  };
  enum class Request { Close, Minimize, Unminimize, Maximize, Unmaximize, Unfullscreen, Activate };

  // Connects (display empty: $WAYLAND_DISPLAY) and reads the toplevels that are open; nullptr when the
  // compositor cannot be reached within the timeout or offers no foreign-toplevel manager.
  static std::shared_ptr<WlrToplevels> connect(const std::string& display = {},
                                               std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
  ~WlrToplevels();
  WlrToplevels(const WlrToplevels&) = delete;
  WlrToplevels& operator=(const WlrToplevels&) = delete;

  // Tells of a start made at moment (taken before the process was created) whose windows may carry the
  // app ids. A process that is started again replaces its earlier start.
  void registerStart(int pid, std::vector<std::string> appIds, std::chrono::steady_clock::time_point moment);
  // The app ids of the executable's windows (appIdsOfProgram), from the installed desktop entries as the
  // first call found them: a start does not read them all again.
  std::vector<std::string> appIdsOf(const std::string& executable);
  // The window of the start of the process; nullopt while it has none or after it closed.
  std::optional<Toplevel> windowOf(int pid);
  // Sends the requests to the window of the start of the process, in their order; false when it has none.
  bool send(int pid, const std::vector<Request>& requests);

 private:
  struct Entry;
  struct Start {
    int pid = 0;
    std::vector<std::string> appIds;
    std::chrono::steady_clock::time_point moment;
    std::optional<std::uint64_t> window;
  };
  struct Listeners;

  WlrToplevels() = default;
  bool setUp(const std::string& display, std::chrono::milliseconds timeout);
  void run();
  // Gives the toplevel to the first start that waits for it (the lock held).
  void claim(Entry& entry);
  Entry* windowEntry(int pid);

  wl_display* m_display = nullptr;
  wl_registry* m_registry = nullptr;
  wl_seat* m_seat = nullptr;
  zwlr_foreign_toplevel_manager_v1* m_manager = nullptr;
  std::uint32_t m_version = 0;

  std::mutex m_mutex;
  std::map<std::uint64_t, std::unique_ptr<Entry>> m_toplevels;
  std::uint64_t m_nextSerial = 1;
  std::deque<Start> m_starts;
  std::once_flag m_entriesRead;
  std::vector<ApplicationEntry> m_entries;
  bool m_connected = true;

  WakeEvent m_stop;
  // Last, so that it ends before what it reads.
  std::thread m_reader;
};

// The windows of the starts told to a WlrToplevels connection, for the launcher's controls: Close =
// close; Minimize = set_minimized; Maximize = set_maximized; Restore = unset_minimized, unset_maximized and
// unset_fullscreen; the default command activates the window on the compositor's seat. The start states
// Minimized and Maximized are set_minimized and set_maximized. Whether the compositor carries a request
// out is its own affair: the protocol sends no answer.
class WlrWindows final : public WindowControl {
 public:
  explicit WlrWindows(std::shared_ptr<WlrToplevels> toplevels) : m_toplevels(std::move(toplevels)) {}

  bool hasWindow(int pid) override;
  bool postCommand(int pid, WindowCommand command) override;
  bool applyShowState(int pid, ShowState state) override;

 private:
  std::shared_ptr<WlrToplevels> m_toplevels;
};

}  // namespace kip
