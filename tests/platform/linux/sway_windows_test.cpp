#include "platform/linux/sway_windows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "doubles/fake_queue_host.h"
#include "doubles/fixed_clock.h"
#include "doubles/memory_registry.h"
#include "engine/launcher.h"
#include "launcher_test_support.h"
#include "platform/linux/json_value.h"
#include "platform/linux/posix_launcher.h"
#include "platform/linux/window_session.h"
#include "sway_test_session.h"

namespace kip::test {
namespace {

TEST(WindowSessionTest, TheSessionChoosesTheWindowInterface) {
  struct Case {
    SessionFacts facts;
    WindowDesktop desktop;
    bool noted;
  };
  const std::string hypr = "/run/user/1000/hypr/abc/.socket.sock";
  const Case cases[] = {
      {{"", "", "", "", "", false}, WindowDesktop::None, false},
      {{":0", "", "XFCE", "", "", false}, WindowDesktop::X11, false},
      {{":0", "", "i3", "/run/user/1000/i3/ipc-socket.1", "", false}, WindowDesktop::X11, false},
      {{"", "wayland-1", "sway", "/run/user/1000/sway-ipc.1000.9.sock", "", false}, WindowDesktop::Sway, false},
      {{":0", "wayland-0", "GNOME", "", "", false}, WindowDesktop::Wayland, true},
      {{":1", "wayland-0", "KDE", "", "", false}, WindowDesktop::KWin, false},
      {{":1", "wayland-0", "", "", "", true}, WindowDesktop::KWin, false},
      {{":0", "", "KDE", "", "", false}, WindowDesktop::X11, false},
      {{"", "wayland-0", "", "", "", false}, WindowDesktop::Wayland, true},
      {{"", "wayland-1", "Hyprland", "", hypr, false}, WindowDesktop::Hyprland, false},
      {{":0", "", "Hyprland", "", hypr, false}, WindowDesktop::X11, false},
      // The compositor offers the foreign-toplevel manager: sway's, Hyprland's socket and Plasma come first.
      {{"", "wayland-0", "labwc:wlroots", "", "", false, true}, WindowDesktop::Wlr, false},
      {{"", "wayland-1", "sway", "/run/user/1000/sway-ipc.1000.9.sock", "", false, true}, WindowDesktop::Sway, false},
      {{"", "wayland-1", "Hyprland", "", hypr, false, true}, WindowDesktop::Hyprland, false},
      {{":1", "wayland-0", "KDE", "", "", false, true}, WindowDesktop::KWin, false},
      {{":0", "", "", "", "", false, true}, WindowDesktop::X11, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.facts.currentDesktop + " " + c.facts.waylandDisplay + " " + c.facts.display);
    EXPECT_EQ(windowDesktopOf(c.facts), c.desktop);
    EXPECT_EQ(!windowCommandsNote(c.facts).empty(), c.noted);
  }
  EXPECT_EQ(windowCommandsNote({":0", "wayland-0", "GNOME", "", "", false}),
            "Window commands are not available on this desktop (GNOME on Wayland): the after-action, the start "
            "state and the Idle wait reach only programs that run through XWayland.");
}

TEST(SwayTreeTest, WindowsAreReadFromTheTreeInItsOrderWithScratchpadAndFullscreen) {
  const auto tree = JsonValue::parse(R"({"type":"root","nodes":[
    {"type":"output","name":"__i3","nodes":[{"type":"workspace","name":"__i3_scratch","nodes":[],
      "floating_nodes":[{"type":"floating_con","id":7,"pid":30,"app_id":"foot","fullscreen_mode":0}]}]},
    {"type":"output","name":"HEADLESS-1","nodes":[{"type":"workspace","name":"1","nodes":[
      {"type":"con","id":5,"pid":20,"app_id":null,"window_properties":{"class":"XTerm"},"fullscreen_mode":1,
       "focused":true},
      {"type":"con","id":6,"layout":"splitv","nodes":[{"type":"con","id":8,"pid":21,"app_id":"q\u00e9"}]}]}]}]})");
  ASSERT_TRUE(tree.has_value());
  const auto windows = SwayWindows::windowsOfTree(*tree);
  ASSERT_EQ(windows.size(), 3u);
  EXPECT_EQ(windows[0].id, 7);
  EXPECT_TRUE(windows[0].inScratchpad);
  EXPECT_EQ(windows[1].appId, "XTerm");
  EXPECT_TRUE(windows[1].fullscreen && windows[1].focused && !windows[1].inScratchpad);
  EXPECT_EQ(windows[2].pid, 21);
  EXPECT_EQ(windows[2].appId, "q\xc3\xa9");

  for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "\"\\x\"", "tru", "[1] 2", "\"\x01\""}) {
    EXPECT_FALSE(JsonValue::parse(bad).has_value()) << bad;
  }
  EXPECT_FALSE(JsonValue::parse(std::string(300, '[') + std::string(300, ']')).has_value());
}

// A Wayland-native terminal in a headless sway, reached through the launcher as a sway session would.
class SwayWindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!onPath("foot")) {
      s_reason = "foot is not installed (tools/setup.sh installs it)";
      return;
    }
    s_session = SwaySession::start(s_reason);
  }
  static void TearDownTestSuite() { s_session.reset(); }

  void SetUp() override {
    if (!s_session) GTEST_SKIP() << s_reason;
    // The started programs inherit the launcher's environment: they find the compositor there.
    setenv("WAYLAND_DISPLAY", s_session->waylandSocket().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    options.desktop = WindowDesktop::Sway;
    options.swaySocket = s_session->ipcSocket();
    options.dosDevices = runtime / "dosdevices";
    launcher = std::make_unique<PosixLauncher>(options);
    sway = std::make_unique<SwayWindows>(s_session->ipcSocket());
  }

  void TearDown() override {
    killer.reset();
    launcher.reset();
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_RUNTIME_DIR");
  }

  std::unique_ptr<LaunchedProcess> start(const std::string& command, ShowState show = ShowState::Normal) {
    auto outcome = launcher->spawn({command, {}, show});
    EXPECT_NE(outcome.process, nullptr) << outcome.message;
    if (outcome.process) killer->add(outcome.process->pid());
    return std::move(outcome.process);
  }

  std::optional<SwayWindows::Window> window(const LaunchedProcess& process) { return sway->windowOf(process.pid()); }

  bool windowIs(const LaunchedProcess& process, bool (*test)(const SwayWindows::Window&)) {
    return eventually([&] {
      const auto found = window(process);
      return found && test(*found);
    });
  }

  static bool running(LaunchedProcess& process) {
    std::int32_t code = 0;
    return process.exitCode(code) && code == 259;
  }

  static constexpr const char* kTerminal = "foot --config=/dev/null --log-level=error sleep 120";
  static std::unique_ptr<SwaySession> s_session;
  static std::string s_reason;
  TempFolder runtime;
  PosixLauncher::Options options;
  std::unique_ptr<ProcessKiller> killer = std::make_unique<ProcessKiller>();
  std::unique_ptr<PosixLauncher> launcher;
  std::unique_ptr<SwayWindows> sway;
};

std::unique_ptr<SwaySession> SwayWindowsTest::s_session;
std::string SwayWindowsTest::s_reason;

TEST_F(SwayWindowsTest, IdleWaitEndsWhenAStartedProcessShowsItsFirstWindow) {
  // The terminal is a child of the started shell: its window counts for the shell.
  writeScript(runtime / "late", std::string("sleep 0.5\n") + kTerminal + "\n");
  auto process = start(runtime / "late");
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(process->waitForInputIdle(60000));
  EXPECT_TRUE(running(*process));
  const auto shown = window(*process);
  ASSERT_TRUE(shown.has_value());
  EXPECT_NE(shown->pid, process->pid());
  killer->add(shown->pid);

  auto quiet = start("sleep 30");
  ASSERT_NE(quiet, nullptr);
  EXPECT_FALSE(quiet->waitForInputIdle(300));
  EXPECT_FALSE(launcher->postWindowCommand(*quiet, WindowCommand::Minimize));
}

TEST_F(SwayWindowsTest, AfterActionsMinimiseRestoreMaximiseActivateAndClose) {
  auto process = start(kTerminal);
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->waitForInputIdle(60000));
  ASSERT_TRUE(window(*process).has_value());

  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Minimize));
  EXPECT_TRUE(windowIs(*process, [](const SwayWindows::Window& w) { return w.inScratchpad; }));
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Restore));
  EXPECT_TRUE(windowIs(*process, [](const SwayWindows::Window& w) { return !w.inScratchpad && !w.fullscreen; }));
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Maximize));
  EXPECT_TRUE(windowIs(*process, [](const SwayWindows::Window& w) { return w.fullscreen; }));
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Restore));
  EXPECT_TRUE(windowIs(*process, [](const SwayWindows::Window& w) { return !w.fullscreen; }));

  auto other = start(kTerminal);
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(other->waitForInputIdle(60000));
  EXPECT_TRUE(windowIs(*other, [](const SwayWindows::Window& w) { return w.focused; }));
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Default));
  EXPECT_TRUE(windowIs(*process, [](const SwayWindows::Window& w) { return w.focused; }));

  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Close));
  EXPECT_TRUE(process->waitForExit(20000)) << "the terminal stayed open";
  EXPECT_FALSE(window(*process).has_value());
  EXPECT_FALSE(launcher->postWindowCommand(*process, WindowCommand::Close));
}

TEST_F(SwayWindowsTest, StartStatesAreAppliedWhenTheWindowAppears) {
  auto minimised = start(kTerminal, ShowState::Minimized);
  auto maximised = start(kTerminal, ShowState::Maximized);
  ASSERT_NE(minimised, nullptr);
  ASSERT_NE(maximised, nullptr);
  EXPECT_TRUE(windowIs(*minimised, [](const SwayWindows::Window& w) { return w.inScratchpad; }));
  EXPECT_TRUE(windowIs(*maximised, [](const SwayWindows::Window& w) { return w.fullscreen; }));
  EXPECT_TRUE(eventually([&] { return launcher->pendingShowStates() == 0; }));
}

TEST_F(SwayWindowsTest, StartWaitsForTheWindowAndTheCloseAfterActionClosesIt) {
  FakeQueueHost timer;
  FixedClock clock;
  MemoryRegistry registry;
  Launcher engine(*launcher, clock, registry, timer);
  StartDefinition def;
  def.Module = "foot";
  def.Parms = "--config=/dev/null --log-level=error sleep 120";
  def.Wait = 120;
  def.Msg = 2;
  def.MsgID = 0;
  timer.timer = true;
  ASSERT_TRUE(engine.Start(def)) << def.Result;
  ASSERT_NE(def.Process, nullptr);
  killer->add(def.Process->pid());
  EXPECT_EQ(def.Result, "OK (Close in 2s)");
  EXPECT_TRUE(sway->windowOf(def.Process->pid()).has_value());
  const int pid = def.Process->pid();
  EXPECT_TRUE(engine.PerformAfterAction(def));
  EXPECT_TRUE(eventually([&] { return !sway->windowOf(pid).has_value(); }));
  EXPECT_TRUE(eventually([&] { return launcher->unreapedChildren() == 0; }));
}

}  // namespace
}  // namespace kip::test
