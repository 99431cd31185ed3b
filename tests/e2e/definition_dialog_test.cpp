#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "doubles/child_process.h"
#include "model/registry_layout.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/linux/x11_test_display.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

// kiplaunch on a display of its own, driven by key presses as a user would: opens a definition's
// properties, changes something on every tab, saves, and finds the values in the hive.
TEST(DefinitionDialogEndToEnd, EditsEveryTabAndSaves) {
  if (std::string(KIPLAUNCH_PATH).empty()) GTEST_SKIP() << "kiplaunch is not built";
  const std::string xdotool = "/usr/bin/xdotool";
  if (access(xdotool.c_str(), X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
  std::string reason;
  auto session = X11Session::start(reason);
  if (!session) GTEST_SKIP() << reason;

  TempDir dir;
  const std::string run = dir.file("run");
  mkdir(run.c_str(), 0700);
  writeFile(run + "/Kip Launcher.atom", "");  // a later start in this logon: the manager, no autostart run
  const std::string mail = std::string(kStartListKey) + "\\Mail";
  {
    SqliteRegistry registry(dir.file("user.db"), dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(registry.createKey(Hive::CurrentUser, mail, key), 0);
    ASSERT_EQ(writeText(*key, "Module", "/bin/true"), 0);
  }
  const EnvChanges env = {{"DISPLAY", session->display()},
                          {"QT_QPA_PLATFORM", "xcb"},
                          {"KIPLAUNCH_RUNTIME_DIR", run},
                          {"KIPLAUNCH_USER_HIVE", dir.file("user.db")},
                          {"KIPLAUNCH_MACHINE_HIVE", dir.file("machine.db")},
                          {"KIPLAUNCH_PROMPT_LOG", dir.file("prompts.log")},
                          {"KIPLAUNCH_PROMPT_FILES", "/bin/echo"},
                          {"KIPLAUNCH_POWER_SUPPLY_DIR", dir.file("no-power")},
                          {"XDG_RUNTIME_DIR", std::nullopt},
                          {"WAYLAND_DISPLAY", std::nullopt}};
  ChildProcess kiplaunch(KIPLAUNCH_PATH, {}, env);
  ASSERT_TRUE(waitForFile(run + "/KipLauncher.socket")) << "kiplaunch did not come up";

  const EnvChanges display = {{"DISPLAY", session->display()}};
  auto xdo = [&](std::vector<std::string> args) {
    const auto result = runProgram(xdotool, args, display, "", std::chrono::seconds(15));
    EXPECT_FALSE(result.timedOut) << "xdotool " << args.front() << " " << args.back();
    return result.exitCode == 0;
  };
  auto keys = [&](std::vector<std::string> names) {
    names.insert(names.begin(), {"key", "--clearmodifiers", "--delay", "60"});
    xdo(names);
  };
  auto type = [&](const std::string& text) { xdo({"type", "--delay", "60", text}); };

  ASSERT_TRUE(xdo({"search", "--sync", "--onlyvisible", "--name", "^Kip Launch Manager"}));
  keys({"Down", "space", "alt+e", "p"});
  ASSERT_TRUE(xdo({"search", "--sync", "--onlyvisible", "--name", "Program Definition"}));

  // Program: program, parameters, a delay of 5 minutes
  keys({"Tab", "space", "Tab"});  // the program browse, answered through the prompt log
  type("hello");
  keys({"Tab", "Tab", "Tab", "Tab", "Tab", "space", "Tab", "ctrl+a"});
  type("5");
  keys({"Tab", "Down"});
  // Conditions: a user and an attached network
  keys({"ctrl+Tab", "Tab", "space", "Tab"});
  type("carol");
  keys({"Tab", "Tab", "Down"});
  // Times: every day but Monday, from 08:00 to 18:00
  keys({"ctrl+Tab", "space", "Tab", "space", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "space", "Tab"});
  type("0800");
  keys({"Tab"});
  type("1800");
  keys({"Tab"});
  // Afterwards: wait up to 2 hours for the program to finish
  keys({"ctrl+Tab", "space", "Tab", "Right", "Tab"});
  type("2");
  keys({"Tab", "Down", "Down", "Return"});

  // The dialog closes; the main window saves.
  bool closed = false;
  for (int i = 0; i < 50 && !closed; ++i) {
    closed = !xdo({"search", "--onlyvisible", "--name", "Program Definition"});
    if (!closed) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(closed) << "the dialog stayed open";
  keys({"ctrl+s"});

  SqliteRegistry registry(dir.file("user.db"), dir.file("machine.db"));
  auto dword = [&](const char* name) -> std::optional<std::int32_t> {
    std::unique_ptr<RegKey> key;
    if (registry.openKey(Hive::CurrentUser, mail, KeyAccess::Read, key) != 0) return std::nullopt;
    return readDword(*key, name);
  };
  auto text = [&](const char* name) -> std::optional<std::string> {
    std::unique_ptr<RegKey> key;
    if (registry.openKey(Hive::CurrentUser, mail, KeyAccess::Read, key) != 0) return std::nullopt;
    return readText(*key, name);
  };
  for (int i = 0; i < 50 && dword("Delay") != 300; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kiplaunch.signal(SIGTERM);
  const auto result = kiplaunch.wait(std::chrono::seconds(20));
  EXPECT_EQ(result.exitCode, 0) << result.err;

  EXPECT_EQ(text("Module"), "/bin/echo");
  EXPECT_EQ(text("Parms"), "hello");
  EXPECT_EQ(text("Start Directory"), "/bin");
  EXPECT_EQ(readFile(dir.file("prompts.log")), "open: Select program to execute\n");
  EXPECT_EQ(dword("Delay"), 300);
  EXPECT_EQ(text("User"), "carol");
  EXPECT_EQ(dword("Net"), 1);
  EXPECT_EQ(dword("Days"), 126);
  EXPECT_EQ(dword("From"), 800);
  EXPECT_EQ(dword("To"), 1800);
  EXPECT_EQ(dword("Wait"), 7200);
  EXPECT_EQ(dword("WaitType"), 1);
}

}  // namespace
}  // namespace kip::test
