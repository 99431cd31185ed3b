#include "platform/linux/x11_windows.h"

#include <chrono>
#include <cstring>
#include <mutex>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kip {

namespace {

// A connection attempt that failed is repeated only after this pause.
constexpr long long kRetryMs = 5000;

// Windows vanish at any moment; their errors must not end the program (Xlib's default handler exits).
int ignoreXError(Display*, XErrorEvent*) { return 0; }

long long nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The 32-bit items of a window property, as Xlib hands them over (in longs).
std::vector<unsigned long> longProperty(Display* display, Window window, Atom property, Atom type) {
  std::vector<unsigned long> items;
  Atom actualType = 0;
  int actualFormat = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, 1 << 16, False, type, &actualType, &actualFormat, &count, &after,
                         &data) == Success &&
      data && actualType == type && actualFormat == 32) {
    const auto* values = reinterpret_cast<const unsigned long*>(data);
    items.assign(values, values + count);
  }
  if (data) XFree(data);
  return items;
}

}  // namespace

struct X11Windows::Connection {
  Display* display = nullptr;
  Window root = 0;
  Atom clientList = 0, wmPid = 0, wmProtocols = 0, wmDelete = 0, closeWindow = 0, wmState = 0, maxVert = 0, maxHorz = 0,
       activeWindow = 0, icccmState = 0;

  explicit Connection(Display* d) : display(d), root(DefaultRootWindow(d)) {
    auto atom = [d](const char* name) { return XInternAtom(d, name, False); };
    clientList = atom("_NET_CLIENT_LIST");
    wmPid = atom("_NET_WM_PID");
    wmProtocols = atom("WM_PROTOCOLS");
    wmDelete = atom("WM_DELETE_WINDOW");
    closeWindow = atom("_NET_CLOSE_WINDOW");
    wmState = atom("_NET_WM_STATE");
    maxVert = atom("_NET_WM_STATE_MAXIMIZED_VERT");
    maxHorz = atom("_NET_WM_STATE_MAXIMIZED_HORZ");
    activeWindow = atom("_NET_ACTIVE_WINDOW");
    icccmState = atom("WM_STATE");
  }
  ~Connection() { XCloseDisplay(display); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // A client message to the root window, as pagers send them to the window manager.
  void rootMessage(Window window, Atom type, long l0, long l1 = 0, long l2 = 0) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = 2;  // the source is a pager-like tool
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  }

  void changeMaximized(Window window, bool add) const {
    rootMessage(window, wmState, add ? 1 : 0, static_cast<long>(maxVert), static_cast<long>(maxHorz));
  }

  void activate(Window window) const { rootMessage(window, activeWindow, 2, CurrentTime, 0); }
};

X11Windows::X11Windows(std::string displayName) : m_displayName(std::move(displayName)) {}

X11Windows::~X11Windows() = default;

bool X11Windows::connect() {
  if (m_x) return true;
  if (m_displayName.empty()) return false;
  const auto now = nowMs();
  if (m_lastAttemptMs >= 0 && now - m_lastAttemptMs < kRetryMs) return false;
  m_lastAttemptMs = now;
  static std::once_flag handlerInstalled;
  std::call_once(handlerInstalled, [] { XSetErrorHandler(ignoreXError); });
  Display* display = XOpenDisplay(m_displayName.c_str());
  if (!display) return false;
  m_x = std::make_unique<Connection>(display);
  return true;
}

int X11Windows::connectionFd() const { return m_x ? ConnectionNumber(m_x->display) : -1; }

std::vector<X11Window> X11Windows::clientList() {
  if (!connect()) return {};
  return longProperty(m_x->display, m_x->root, m_x->clientList, XA_WINDOW);
}

std::optional<X11Window> X11Windows::firstClientOf(int pid) {
  if (pid <= 0) return std::nullopt;
  for (const X11Window window : clientList()) {
    const auto pids = longProperty(m_x->display, window, m_x->wmPid, XA_CARDINAL);
    if (!pids.empty() && pids.front() == static_cast<unsigned long>(pid)) return window;
  }
  return std::nullopt;
}

std::optional<X11Window> X11Windows::commandTarget(int pid) {
  const auto window = firstClientOf(pid);
  if (!window) return std::nullopt;
  Window owner = 0;
  if (XGetTransientForHint(m_x->display, *window, &owner) && owner != 0 && owner != m_x->root) return owner;
  return window;
}

bool X11Windows::postCommand(int pid, WindowCommand command) {
  const auto target = commandTarget(pid);
  return target && sendCommand(*target, command);
}

bool X11Windows::sendCommand(X11Window window, WindowCommand command) {
  if (!connect()) return false;
  Display* display = m_x->display;
  switch (command) {
    case WindowCommand::Close: {
      Atom* protocols = nullptr;
      int count = 0;
      bool deletable = false;
      if (XGetWMProtocols(display, window, &protocols, &count)) {
        for (int i = 0; i < count; ++i) deletable = deletable || protocols[i] == m_x->wmDelete;
        XFree(protocols);
      }
      if (deletable) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = m_x->wmProtocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(m_x->wmDelete);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
      } else {
        m_x->rootMessage(window, m_x->closeWindow, CurrentTime, 2);
      }
      break;
    }
    case WindowCommand::Minimize:
      XIconifyWindow(display, window, DefaultScreen(display));
      break;
    case WindowCommand::Maximize:
      m_x->changeMaximized(window, true);
      break;
    case WindowCommand::Restore:
      m_x->changeMaximized(window, false);
      if (iconic(window)) m_x->activate(window);
      break;
    case WindowCommand::Default:
      m_x->activate(window);
      break;
  }
  XFlush(display);
  return true;
}

bool X11Windows::applyShowState(X11Window window, ShowState state) {
  switch (state) {
    case ShowState::Minimized:
      return sendCommand(window, WindowCommand::Minimize);
    case ShowState::Maximized:
      return sendCommand(window, WindowCommand::Maximize);
    case ShowState::Normal:
      return true;
  }
  return false;
}

void X11Windows::watchClientList(bool on) {
  if (!connect()) return;
  XSelectInput(m_x->display, m_x->root, on ? PropertyChangeMask : NoEventMask);
  if (on) {
    XFlush(m_x->display);
  } else {
    XSync(m_x->display, False);
    drainEvents();
  }
}

bool X11Windows::drainEvents() {
  if (!m_x) return false;
  bool changed = false;
  while (XPending(m_x->display) > 0) {
    XEvent event;
    XNextEvent(m_x->display, &event);
    if (event.type == PropertyNotify && event.xproperty.atom == m_x->clientList) changed = true;
  }
  return changed;
}

std::vector<std::string> X11Windows::netWmState(X11Window window) {
  std::vector<std::string> names;
  if (!connect()) return names;
  for (const auto atom : longProperty(m_x->display, window, m_x->wmState, XA_ATOM)) {
    char* name = XGetAtomName(m_x->display, atom);
    if (name) {
      names.emplace_back(name);
      XFree(name);
    }
  }
  return names;
}

bool X11Windows::iconic(X11Window window) {
  if (!connect()) return false;
  const auto state = longProperty(m_x->display, window, m_x->icccmState, m_x->icccmState);
  return !state.empty() && state.front() == IconicState;
}

std::optional<X11Window> X11Windows::activeWindow() {
  if (!connect()) return std::nullopt;
  const auto active = longProperty(m_x->display, m_x->root, m_x->activeWindow, XA_WINDOW);
  if (active.empty() || active.front() == 0) return std::nullopt;
  return active.front();
}

}  // namespace kip
