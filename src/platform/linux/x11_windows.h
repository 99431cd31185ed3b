#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/window_control.h"
#include "platform/process_launcher.h"

namespace kip {

// An X11 window id.
using X11Window = unsigned long;

// The top-level windows of started programs, reached through one X11 connection of its own
// (libX11). One object belongs to one thread. Windows are found through the window manager's
// _NET_CLIENT_LIST and their _NET_WM_PID; without a window manager no window is ever found.
class X11Windows {
 public:
  // displayName empty: no display is used at all.
  explicit X11Windows(std::string displayName);
  ~X11Windows();
  X11Windows(const X11Windows&) = delete;
  X11Windows& operator=(const X11Windows&) = delete;

  // Connects when not connected yet (a failed attempt is repeated at most every few seconds);
  // true when the display is reachable.
  bool connect();
  // The connection's file descriptor, readable when events arrive; -1 without a connection.
  [[nodiscard]] int connectionFd() const;

  // The managed top-level windows in the window manager's order.
  std::vector<X11Window> clientList();
  // The first managed window whose _NET_WM_PID is pid.
  std::optional<X11Window> firstClientOf(int pid);
  // Where a command for the process goes: its first window, or that window's WM_TRANSIENT_FOR owner.
  std::optional<X11Window> commandTarget(int pid);
  // Sends the command to the process's target window; false without a window or a display.
  bool postCommand(int pid, WindowCommand command);
  // Sends the command to a window: Close by WM_DELETE_WINDOW (else _NET_CLOSE_WINDOW), Minimize by
  // iconifying, Maximize and Restore by _NET_WM_STATE (Restore also de-iconifies), Default activates.
  bool sendCommand(X11Window window, WindowCommand command);
  // Minimises or maximises a window as a start's show state asks; Normal leaves it alone.
  bool applyShowState(X11Window window, ShowState state);

  // Asks for (or stops asking for) notice of changes of the root window's properties.
  void watchClientList(bool on);
  // Handles the events that have arrived; true when the client list changed among them.
  bool drainEvents();

  // The names of the atoms in a window's _NET_WM_STATE.
  std::vector<std::string> netWmState(X11Window window);
  // True when the window's WM_STATE is iconic.
  bool iconic(X11Window window);
  // The window manager's _NET_ACTIVE_WINDOW.
  std::optional<X11Window> activeWindow();

 private:
  struct Connection;
  std::string m_displayName;
  std::unique_ptr<Connection> m_x;
  long long m_lastAttemptMs = -1;
};

// The X11 windows behind the window-control interface, for the programs that run through XWayland on a
// Wayland desktop. It owns its connection and belongs to one thread.
class X11WindowControl final : public WindowControl {
 public:
  explicit X11WindowControl(std::string displayName) : m_windows(std::move(displayName)) {}
  bool hasWindow(int pid) override { return m_windows.firstClientOf(pid).has_value(); }
  bool postCommand(int pid, WindowCommand command) override { return m_windows.postCommand(pid, command); }
  bool applyShowState(int pid, ShowState state) override {
    const auto window = m_windows.firstClientOf(pid);
    return window && m_windows.applyShowState(*window, state);
  }

 private:
  X11Windows m_windows;
};

}  // namespace kip
