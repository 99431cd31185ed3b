#include "platform/linux/window_session.h"

#include <cstdlib>

#include "platform/linux/wlr_windows.h"

namespace kip {

namespace {
std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
}  // namespace

SessionFacts SessionFacts::fromEnvironment() {
  SessionFacts facts;
  facts.display = environment("DISPLAY");
  facts.waylandDisplay = environment("WAYLAND_DISPLAY");
  facts.currentDesktop = environment("XDG_CURRENT_DESKTOP");
  facts.swaySocket = environment("SWAYSOCK");
  if (facts.swaySocket.empty()) facts.swaySocket = environment("I3SOCK");
  // The environment cannot tell whether the compositor offers the protocol; its registry can.
  if (windowDesktopOf(facts) == WindowDesktop::Wayland)
    facts.foreignToplevels = offersForeignToplevels(facts.waylandDisplay);
  return facts;
}

WindowDesktop windowDesktopOf(const SessionFacts& facts) {
  if (!facts.waylandDisplay.empty()) {
    // i3 itself sets I3SOCK on X11; a socket counts for Wayland only inside a Wayland session.
    if (!facts.swaySocket.empty()) return WindowDesktop::Sway;
    // XDG_CURRENT_DESKTOP is a colon-separated list; Plasma names itself KDE in it.
    const std::string desktops = ":" + facts.currentDesktop + ":";
    if (desktops.find(":KDE:") != std::string::npos) return WindowDesktop::KWin;
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
