#include "kwin_test_session.h"

#include <dbus/dbus.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "launcher_test_support.h"

namespace kip::test {

namespace {

constexpr auto kStartLimit = std::chrono::seconds(30);
constexpr int kCallMs = 5000;

std::string onPathAt(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  return {};
}

// A call to KWin with string arguments; the reply (to unref), nullptr when none came.
DBusMessage* callKWin(DBusConnection* bus, const char* method, std::initializer_list<const char*> args) {
  DBusMessage* call = dbus_message_new_method_call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", method);
  for (const char* arg : args) dbus_message_append_args(call, DBUS_TYPE_STRING, &arg, DBUS_TYPE_INVALID);
  DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, kCallMs, nullptr);
  dbus_message_unref(call);
  return reply;
}

}  // namespace

std::unique_ptr<KWinSession> KWinSession::start(std::string& reason) {
  const std::string kwin = onPathAt("kwin_wayland");
  if (kwin.empty() || !onPathAt("dbus-daemon").size()) {
    reason = "kwin_wayland or dbus-daemon is not installed (tools/setup.sh installs them)";
    return nullptr;
  }
  std::unique_ptr<KWinSession> session(new KWinSession);
  session->m_user = SessionUser::make("kwin", reason);
  if (!session->m_user) return nullptr;
  const std::string& folder = session->m_user->folder();
  session->m_log = folder + "/log";
  // The installed program carries a file capability, and a process whose bounding set lacks it may not
  // run it; the copy carries none.
  const std::string copy = folder + "/kwin_wayland";
  std::error_code error;
  std::filesystem::copy_file(kwin, copy, error);
  chmod(copy.c_str(), 0755);
  // The bus takes the test's connections and KWin's, whoever runs KWin.
  const std::string config = folder + "/bus.conf";
  session->m_busAddress = "unix:path=" + folder + "/bus";
  std::ofstream(config)
      << "<busconfig><type>session</type><listen>" << session->m_busAddress
      << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
         "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
         "</policy>"
         "</busconfig>\n";
  session->m_bus = spawnLogged({"dbus-daemon", "--config-file=" + config, "--nofork"}, {}, session->m_log);
  session->m_waylandSocket = folder + "/wayland-kip";
  const char* path = std::getenv("PATH");
  const std::vector<std::string> env = {"PATH=" + std::string(path ? path : "/usr/bin:/bin"), "HOME=" + folder,
                                        "XDG_RUNTIME_DIR=" + folder,
                                        "DBUS_SESSION_BUS_ADDRESS=" + session->m_busAddress};
  // KWin reads the scripts the window control writes, readable by their owner only: in a desktop session
  // both run as the same user, here KWin may read them through the capability.
  session->m_kwin =
      session->m_user->spawn({copy, "--virtual", "--width", "1024", "--height", "768", "--socket", "wayland-kip",
                              "--no-lockscreen", "--no-global-shortcuts"},
                             env, session->m_log, {"--inh-caps=+dac_read_search", "--ambient-caps=+dac_read_search"});
  if (session->m_bus <= 0 || session->m_kwin <= 0) {
    reason = "dbus-daemon or kwin_wayland could not be started";
    return nullptr;
  }
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(session->m_kwin, nullptr, WNOHANG) == session->m_kwin) {
      session->m_kwin = -1;
      reason = "kwin_wayland ended at its start:" + session->logTail();
      return nullptr;
    }
    if (access(session->m_waylandSocket.c_str(), F_OK) == 0 && session->scriptingAnswers()) return session;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  reason = "kwin_wayland did not come up within 30 s:" + session->logTail();
  return nullptr;
}

bool KWinSession::scriptingAnswers() {
  if (!m_connection) {
    DBusError error;
    dbus_error_init(&error);
    m_connection = dbus_connection_open_private(m_busAddress.c_str(), &error);
    if (m_connection && !dbus_bus_register(m_connection, &error)) {
      dbus_connection_close(m_connection);
      dbus_connection_unref(m_connection);
      m_connection = nullptr;
    }
    dbus_error_free(&error);
    if (!m_connection) return false;
    dbus_connection_set_exit_on_disconnect(m_connection, FALSE);
  }
  DBusMessage* reply = callKWin(m_connection, "isScriptLoaded", {"kip-test-none"});
  const bool answered = reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
  if (reply) dbus_message_unref(reply);
  return answered;
}

std::string KWinSession::windowState(int pid) {
  const std::string token = std::to_string(++m_queries);
  const std::string plugin = "kip-test-state-" + token;
  const std::string file = m_user->folder() + "/" + plugin + ".js";
  std::ofstream(file) << "const windows = typeof workspace.windowList === \"function\" ? workspace.windowList() : "
                         "workspace.clientList();\n"
                         "const active = \"activeWindow\" in workspace ? workspace.activeWindow : "
                         "workspace.activeClient;\n"
                         "let state = \"none\";\n"
                         "for (const w of windows) {\n"
                         "  if (w.pid !== "
                      << pid
                      << " || !w.normalWindow) continue;\n"
                         "  const area = workspace.clientArea(KWin.MaximizeArea, w);\n"
                         "  const g = w.frameGeometry;\n"
                         "  state = w.minimized ? \"minimized\" : \"shown\";\n"
                         "  if (g.width === area.width && g.height === area.height) state += \" maximized\";\n"
                         "  if (active === w) state += \" active\";\n"
                         "  break;\n"
                         "}\n"
                         "callDBus(\""
                      << dbus_bus_get_unique_name(m_connection)
                      << "\", \"/KipTest\", \"org.kiplaunch.KipTest\", \"state\", \"" << token << "\", state);\n";
  chmod(file.c_str(), 0644);
  std::string state;
  if (DBusMessage* loaded = callKWin(m_connection, "loadScript", {file.c_str(), plugin.c_str()})) {
    dbus_message_unref(loaded);
    if (DBusMessage* started = callKWin(m_connection, "start", {})) dbus_message_unref(started);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCallMs);
    while (state.empty()) {
      while (DBusMessage* message = dbus_connection_pop_message(m_connection)) {
        const char *answered = nullptr, *text = nullptr;
        if (dbus_message_is_method_call(message, "org.kiplaunch.KipTest", "state") &&
            dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &answered, DBUS_TYPE_STRING, &text,
                                  DBUS_TYPE_INVALID) &&
            token == answered) {
          state = text;
          DBusMessage* reply = dbus_message_new_method_return(message);
          dbus_connection_send(m_connection, reply, nullptr);
          dbus_message_unref(reply);
        }
        dbus_message_unref(message);
      }
      if (!state.empty() || std::chrono::steady_clock::now() >= deadline ||
          !dbus_connection_read_write(m_connection, 100))
        break;
    }
    if (DBusMessage* unloaded = callKWin(m_connection, "unloadScript", {plugin.c_str()})) dbus_message_unref(unloaded);
  }
  unlink(file.c_str());
  return state;
}

bool KWinSession::holdScript(const std::string& plugin) {
  const std::string file = m_user->folder() + "/" + plugin + ".js";
  std::ofstream(file) << "// held by another program\n";
  chmod(file.c_str(), 0644);
  DBusMessage* reply = callKWin(m_connection, "loadScript", {file.c_str(), plugin.c_str()});
  dbus_int32_t id = -1;
  if (reply) dbus_message_get_args(reply, nullptr, DBUS_TYPE_INT32, &id, DBUS_TYPE_INVALID);
  if (reply) dbus_message_unref(reply);
  return id >= 0;
}

bool KWinSession::dropScript(const std::string& plugin) {
  if (DBusMessage* reply = callKWin(m_connection, "unloadScript", {plugin.c_str()})) dbus_message_unref(reply);
  return eventually([&] {
    DBusMessage* reply = callKWin(m_connection, "isScriptLoaded", {plugin.c_str()});
    dbus_bool_t loaded = TRUE;
    if (reply) dbus_message_get_args(reply, nullptr, DBUS_TYPE_BOOLEAN, &loaded, DBUS_TYPE_INVALID);
    if (reply) dbus_message_unref(reply);
    return !loaded;
  });
}

std::string KWinSession::logTail() const { return kip::test::logTail(m_log); }

KWinSession::~KWinSession() {
  if (m_connection) {
    dbus_connection_close(m_connection);
    dbus_connection_unref(m_connection);
  }
  endProcess(m_kwin);
  endProcess(m_bus);
}

}  // namespace kip::test
