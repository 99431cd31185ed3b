#include "platform/linux/wlr_windows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "launcher_test_support.h"
#include "platform/linux/posix_launcher.h"
#include "platform/linux/sway_windows.h"
#include "platform/linux/window_session.h"
#include "sway_test_session.h"

namespace kip::test {
namespace {

TEST(WlrAppIdsTest, TheDesktopEntryWhoseExecRunsTheProgramNamesItsAppIds) {
  TempFolder root;
  const std::string home = root / "home", system = root / "system", bin = root / "bin";
  writeScript(bin + "/prog", "");
  writeScript(bin + "/other", "");
  std::filesystem::create_symlink(bin + "/prog", bin + "/prog-link");
  struct Case {
    const char* name;
    std::vector<std::string> appIds;
    std::vector<std::pair<std::string, std::string>> entries;  // file, text
  };
  const std::string entry = "[Desktop Entry]\nType=Application\nName=P\nExec=";
  const Case cases[] = {
      {"no entry: the file name", {"prog"}, {}},
      {"the file name and the desktop file id",
       {"prog", "org.example.Prog"},
       {{system + "/org.example.Prog.desktop", entry + "prog %U"}}},
      {"StartupWMClass instead of the file name; a subfolder joins the id with -",
       {"ProgWindow", "vendor-prog"},
       {{system + "/vendor/prog.desktop", entry + bin + "/prog\nStartupWMClass=ProgWindow"}}},
      {"another program's, another path's, a hidden and a broken entry are passed over",
       {"E", "e"},
       {{system + "/a.desktop", entry + "other\nStartupWMClass=A"},
        {system + "/b.desktop", entry + "/usr/bin/prog\nStartupWMClass=B"},
        {system + "/c.desktop", entry + "prog\nHidden=true\nStartupWMClass=C"},
        {system + "/d.desktop", entry + "prog \"\nStartupWMClass=D"},
        {system + "/e.desktop", entry + "prog\nStartupWMClass=E"}}},
      {"the user's folder comes first, and its entry hides the system's of the same id",
       {"prog"},
       {{system + "/z.desktop", entry + "prog\nStartupWMClass=Z"}, {home + "/z.desktop", entry + "other"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(home);
    std::filesystem::remove_all(system);
    for (const auto& [file, text] : c.entries) writeFile(file, text + "\n");
    EXPECT_EQ(appIdsOfProgram(bin + "/prog", {home, system}), c.appIds);
  }
  // A link: also the name of the file it points to.
  EXPECT_EQ(appIdsOfProgram(bin + "/prog-link", {}), (std::vector<std::string>{"prog-link", "prog"}));
}

// foot (app id "foot") in a headless sway, reached through the foreign-toplevel protocol alone: the
// launcher is given no IPC socket. sway logs the protocol messages it receives, since it carries out only
// some of the requests and the rest leave nothing else to see.
class WlrWindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!onPath("foot")) {
      s_reason = "foot is not installed (tools/setup.sh installs it)";
      return;
    }
    s_session = SwaySession::start(s_reason, true);
  }
  static void TearDownTestSuite() { s_session.reset(); }

  void SetUp() override {
    if (!s_session) GTEST_SKIP() << s_reason;
    setenv("WAYLAND_DISPLAY", s_session->waylandSocket().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    // No installed desktop entry: foot is found by its file name.
    setenv("XDG_DATA_HOME", (runtime / "data").c_str(), 1);
    setenv("XDG_DATA_DIRS", (runtime / "none").c_str(), 1);
    for (const char* name : {"SWAYSOCK", "I3SOCK", "HYPRLAND_INSTANCE_SIGNATURE"}) unsetenv(name);
    options.desktop = WindowDesktop::Wlr;
    options.waylandDisplay = s_session->waylandSocket();
    options.dosDevices = runtime / "dosdevices";
    launcher = std::make_unique<PosixLauncher>(options);
    sway = std::make_unique<SwayWindows>(s_session->ipcSocket());
  }

  void TearDown() override {
    killer.reset();
    launcher.reset();
    for (const char* name : {"WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) unsetenv(name);
  }

  std::unique_ptr<LaunchedProcess> start(PosixLauncher& by, const std::string& command,
                                         ShowState show = ShowState::Normal) {
    auto outcome = by.spawn({command, {}, show});
    EXPECT_NE(outcome.process, nullptr) << outcome.message;
    if (outcome.process) killer->add(outcome.process->pid());
    return std::move(outcome.process);
  }

  bool windowIs(const LaunchedProcess& process, bool (*test)(const SwayWindows::Window&)) {
    return eventually([&] {
      const auto found = sway->windowOf(process.pid());
      return found && test(*found);
    });
  }

  // How often sway has received the request on a toplevel handle so far.
  static std::size_t received(const std::string& request) {
    const std::regex line("zwlr_foreign_toplevel_handle_v1@[0-9]+\\." + request + "\\(");
    const auto log = readFile(s_session->logFile());
    return static_cast<std::size_t>(std::distance(std::sregex_iterator(log.begin(), log.end(), line), {}));
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

std::unique_ptr<SwaySession> WlrWindowsTest::s_session;
std::string WlrWindowsTest::s_reason;

TEST_F(WlrWindowsTest, TheFirstNewWindowOfTheProgramEndsTheIdleWaitAndAnOpenOneIsNotTaken) {
  // Without its IPC socket, sway is known by the protocol in its registry.
  EXPECT_EQ(windowDesktopOf(SessionFacts::fromEnvironment()), WindowDesktop::Wlr);

  // A terminal that was open before is no start's window.
  auto plain = options;
  plain.desktop = WindowDesktop::None;
  PosixLauncher outside(plain);
  auto before = start(outside, kTerminal);
  ASSERT_NE(before, nullptr);
  ASSERT_TRUE(windowIs(*before, [](const SwayWindows::Window&) { return true; }));

  auto process = start(*launcher, kTerminal);
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(process->waitForInputIdle(60000));
  EXPECT_TRUE(sway->windowOf(process->pid()).has_value());
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Close));
  EXPECT_TRUE(process->waitForExit(20000)) << "the started terminal stayed open";
  EXPECT_TRUE(sway->windowOf(before->pid()).has_value()) << "the terminal open before was closed";
  EXPECT_FALSE(launcher->postWindowCommand(*process, WindowCommand::Close));
}

TEST_F(WlrWindowsTest, AfterActionsAreRequestedOfTheWindow) {
  auto process = start(*launcher, kTerminal);
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->waitForInputIdle(60000));
  // sway 1.7 leaves set_minimized, set_maximized, unset_minimized and unset_maximized without effect (it
  // has neither state); that they reach it shows in its log.
  for (const auto& [command, request, times] : {std::tuple{WindowCommand::Minimize, "set_minimized", 1u},
                                                {WindowCommand::Maximize, "set_maximized", 1u},
                                                {WindowCommand::Restore, "unset_m(in|ax)imized", 2u}}) {
    const auto before = received(request);
    EXPECT_TRUE(launcher->postWindowCommand(*process, command));
    EXPECT_TRUE(eventually([&] { return received(request) >= before + times; })) << request;
  }
  // It does carry out unset_fullscreen, and close.
  const auto shown = sway->windowOf(process->pid());
  ASSERT_TRUE(shown && sway->runCommand("[con_id=" + std::to_string(shown->id) + "] fullscreen enable"));
  ASSERT_TRUE(windowIs(*process, [](const SwayWindows::Window& w) { return w.fullscreen; }));
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Restore));
  EXPECT_TRUE(windowIs(*process, [](const SwayWindows::Window& w) { return !w.fullscreen; }));
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Close));
  EXPECT_TRUE(process->waitForExit(20000)) << "the terminal stayed open";
  EXPECT_TRUE(eventually([&] { return !launcher->postWindowCommand(*process, WindowCommand::Close); }));
}

TEST_F(WlrWindowsTest, StartStatesAreRequestedWhenTheWindowAppears) {
  const auto minimised = received("set_minimized"), maximised = received("set_maximized");
  // One after the other: two windows of one program cannot be told apart by name.
  auto first = start(*launcher, kTerminal, ShowState::Minimized);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(eventually([&] { return received("set_minimized") > minimised; }));
  auto second = start(*launcher, kTerminal, ShowState::Maximized);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(eventually([&] { return received("set_maximized") > maximised; }));
  EXPECT_TRUE(eventually([&] { return launcher->pendingShowStates() == 0; }));
  EXPECT_EQ(received("set_minimized"), minimised + 1);
  // Each start has its own window, and sway carries out activation: the one activated takes the focus.
  EXPECT_TRUE(launcher->postWindowCommand(*first, WindowCommand::Default));
  EXPECT_TRUE(windowIs(*first, [](const SwayWindows::Window& w) { return w.focused; }));
  EXPECT_TRUE(launcher->postWindowCommand(*second, WindowCommand::Default));
  EXPECT_TRUE(windowIs(*second, [](const SwayWindows::Window& w) { return w.focused; }));
}

}  // namespace
}  // namespace kip::test
