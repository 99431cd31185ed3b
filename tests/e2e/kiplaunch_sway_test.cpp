#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "doubles/child_process.h"
#include "model/definition_store.h"
#include "model/registry_layout.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/linux/sway_test_session.h"
#include "platform/linux/sway_windows.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

// The autostart run of the built kiplaunch in a headless sway session: the start states of its last starts
// are applied although the program ends right after starting them, before their windows appear.
TEST(KiplaunchSwayTest, AutostartRunAppliesTheStartStatesBeforeItEnds) {
  if (std::string(KIPLAUNCH_PATH).empty()) GTEST_SKIP() << "kiplaunch is not built";
  if (access("/usr/bin/foot", X_OK) != 0) GTEST_SKIP() << "foot is not installed (tools/setup.sh installs it)";
  std::string reason;
  const auto sway = SwaySession::start(reason);
  if (!sway) GTEST_SKIP() << reason;
  TempDir dir;
  mkdir(dir.file("run").c_str(), 0700);
  {
    SqliteRegistry reg(dir.file("user.db"), dir.file("machine.db"));
    std::vector<DefinitionPtr> list;
    for (const auto& [name, window] : {std::pair{"kip-min", 1}, std::pair{"kip-max", 2}}) {
      auto def = std::make_shared<StartDefinition>();
      def->Name = name;
      def->Module = "/usr/bin/foot";
      def->Parms = std::string("--config=/dev/null --log-level=none --app-id=") + name + " sleep 120";
      def->Window = window;
      def->Delay = 1;  // started from the run's timer, right before the program ends
      def->Changed = true;
      list.push_back(def);
    }
    ASSERT_TRUE(DefinitionStore(reg).save(Hive::CurrentUser, {}, list).startListOpened);
  }
  const auto result = runProgram(KIPLAUNCH_PATH, {"/r"},
                                 {{"QT_QPA_PLATFORM", "offscreen"},
                                  {"KIPLAUNCH_RUNTIME_DIR", dir.file("run")},
                                  {"KIPLAUNCH_USER_HIVE", dir.file("user.db")},
                                  {"KIPLAUNCH_MACHINE_HIVE", dir.file("machine.db")},
                                  {"KIPLAUNCH_PROMPT_LOG", dir.file("prompts.log")},
                                  {"XDG_RUNTIME_DIR", dir.file("run")},
                                  {"WAYLAND_DISPLAY", sway->waylandSocket()},
                                  {"SWAYSOCK", sway->ipcSocket()},
                                  {"DISPLAY", std::nullopt}},
                                 "", std::chrono::seconds(30));
  ASSERT_FALSE(result.timedOut) << "the autostart run did not end by itself";
  EXPECT_EQ(result.exitCode, 0) << result.err;

  SwayWindows windows(sway->ipcSocket());
  std::optional<SwayWindows::Window> minimised, maximised;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!(minimised && maximised) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (const auto& window : windows.windows()) {
      if (window.appId == "kip-min") minimised = window;
      if (window.appId == "kip-max") maximised = window;
    }
  }
  for (const auto& window : windows.windows()) kill(window.pid, SIGTERM);
  ASSERT_TRUE(minimised && maximised) << "the terminals showed no window";
  EXPECT_TRUE(minimised->inScratchpad);
  EXPECT_FALSE(minimised->fullscreen);
  EXPECT_TRUE(maximised->fullscreen);
  EXPECT_FALSE(maximised->inScratchpad);
}

}  // namespace
}  // namespace kip::test
