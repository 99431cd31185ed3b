#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <thread>

#include "doubles/child_process.h"
#include "model/definition_store.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/linux/sway_test_session.h"
#include "platform/linux/sway_windows.h"

namespace kip::test {
namespace {

// Polls for at most limit; whether the condition came true.
bool within(std::chrono::seconds limit, const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// The program's own windows under Qt's Wayland platform in a headless sway with a notification area of
// the test's own (a StatusNotifierWatcher on a private session bus): the autostart run shows its
// notification icon and ends by itself; a second copy of the definition manager brings the first one's
// window forward and ends.
TEST(KiplaunchWaylandTest, NotificationIconAndHandOverWorkOnWayland) {
  if (std::string(KIPLAUNCH_PATH).empty()) GTEST_SKIP() << "kiplaunch is not built";
  if (runProgram("/usr/bin/python3", {"-c", "import gi"}).exitCode != 0) GTEST_SKIP() << "python3-gi is missing";
  std::string reason;
  const auto sway = SwaySession::start(reason);
  if (!sway) GTEST_SKIP() << reason;
  TempDir dir;
  mkdir(dir.file("run").c_str(), 0700);
  runProgram("/bin/sh",
             {"-c", "dbus-daemon --session --fork --print-address=1 --print-pid=1 > \"$0\"", dir.file("bus")});
  std::istringstream busLines(readFile(dir.file("bus")));
  std::string address;
  int busPid = 0;
  busLines >> address >> busPid;
  if (address.empty() || busPid <= 0) GTEST_SKIP() << "dbus-daemon cannot start a bus";
  struct BusEnd {
    int pid;
    ~BusEnd() { kill(pid, SIGTERM); }
  } busEnd{busPid};
  ChildProcess watcher("/usr/bin/python3",
                       {std::string(KIP_TEST_SOURCE_DIR) + "/e2e/scripts/status_notifier_watcher.py", dir.file("sni")},
                       {{"DBUS_SESSION_BUS_ADDRESS", address}});
  ASSERT_TRUE(
      within(std::chrono::seconds(10), [&] { return readFile(dir.file("sni")).find("ready") != std::string::npos; }));
  {
    SqliteRegistry reg(dir.file("user.db"), dir.file("machine.db"));
    auto def = std::make_shared<StartDefinition>();
    def->Name = "later";
    def->Module = "/bin/true";
    def->Delay = 2;
    def->Changed = true;
    const std::vector<DefinitionPtr> list{def};
    ASSERT_TRUE(DefinitionStore(reg).save(Hive::CurrentUser, {}, list).startListOpened);
  }
  const EnvChanges env = {{"QT_QPA_PLATFORM", "wayland"},
                          {"KIPLAUNCH_RUNTIME_DIR", dir.file("run")},
                          {"KIPLAUNCH_USER_HIVE", dir.file("user.db")},
                          {"KIPLAUNCH_MACHINE_HIVE", dir.file("machine.db")},
                          {"KIPLAUNCH_PROMPT_LOG", dir.file("prompts.log")},
                          {"XDG_RUNTIME_DIR", dir.file("run")},
                          {"DBUS_SESSION_BUS_ADDRESS", address},
                          {"WAYLAND_DISPLAY", sway->waylandSocket()},
                          {"SWAYSOCK", sway->ipcSocket()},
                          {"DISPLAY", std::nullopt}};
  ChildProcess run(KIPLAUNCH_PATH, {"/r"}, env);
  EXPECT_TRUE(within(std::chrono::seconds(15), [&] {
    return readFile(dir.file("sni")).find("item ") != std::string::npos;
  })) << "the run's notification icon did not register";
  const auto ran = run.wait(std::chrono::seconds(30));
  EXPECT_EQ(ran.exitCode, 0) << "the autostart run did not end by itself: " << ran.err;

  // Through sway's IPC, then as on another wlroots compositor, where only the protocol's app id tells.
  for (const bool ipc : {true, false}) {
    SCOPED_TRACE(ipc ? "sway's IPC" : "the foreign-toplevel protocol");
    auto copyEnv = env;
    if (!ipc) copyEnv["SWAYSOCK"] = std::nullopt;
    ChildProcess manager(KIPLAUNCH_PATH, {}, copyEnv);
    SwayWindows windows(sway->ipcSocket());
    ASSERT_TRUE(within(std::chrono::seconds(15), [&] { return windows.hasWindow(manager.pid()); }))
        << "the definition manager showed no window";
    // Another program takes the focus; the second copy gives it back to the manager.
    ChildProcess terminal("/usr/bin/foot", {"--config=/dev/null", "--log-level=none", "sleep", "60"},
                          {{"WAYLAND_DISPLAY", sway->waylandSocket()}, {"XDG_RUNTIME_DIR", dir.file("run")}});
    ASSERT_TRUE(within(std::chrono::seconds(15), [&] {
      const auto window = windows.windowOf(terminal.pid());
      return window && window->focused;
    }));
    const auto second = runProgram(KIPLAUNCH_PATH, {}, copyEnv, "", std::chrono::seconds(20));
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(within(std::chrono::seconds(10), [&] {
      const auto window = windows.windowOf(manager.pid());
      return window && window->focused;
    })) << "the running copy's window did not come forward";
    terminal.signal(SIGTERM);
    manager.signal(SIGTERM);
    manager.wait(std::chrono::seconds(10));
  }
}

}  // namespace
}  // namespace kip::test
