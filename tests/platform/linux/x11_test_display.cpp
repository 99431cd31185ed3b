#include "x11_test_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "launcher_test_support.h"

extern char** environ;

namespace kip::test {

namespace {

constexpr const char* kClientFlag = "--kip-x11-test-client";
constexpr auto kStartLimit = std::chrono::seconds(20);

pid_t spawnQuiet(const std::vector<std::string>& argv, char** envp, int keepFd = -1) {
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (keepFd >= 0) posix_spawn_file_actions_adddup2(&actions, keepFd, 3);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), envp);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

std::vector<unsigned long> windowList(Display* display, Window window, const char* property) {
  std::vector<unsigned long> items;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 4096, False, XA_WINDOW, &type,
                         &format, &count, &after, &data) == Success &&
      data && format == 32) {
    const auto* values = reinterpret_cast<const unsigned long*>(data);
    items.assign(values, values + count);
  }
  if (data) XFree(data);
  return items;
}

bool waitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool managed(Display* display, Window window) {
  const auto clients = windowList(display, DefaultRootWindow(display), "_NET_CLIENT_LIST");
  for (const auto client : clients)
    if (client == window) return true;
  return false;
}

void append(const std::string& path, const std::string& line) { std::ofstream(path, std::ios::app) << line << "\n"; }

[[noreturn]] int lostConnection(Display*) { _exit(3); }

int runClient(const std::vector<std::string>& args) {
  if (args.size() < 4) return 2;
  const std::string& marker = args[3];
  bool noDelete = false, ignoreClose = false, transient = false;
  int delayMs = 0;
  for (std::size_t i = 4; i < args.size(); ++i) {
    if (args[i] == "nodelete") noDelete = true;
    if (args[i] == "ignoreclose") ignoreClose = true;
    if (args[i] == "transient") transient = true;
    if (args[i].rfind("delay=", 0) == 0) delayMs = std::atoi(args[i].c_str() + 6);
  }
  XSetIOErrorHandler(lostConnection);
  Display* display = XOpenDisplay(args[2].c_str());
  if (!display) return 2;
  Atom wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  auto make = [&](const char* name) {
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 20, 20, 240, 160, 0, 0, WhitePixel(display, 0));
    const long pid = getpid();
    XChangeProperty(display, window, pidAtom, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XStoreName(display, window, name);
    if (!noDelete) XSetWMProtocols(display, window, &wmDelete, 1);
    return window;
  };
  auto mapManaged = [&](Window window) {
    XMapWindow(display, window);
    XSync(display, False);
    return waitFor([&] { return managed(display, window); });
  };
  if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));

  std::ostringstream ids;
  if (transient) {
    const Window owner = make("owner");
    const Window dialog = make("dialog");
    XSetTransientForHint(display, dialog, owner);
    if (!mapManaged(dialog) || !mapManaged(owner)) return 4;
    ids << "owner " << owner << "\ndialog " << dialog << "\n";
  } else {
    const Window window = make("main");
    if (!mapManaged(window)) return 4;
    ids << "main " << window << "\n";
  }
  {
    std::ofstream(marker + ".tmp") << ids.str();
    std::rename((marker + ".tmp").c_str(), marker.c_str());
  }
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == wmDelete) {
      if (ignoreClose) {
        append(marker, "ignored");
        continue;
      }
      append(marker, "closed");
      XCloseDisplay(display);
      return 0;
    }
  }
}

std::vector<std::string> ownCommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string arg;
  while (std::getline(in, arg, '\0')) args.push_back(arg);
  return args;
}

// This test program doubles as the X11 client: started with the client flag it runs that and ends
// before any test machinery starts.
const bool kClientModeChecked = [] {
  const auto args = ownCommandLine();
  if (args.size() >= 2 && args[1] == kClientFlag) _exit(runClient(args));
  return true;
}();

}  // namespace

std::string x11ClientCommand(const std::string& display, const std::string& marker, const std::string& modes) {
  char self[4096] = {};
  const auto length = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string program = length > 0 ? std::string(self, static_cast<std::size_t>(length)) : "linux_tests";
  std::string text = "\"" + program + "\" " + kClientFlag + " " + display + " \"" + marker + "\"";
  if (!modes.empty()) text += " " + modes;
  return text;
}

std::unique_ptr<X11Session> X11Session::start(std::string& reason) {
  (void)kClientModeChecked;
  if (!onPath("Xvfb")) {
    reason = "Xvfb is not installed";
    return nullptr;
  }
  if (!onPath("openbox")) {
    reason = "openbox is not installed";
    return nullptr;
  }
  std::unique_ptr<X11Session> session(new X11Session);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    reason = "no pipe";
    return nullptr;
  }
  session->m_server =
      spawnQuiet({"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}, environ, pipeFds[1]);
  close(pipeFds[1]);
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (session->m_server > 0 && number.find('\n') == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd fd{pipeFds[0], POLLIN, 0};
    if (poll(&fd, 1, 200) <= 0) continue;
    char buffer[32];
    const auto got = read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    number.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeFds[0]);
  if (number.find('\n') == std::string::npos) {
    reason = "Xvfb did not start";
    return nullptr;
  }
  session->m_display = ":" + number.substr(0, number.find('\n'));

  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry)
    if (std::strncmp(*entry, "DISPLAY=", 8) != 0) environment.emplace_back(*entry);
  environment.push_back("DISPLAY=" + session->m_display);
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  session->m_windowManager = spawnQuiet({"openbox", "--sm-disable"}, envp.data());

  Display* display = XOpenDisplay(session->m_display.c_str());
  bool running = display && waitFor([&] {
                   return !windowList(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK").empty();
                 });
  // openbox announces itself before it is ready to manage windows; a window mapped in between is never
  // managed. Wait until a probe window of our own is managed before any test maps one.
  if (running) {
    running = false;
    for (int attempt = 0; attempt < 10 && !running; ++attempt) {
      const Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
      XMapWindow(display, probe);
      XSync(display, False);
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      while (!running && std::chrono::steady_clock::now() < until) {
        running = managed(display, probe);
        if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      XDestroyWindow(display, probe);
      XSync(display, False);
    }
    if (running) waitFor([&] { return windowList(display, DefaultRootWindow(display), "_NET_CLIENT_LIST").empty(); });
  }
  if (display) XCloseDisplay(display);
  if (!running) {
    reason = "openbox did not start on " + session->m_display;
    return nullptr;
  }
  return session;
}

X11Session::~X11Session() {
  stop(m_windowManager);
  stop(m_server);
}

}  // namespace kip::test
