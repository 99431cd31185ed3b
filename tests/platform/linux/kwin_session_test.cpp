#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "kwin_test_session.h"
#include "launcher_test_support.h"
#include "platform/linux/kwin_windows.h"
#include "platform/linux/posix_launcher.h"
#include "platform/linux/process_tree.h"

namespace kip::test {
namespace {

// A Wayland-native window in a headless KWin, reached through the launcher as a Plasma session would;
// each state is read back from KWin.
class KWinSessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::string(KIP_TEST_WINDOW_PATH).empty()) {
      s_reason = "the Wayland test window is built only with the Qt application";
      return;
    }
    s_session = KWinSession::start(s_reason);
  }
  static void TearDownTestSuite() { s_session.reset(); }

  void SetUp() override {
    if (!s_session) GTEST_SKIP() << s_reason;
    // The started programs inherit the launcher's environment: they find the compositor there, and the
    // window control finds KWin on the session bus.
    setenv("WAYLAND_DISPLAY", s_session->waylandSocket().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", s_session->busAddress().c_str(), 1);
    options.desktop = WindowDesktop::KWin;
    options.dosDevices = runtime / "dosdevices";
    launcher = std::make_unique<PosixLauncher>(options);
  }

  void TearDown() override {
    killer.reset();
    launcher.reset();
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }

  std::unique_ptr<LaunchedProcess> start(const std::string& command, ShowState show = ShowState::Normal) {
    auto outcome = launcher->spawn({command, {}, show});
    EXPECT_NE(outcome.process, nullptr) << outcome.message;
    if (outcome.process) killer->add(outcome.process->pid());
    return std::move(outcome.process);
  }

  // Whether KWin comes to tell that state (words of KWinSession::windowState) of the process's window;
  // anyActive: whether it is the active window does not count.
  ::testing::AssertionResult stateIs(const LaunchedProcess& process, const std::string& expected,
                                     bool anyActive = false) {
    std::string state;
    if (eventually([&] {
          state = s_session->windowState(process.pid());
          if (anyActive && state.size() > 7 && state.substr(state.size() - 7) == " active")
            state.resize(state.size() - 7);
          return state == expected;
        }))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "KWin tells \"" << state << "\", not \"" << expected << "\""
                                         << s_session->logTail();
  }

  static bool running(LaunchedProcess& process) {
    std::int32_t code = 0;
    return process.exitCode(code) && code == 259;
  }

  static std::unique_ptr<KWinSession> s_session;
  static std::string s_reason;
  const std::string window = KIP_TEST_WINDOW_PATH;
  TempFolder runtime;
  PosixLauncher::Options options;
  std::unique_ptr<ProcessKiller> killer = std::make_unique<ProcessKiller>();
  std::unique_ptr<PosixLauncher> launcher;
};

std::unique_ptr<KWinSession> KWinSessionTest::s_session;
std::string KWinSessionTest::s_reason;

TEST_F(KWinSessionTest, IdleWaitEndsWhenAStartedProcessShowsItsFirstWindow) {
  // The window is a child's of the started shell: it counts for the shell.
  writeScript(runtime / "late", "sleep 0.5\n" + window + "\n");
  auto process = start(runtime / "late");
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(process->waitForInputIdle(60000)) << s_session->logTail();
  EXPECT_TRUE(running(*process));
  const auto family = processAndDescendants(process->pid());
  ASSERT_EQ(family.size(), 2u);
  killer->add(family[1]);
  EXPECT_TRUE(stateIs(*process, "none"));
  EXPECT_EQ(s_session->windowState(family[1]).rfind("shown", 0), 0u);

  auto quiet = start("sleep 30");
  ASSERT_NE(quiet, nullptr);
  EXPECT_FALSE(quiet->waitForInputIdle(300));
  EXPECT_FALSE(launcher->postWindowCommand(*quiet, WindowCommand::Minimize));
}

TEST_F(KWinSessionTest, AfterActionsMinimiseRestoreMaximiseActivateAndClose) {
  auto process = start(window);
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->waitForInputIdle(60000)) << s_session->logTail();
  EXPECT_TRUE(stateIs(*process, "shown active"));

  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Minimize));
  EXPECT_TRUE(stateIs(*process, "minimized"));
  // Restored from minimised, a window is activated as well, as under X11.
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Restore));
  EXPECT_TRUE(stateIs(*process, "shown active"));
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Maximize));
  EXPECT_TRUE(stateIs(*process, "shown maximized active"));
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Restore));
  EXPECT_TRUE(stateIs(*process, "shown active"));

  auto other = start(window);
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(other->waitForInputIdle(60000));
  EXPECT_TRUE(stateIs(*other, "shown active"));
  EXPECT_TRUE(stateIs(*process, "shown"));
  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Default));
  EXPECT_TRUE(stateIs(*process, "shown active"));

  EXPECT_TRUE(launcher->postWindowCommand(*process, WindowCommand::Close));
  EXPECT_TRUE(process->waitForExit(20000)) << "the window stayed open";
  EXPECT_FALSE(launcher->postWindowCommand(*process, WindowCommand::Close));
}

TEST_F(KWinSessionTest, StartStatesAreAppliedWhenTheWindowAppears) {
  auto minimised = start(window, ShowState::Minimized);
  auto maximised = start(window, ShowState::Maximized);
  ASSERT_NE(minimised, nullptr);
  ASSERT_NE(maximised, nullptr);
  EXPECT_TRUE(eventually([&] { return launcher->pendingShowStates() == 0; }));
  EXPECT_TRUE(stateIs(*minimised, "minimized"));
  EXPECT_TRUE(stateIs(*maximised, "shown maximized", true));
}

TEST_F(KWinSessionTest, RequestsAtTheSameTimeAllReachTheWindow) {
  // KWin numbers a script by the count of scripts it holds, so one loaded while another is unloaded can
  // get the number of one still there. Two window controls ask at the same time, as the launcher's idle
  // wait, its start-state watcher and an after-action do; then another program holds scripts as well.
  auto process = start(window);
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->waitForInputIdle(60000));
  std::atomic<int> found{0};
  auto ask = [&] {
    KWinWindows windows;
    for (int i = 0; i < 15; ++i) found += windows.hasWindow(process->pid());
  };
  std::thread first(ask), second(ask);
  first.join();
  second.join();
  EXPECT_EQ(found, 30);

  // Of the other program's two scripts the first left: the next script gets the second one's number.
  ASSERT_TRUE(s_session->holdScript("other-first") && s_session->holdScript("other-second"));
  ASSERT_TRUE(s_session->dropScript("other-first"));
  EXPECT_TRUE(KWinWindows().postCommand(process->pid(), WindowCommand::Minimize));
  EXPECT_TRUE(stateIs(*process, "minimized"));
  EXPECT_TRUE(s_session->dropScript("other-second"));
}

}  // namespace
}  // namespace kip::test
