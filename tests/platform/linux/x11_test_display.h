#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace kip::test {

// A display of the tests' own: Xvfb on a free display number with openbox managing it.
class X11Session {
 public:
  // Starts both and waits until the window manager runs; nullptr with the reason when it cannot.
  static std::unique_ptr<X11Session> start(std::string& reason);
  ~X11Session();
  X11Session(const X11Session&) = delete;
  X11Session& operator=(const X11Session&) = delete;

  [[nodiscard]] const std::string& display() const { return m_display; }

 private:
  X11Session() = default;
  pid_t m_server = -1;
  pid_t m_windowManager = -1;
  std::string m_display;
};

// The command text that runs this test program as a small X11 client: it maps a window whose
// _NET_WM_PID is its pid, writes "main <id>" (or "owner <id>" and "dialog <id>") into marker once the
// window manager manages it, and appends "closed" (and ends) or "ignored" when asked to close.
// Modes, blank-separated: "delay=<ms>" before mapping, "nodelete" (no WM_DELETE_WINDOW),
// "ignoreclose", "transient" (a dialog owned by a second window, the dialog mapped first).
std::string x11ClientCommand(const std::string& display, const std::string& marker, const std::string& modes = {});

}  // namespace kip::test
