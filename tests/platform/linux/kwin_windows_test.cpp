#include "platform/linux/kwin_windows.h"
#include "platform/linux/process_tree.h"

#include <dbus/dbus.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <regex>

#include "launcher_test_support.h"
#include "platform/linux/posix_launcher.h"

extern char** environ;

namespace kip::test {
namespace {

// A session bus of the test's own: dbus-daemon, ended with the object.
class PrivateBus {
 public:
  PrivateBus() {
    int out[2];
    if (!onPath("dbus-daemon") || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const char* argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address", nullptr};
    if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char c = 0;
    while (m_pid > 0 && read(out[0], &c, 1) == 1 && c != '\n') m_address += c;
    close(out[0]);
  }
  ~PrivateBus() {
    if (m_pid > 0 && kill(m_pid, SIGTERM) == 0) waitpid(m_pid, nullptr, 0);
  }
  [[nodiscard]] const std::string& address() const { return m_address; }

 private:
  pid_t m_pid = -1;
  std::string m_address;
};

// KWin's scripting interface as far as the window control uses it. It cannot run the script, so it reads
// the processes, the action and the call back out of the loaded script and answers as the script would
// for its list of window processes. oldPaths: the script object at /<id> as in Plasma 5.27, else as in
// Plasma 6.
class FakeKWin {
 public:
  FakeKWin(const std::string& address, bool oldPaths) : m_oldPaths(oldPaths) {
    DBusError error;
    dbus_error_init(&error);
    m_bus = dbus_connection_open_private(address.c_str(), &error);
    if (m_bus && dbus_bus_register(m_bus, &error))
      dbus_bus_request_name(m_bus, "org.kde.KWin", DBUS_NAME_FLAG_DO_NOT_QUEUE, &error);
    dbus_error_free(&error);
    if (m_bus) m_thread = std::thread([this] { serve(); });
  }
  ~FakeKWin() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_bus) {
      dbus_connection_close(m_bus);
      dbus_connection_unref(m_bus);
    }
  }

  void showWindowOf(int pid) {
    std::lock_guard lock(m_mutex);
    m_windows.push_back(pid);
  }
  // "action pid" for every script run that found a window, "action -" for the others.
  std::vector<std::string> done() {
    std::lock_guard lock(m_mutex);
    return m_done;
  }
  int loaded() const { return m_loaded; }
  int unloaded() const { return m_unloaded; }

 private:
  void serve() {
    while (!m_stop) {
      dbus_connection_read_write(m_bus, 20);
      while (DBusMessage* message = dbus_connection_pop_message(m_bus)) {
        handle(message);
        dbus_message_unref(message);
      }
    }
  }

  void reply(DBusMessage* call, int type = DBUS_TYPE_INVALID, const void* value = nullptr) {
    DBusMessage* answer = dbus_message_new_method_return(call);
    if (type != DBUS_TYPE_INVALID) dbus_message_append_args(answer, type, value, DBUS_TYPE_INVALID);
    dbus_connection_send(m_bus, answer, nullptr);
    dbus_message_unref(answer);
  }

  void handle(DBusMessage* call) {
    if (dbus_message_get_type(call) != DBUS_MESSAGE_TYPE_METHOD_CALL) return;
    const std::string path = dbus_message_get_path(call);
    const std::string member = dbus_message_get_member(call);
    const std::string scriptPrefix = m_oldPaths ? "/" : "/Scripting/Script";
    if (path == "/Scripting" && member == "loadScript") {
      const char *file = nullptr, *plugin = nullptr;
      dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &file, DBUS_TYPE_STRING, &plugin, DBUS_TYPE_INVALID);
      const dbus_int32_t id = ++m_loaded;
      m_scripts[id] = readFile(file);
      reply(call, DBUS_TYPE_INT32, &id);
    } else if (path.rfind(scriptPrefix, 0) == 0 && m_scripts.count(std::atoi(path.c_str() + scriptPrefix.size())) &&
               member == "run" && std::string(dbus_message_get_interface(call)) == "org.kde.kwin.Script") {
      // KWin answers a run once the script has run.
      runScript(m_scripts[std::atoi(path.c_str() + scriptPrefix.size())]);
      reply(call);
    } else if (path == "/Scripting" && member == "unloadScript") {
      ++m_unloaded;
      const dbus_bool_t yes = TRUE;
      reply(call, DBUS_TYPE_BOOLEAN, &yes);
    } else {
      DBusMessage* error = dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_OBJECT, "no such object");
      dbus_connection_send(m_bus, error, nullptr);
      dbus_message_unref(error);
    }
  }

  void runScript(const std::string& script) {
    std::smatch pids, action, back;
    const std::regex pidsPattern(R"re(const pids = \[([0-9, ]*)\];)re");
    const std::regex actionPattern(R"re(const action = "([a-z]+)";)re");
    const std::regex backPattern(R"re(callDBus\("([^"]+)", "([^"]+)", "([^"]+)", "answer", "([^"]+)")re");
    if (!std::regex_search(script, pids, pidsPattern) || !std::regex_search(script, action, actionPattern) ||
        !std::regex_search(script, back, backPattern))
      return;
    std::string found = "-";
    {
      std::lock_guard lock(m_mutex);
      std::istringstream list(std::regex_replace(pids[1].str(), std::regex(","), " "));
      for (int pid = 0; found == "-" && list >> pid;)
        if (std::find(m_windows.begin(), m_windows.end(), pid) != m_windows.end()) found = std::to_string(pid);
      m_done.push_back(action[1].str() + " " + found);
    }
    DBusMessage* answer =
        dbus_message_new_method_call(back[1].str().c_str(), back[2].str().c_str(), back[3].str().c_str(), "answer");
    const std::string token = back[4].str();
    const char* tokenText = token.c_str();
    const char* result = found == "-" ? "none" : "found";
    dbus_message_append_args(answer, DBUS_TYPE_STRING, &tokenText, DBUS_TYPE_STRING, &result, DBUS_TYPE_INVALID);
    dbus_connection_send(m_bus, answer, nullptr);
    dbus_message_unref(answer);
  }

  const bool m_oldPaths;
  DBusConnection* m_bus = nullptr;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_loaded{0}, m_unloaded{0};
  std::mutex m_mutex;
  std::vector<int> m_windows;
  std::vector<std::string> m_done;
  std::map<int, std::string> m_scripts;  // by id, as loaded
  std::thread m_thread;
};

class KWinWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (bus.address().empty()) GTEST_SKIP() << "dbus-daemon cannot start a bus";
  }
  PrivateBus bus;
  ProcessKiller killer;
};

TEST_F(KWinWindowsTest, ScriptsActOnTheProcessesWindowAndSayWhetherTheyFoundOne) {
  for (const bool oldPaths : {false, true}) {
    SCOPED_TRACE(oldPaths ? "Plasma 5.27: script at /<id>" : "Plasma 6: script at /Scripting/Script<id>");
    FakeKWin kwin(bus.address(), oldPaths);
    KWinWindows windows(bus.address());
    // The window belongs to a process the started one started.
    const auto [started, child] = startShellWithChild(killer);
    ASSERT_GT(child, 0);
    EXPECT_FALSE(windows.hasWindow(started));
    kwin.showWindowOf(child);
    EXPECT_TRUE(windows.hasWindow(started));
    for (const auto command : {WindowCommand::Minimize, WindowCommand::Restore, WindowCommand::Maximize,
                               WindowCommand::Default, WindowCommand::Close})
      EXPECT_TRUE(windows.postCommand(started, command));
    EXPECT_TRUE(windows.applyShowState(started, ShowState::Minimized));
    const pid_t other = fork();
    if (other == 0) {
      execlp("sleep", "sleep", "30", nullptr);
      _exit(127);
    }
    killer.add(other);
    EXPECT_FALSE(windows.postCommand(other, WindowCommand::Close));
    const std::string w = std::to_string(child);
    EXPECT_EQ(kwin.done(),
              (std::vector<std::string>{"none -", "none " + w, "minimize " + w, "restore " + w, "maximize " + w,
                                        "activate " + w, "close " + w, "minimize " + w, "close -"}));
    EXPECT_EQ(kwin.loaded(), 9);
    EXPECT_EQ(kwin.unloaded(), 9);
    kill(child, SIGKILL);
  }
  // Without KWin on the bus nothing is found, at once.
  KWinWindows alone(bus.address());
  EXPECT_FALSE(alone.postCommand(getpid(), WindowCommand::Close));
}

TEST_F(KWinWindowsTest, LauncherInAPlasmaSessionWaitsForTheWindowAndAppliesTheStartState) {
  FakeKWin kwin(bus.address(), false);
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
  TempFolder temp;
  PosixLauncher::Options options;
  options.desktop = WindowDesktop::KWin;
  options.dosDevices = temp / "dosdevices";
  auto launcher = std::make_unique<PosixLauncher>(options);
  auto outcome = launcher->spawn({"sleep 30", {}, ShowState::Maximized});
  ASSERT_NE(outcome.process, nullptr);
  killer.add(outcome.process->pid());
  std::thread shows([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kwin.showWindowOf(outcome.process->pid());
  });
  EXPECT_TRUE(outcome.process->waitForInputIdle(20000));
  shows.join();
  EXPECT_TRUE(eventually([&] { return launcher->pendingShowStates() == 0; }));
  const auto done = kwin.done();
  EXPECT_NE(std::find(done.begin(), done.end(), "maximize " + std::to_string(outcome.process->pid())), done.end());
  EXPECT_TRUE(launcher->postWindowCommand(*outcome.process, WindowCommand::Minimize));
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace
}  // namespace kip::test
