#include "platform/linux/kwin_windows.h"

#include <dbus/dbus.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/linux/process_tree.h"

namespace kip {

namespace {

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kScripting = "/Scripting";
constexpr const char* kScriptingInterface = "org.kde.kwin.Scripting";
constexpr const char* kScriptInterface = "org.kde.kwin.Script";
constexpr const char* kAnswerPath = "/KipWindows";
constexpr const char* kAnswerInterface = "org.kiplaunch.KipWindows";

const char* actionOf(WindowCommand command) {
  switch (command) {
    case WindowCommand::Close:
      return "close";
    case WindowCommand::Minimize:
      return "minimize";
    case WindowCommand::Maximize:
      return "maximize";
    case WindowCommand::Restore:
      return "restore";
    case WindowCommand::Default:
      return "activate";
  }
  return "none";
}

// A message released when it goes out of scope.
struct Message {
  DBusMessage* message = nullptr;
  explicit Message(DBusMessage* m) : message(m) {}
  ~Message() {
    if (message) dbus_message_unref(message);
  }
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;
};

// KWin numbers a loaded script by the count of the scripts it holds, and its object path follows the
// number; an unloaded script leaves that count only on KWin's next turn of its event loop. A script
// loaded while another is unloaded, or right after one was, can so get the number of one still there: it
// cannot take the object path, and a run sent there goes to the other script. This process's requests
// therefore go one at a time, each after the script of the last one has left.
std::mutex& requestLock() {
  static std::mutex lock;
  return lock;
}

// How often KWin is asked whether an unloaded script has left.
constexpr auto kUnloadRecheck = std::chrono::milliseconds(5);

// A script file removed when it goes out of scope.
struct ScriptFile {
  std::string path;
  ~ScriptFile() {
    if (!path.empty()) unlink(path.c_str());
  }
};

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string KWinWindows::scriptText(const std::vector<int>& pids, std::string_view action, const std::string& service,
                                    const std::string& token) {
  std::string list;
  for (const int pid : pids) list += (list.empty() ? "" : ", ") + std::to_string(pid);
  return "const pids = [" + list + "];\nconst action = " + quoted(action) +
         ";\n"
         "const windows = typeof workspace.windowList === \"function\" ? workspace.windowList() : "
         "workspace.clientList();\n"
         "let target = null;\n"
         "for (const pid of pids) {\n"
         "  for (const w of windows) {\n"
         "    if (w.pid === pid && w.normalWindow) { target = w; break; }\n"
         "  }\n"
         "  if (target) break;\n"
         "}\n"
         "const activate = (w) => {\n"
         "  w.minimized = false;\n"
         "  if (\"activeWindow\" in workspace) workspace.activeWindow = w; else workspace.activeClient = w;\n"
         "};\n"
         "if (target) {\n"
         "  if (action === \"close\") target.closeWindow();\n"
         "  else if (action === \"minimize\") target.minimized = true;\n"
         "  else if (action === \"maximize\") target.setMaximize(true, true);\n"
         "  else if (action === \"restore\") {\n"
         "    target.setMaximize(false, false);\n"
         "    if (target.minimized) activate(target);\n"
         "  }\n"
         "  else if (action === \"activate\") activate(target);\n"
         "}\n"
         "callDBus(" +
         quoted(service) + ", " + quoted(kAnswerPath) + ", " + quoted(kAnswerInterface) + ", \"answer\", " +
         quoted(token) + ", target ? \"found\" : \"none\");\n";
}

KWinWindows::KWinWindows(std::string busAddress, std::chrono::milliseconds timeout)
    : m_busAddress(std::move(busAddress)), m_timeout(timeout) {}

KWinWindows::~KWinWindows() {
  if (m_bus) {
    dbus_connection_close(m_bus);
    dbus_connection_unref(m_bus);
  }
}

bool KWinWindows::connect() {
  if (m_bus) return dbus_connection_get_is_connected(m_bus);
  DBusError error;
  dbus_error_init(&error);
  // libdbus reads the session bus's address once per process; the variable is read here each time.
  std::string address = m_busAddress;
  if (const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address.empty() && session) address = session;
  if (address.empty()) {
    m_bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
  } else {
    m_bus = dbus_connection_open_private(address.c_str(), &error);
    if (m_bus && !dbus_bus_register(m_bus, &error)) {
      dbus_connection_close(m_bus);
      dbus_connection_unref(m_bus);
      m_bus = nullptr;
    }
  }
  dbus_error_free(&error);
  if (!m_bus) return false;
  dbus_connection_set_exit_on_disconnect(m_bus, FALSE);
  return true;
}

std::optional<bool> KWinWindows::awaitAnswer(const std::string& token, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (bool last = false;;) {
    while (DBusMessage* raw = dbus_connection_pop_message(m_bus)) {
      Message message(raw);
      if (!dbus_message_is_method_call(raw, kAnswerInterface, "answer")) continue;
      const char* answeredToken = nullptr;
      const char* found = nullptr;
      const bool read = dbus_message_get_args(raw, nullptr, DBUS_TYPE_STRING, &answeredToken, DBUS_TYPE_STRING, &found,
                                              DBUS_TYPE_INVALID);
      Message reply(dbus_message_new_method_return(raw));
      if (reply.message) dbus_connection_send(m_bus, reply.message, nullptr);
      if (read && token == answeredToken) return std::string_view(found) == "found";
    }
    // Once more after the deadline for what came in by then.
    if (last) return std::nullopt;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    last = left <= 0;
    if (!dbus_connection_read_write(m_bus, static_cast<int>(std::max<long long>(left, 0)))) return std::nullopt;
  }
}

std::optional<bool> KWinWindows::run(int pid, std::string_view action) {
  if (pid <= 0 || !connect()) return std::nullopt;
  std::lock_guard lock(requestLock());
  // KWin refuses a plugin name that is loaded still; every request of the process has its own.
  static std::atomic<unsigned> requests{0};
  const std::string token = std::to_string(getpid()) + "-" + std::to_string(++requests);
  const std::string plugin = "kiplaunch-" + token;
  const char* tmp = std::getenv("XDG_RUNTIME_DIR");
  ScriptFile file;
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kiplaunch-kwin-XXXXXX.js";
  const int fd = mkstemps(pattern.data(), 3);
  if (fd < 0) return std::nullopt;
  close(fd);
  file.path = pattern;
  std::ofstream(file.path) << scriptText(processAndDescendants(pid), action, dbus_bus_get_unique_name(m_bus), token);

  const auto call = [&](const char* path, const char* interface, const char* method, int firstType,
                        auto... args) -> DBusMessage* {
    Message message(dbus_message_new_method_call(kKWin, path, interface, method));
    if (!message.message) return nullptr;
    if (firstType != DBUS_TYPE_INVALID)
      dbus_message_append_args(message.message, firstType, args..., DBUS_TYPE_INVALID);
    return dbus_connection_send_with_reply_and_block(m_bus, message.message, static_cast<int>(m_timeout.count()),
                                                     nullptr);
  };
  const char* pathText = file.path.c_str();
  const char* pluginText = plugin.c_str();
  Message loaded(
      call(kScripting, kScriptingInterface, "loadScript", DBUS_TYPE_STRING, &pathText, DBUS_TYPE_STRING, &pluginText));
  dbus_int32_t id = -1;
  if (!loaded.message || !dbus_message_get_args(loaded.message, nullptr, DBUS_TYPE_INT32, &id, DBUS_TYPE_INVALID) ||
      id < 0)
    return std::nullopt;
  // Plasma 6 keeps a loaded script at /Scripting/Script<id>, Plasma 5.27 at /<id>.
  const std::string scriptPath = std::string(kScripting) + "/Script" + std::to_string(id);
  Message started(call(scriptPath.c_str(), kScriptInterface, "run", DBUS_TYPE_INVALID));
  if (!started.message || dbus_message_get_type(started.message) == DBUS_MESSAGE_TYPE_ERROR) {
    const std::string oldPath = "/" + std::to_string(id);
    Message old(call(oldPath.c_str(), kScriptInterface, "run", DBUS_TYPE_INVALID));
  }
  // KWin answers a run once the script has run, after what the script sent. With no answer here the
  // number was another program's script's; Scripting.start runs every loaded script not yet running.
  auto answer = awaitAnswer(token, std::chrono::milliseconds(0));
  if (!answer) {
    Message all(call(kScripting, kScriptingInterface, "start", DBUS_TYPE_INVALID));
    answer = awaitAnswer(token, m_timeout);
  }
  Message unloaded(call(kScripting, kScriptingInterface, "unloadScript", DBUS_TYPE_STRING, &pluginText));
  const auto deadline = std::chrono::steady_clock::now() + m_timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    Message loadedStill(call(kScripting, kScriptingInterface, "isScriptLoaded", DBUS_TYPE_STRING, &pluginText));
    dbus_bool_t still = FALSE;
    if (!loadedStill.message ||
        !dbus_message_get_args(loadedStill.message, nullptr, DBUS_TYPE_BOOLEAN, &still, DBUS_TYPE_INVALID) || !still)
      break;
    std::this_thread::sleep_for(kUnloadRecheck);
  }
  return answer;
}

bool KWinWindows::hasWindow(int pid) { return run(pid, "none").value_or(false); }

bool KWinWindows::postCommand(int pid, WindowCommand command) { return run(pid, actionOf(command)).value_or(false); }

bool KWinWindows::applyShowState(int pid, ShowState state) {
  switch (state) {
    case ShowState::Minimized:
      return run(pid, "minimize").value_or(false);
    case ShowState::Maximized:
      return run(pid, "maximize").value_or(false);
    case ShowState::Normal:
      return hasWindow(pid);
  }
  return false;
}

}  // namespace kip
