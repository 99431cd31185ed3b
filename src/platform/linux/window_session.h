#pragma once

#include <string>

namespace kip {

// The interface through which a session lets this program act on other programs' windows.
enum class WindowDesktop {
  None,      // no display at all
  X11,       // an X11 session: libX11 and the window manager's EWMH hints
  Sway,      // sway or another i3-compatible Wayland compositor: its IPC socket
  KWin,      // KDE Plasma on Wayland: KWin's scripting interface on the session bus
  Hyprland,  // Hyprland: its request socket
  Wlr,       // a wlroots compositor (labwc, Wayfire, river, ...): zwlr_foreign_toplevel_manager_v1
  Wayland,   // another Wayland desktop (GNOME, ...): nothing but XWayland's windows
};

// What the environment tells of the session.
struct SessionFacts {
  std::string display;         // $DISPLAY
  std::string waylandDisplay;  // $WAYLAND_DISPLAY
  std::string currentDesktop;  // $XDG_CURRENT_DESKTOP
  std::string swaySocket;      // $SWAYSOCK, else $I3SOCK
  std::string hyprlandSocket;  // the request socket of $HYPRLAND_INSTANCE_SIGNATURE's instance
  bool kwinOnBus = false;      // org.kde.KWin has an owner on the session bus
  // The compositor offers the foreign-toplevel manager; asked only of a Wayland session that none of the
  // above tells.
  bool foreignToplevels = false;

  // The session bus is asked about KWin only in a Wayland session that the variables do not tell.
  static SessionFacts fromEnvironment();
};

// The interface the session offers: a Wayland session's own where it has one, X11 where there is no
// Wayland compositor, nothing without a display.
WindowDesktop windowDesktopOf(const SessionFacts& facts);

// Whether the after-actions, the start states and the Idle wait reach programs that talk to the
// compositor directly; false on a Wayland desktop without an interface for it.
bool windowCommandsAvailable(WindowDesktop desktop);

// The line `kipctl plan` and the definition dialog's Test show where window commands reach only
// XWayland programs; empty where they are available or there is no display.
std::string windowCommandsNote(const SessionFacts& facts);

}  // namespace kip
