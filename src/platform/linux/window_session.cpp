#include "platform/linux/window_session.h"

#include <dbus/dbus.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/linux/hyprland_windows.h"
#include "platform/linux/wlr_windows.h"

namespace kip {

namespace {
std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Whether the name has an owner on the session bus; false without a bus. A session without a bus address
// or the runtime folder's bus socket is not asked, so that libdbus does not launch a bus of its own.
bool sessionBusHasOwner(const char* name) {
  const std::string runtimeDir = environment("XDG_RUNTIME_DIR");
  if (environment("DBUS_SESSION_BUS_ADDRESS").empty() &&
      (runtimeDir.empty() || access((runtimeDir + "/bus").c_str(), F_OK) != 0))
    return false;
  DBusError error;
  dbus_error_init(&error);
  DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
  bool owned = false;
  if (bus) {
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    owned = dbus_bus_name_has_owner(bus, name, &error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
  }
  dbus_error_free(&error);
  return owned;
}
}  // namespace

SessionFacts SessionFacts::fromEnvironment() {
  SessionFacts facts;
  facts.display = environment("DISPLAY");
  facts.waylandDisplay = environment("WAYLAND_DISPLAY");
  facts.currentDesktop = environment("XDG_CURRENT_DESKTOP");
  facts.swaySocket = environment("SWAYSOCK");
  if (facts.swaySocket.empty()) facts.swaySocket = environment("I3SOCK");
  facts.hyprlandSocket =
      HyprlandWindows::socketPathOf(environment("HYPRLAND_INSTANCE_SIGNATURE"), environment("XDG_RUNTIME_DIR"));
  // Plasma started by hand or by another session manager may leave XDG_CURRENT_DESKTOP unset.
  if (windowDesktopOf(facts) == WindowDesktop::Wayland) facts.kwinOnBus = sessionBusHasOwner("org.kde.KWin");
  // The environment cannot tell whether the compositor offers the protocol; its registry can.
  if (windowDesktopOf(facts) == WindowDesktop::Wayland)
    facts.foreignToplevels = offersForeignToplevels(facts.waylandDisplay);
  return facts;
}

WindowDesktop windowDesktopOf(const SessionFacts& facts) {
  if (!facts.waylandDisplay.empty()) {
    // i3 itself sets I3SOCK on X11; a socket counts for Wayland only inside a Wayland session.
    if (!facts.swaySocket.empty()) return WindowDesktop::Sway;
    if (!facts.hyprlandSocket.empty()) return WindowDesktop::Hyprland;
    // XDG_CURRENT_DESKTOP is a colon-separated list; Plasma names itself KDE in it.
    const std::string desktops = ":" + facts.currentDesktop + ":";
    if (desktops.find(":KDE:") != std::string::npos || facts.kwinOnBus) return WindowDesktop::KWin;
    if (facts.foreignToplevels) return WindowDesktop::Wlr;
    return WindowDesktop::Wayland;
  }
  if (!facts.display.empty()) return WindowDesktop::X11;
  return WindowDesktop::None;
}

bool windowCommandsAvailable(WindowDesktop desktop) { return desktop != WindowDesktop::Wayland; }

std::string windowCommandsNote(const SessionFacts& facts) {
  if (windowCommandsAvailable(windowDesktopOf(facts))) return {};
  const std::string desktop = facts.currentDesktop.empty() ? "Wayland" : facts.currentDesktop + " on Wayland";
  return "Window commands are not available on this desktop (" + desktop +
         "): the after-action, the start state and the Idle wait reach only programs that run "
         "through XWayland.";
}

}  // namespace kip
