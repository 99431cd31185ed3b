#include "platform/linux/x11_windows.h"

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "doubles/fake_queue_host.h"
#include "doubles/fixed_clock.h"
#include "doubles/memory_registry.h"
#include "engine/launcher.h"
#include "launcher_test_support.h"
#include "platform/linux/posix_launcher.h"
#include "x11_test_display.h"

namespace kip::test {
namespace {

bool has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Started programs' windows under Xvfb with openbox, one display for the whole suite.
class X11WindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_session = X11Session::start(s_reason); }
  static void TearDownTestSuite() { s_session.reset(); }

  void SetUp() override {
    if (!s_session) GTEST_SKIP() << s_reason;
    options.display = s_session->display();
    options.dosDevices = temp / "dosdevices";
    options.opener = "/bin/false";
    launcher = std::make_unique<PosixLauncher>(options);
    windows = std::make_unique<X11Windows>(s_session->display());
  }

  void TearDown() override {
    // The clients go before the launcher, so that its reaper collects them.
    killer.reset();
    launcher.reset();
  }

  struct Client {
    std::unique_ptr<LaunchedProcess> process;
    X11Window main = 0, owner = 0, dialog = 0;
  };

  // Starts the test client through the launcher and waits until its window is managed.
  Client startClient(const std::string& modes = {}, ShowState show = ShowState::Normal) {
    Client client;
    auto outcome = launcher->spawn({x11ClientCommand(s_session->display(), marker, modes), {}, show});
    EXPECT_NE(outcome.process, nullptr) << outcome.message;
    if (!outcome.process) return client;
    killer->add(outcome.process->pid());
    client.process = std::move(outcome.process);
    EXPECT_TRUE(eventually([&] { return !readFile(marker).empty(); })) << "the client showed no window";
    std::istringstream ids(readFile(marker));
    std::string role;
    X11Window id = 0;
    while (ids >> role >> id) {
      if (role == "main") client.main = id;
      if (role == "owner") client.owner = id;
      if (role == "dialog") client.dialog = id;
    }
    return client;
  }

  bool maximized(X11Window window) {
    const auto state = windows->netWmState(window);
    return has(state, "_NET_WM_STATE_MAXIMIZED_VERT") && has(state, "_NET_WM_STATE_MAXIMIZED_HORZ");
  }

  static bool running(LaunchedProcess& process) {
    std::int32_t code = 0;
    return process.exitCode(code) && code == 259;
  }

  static std::unique_ptr<X11Session> s_session;
  static std::string s_reason;
  TempFolder temp;
  std::string marker = temp / "client";
  PosixLauncher::Options options;
  std::unique_ptr<ProcessKiller> killer = std::make_unique<ProcessKiller>();
  std::unique_ptr<PosixLauncher> launcher;
  std::unique_ptr<X11Windows> windows;
};

std::unique_ptr<X11Session> X11WindowsTest::s_session;
std::string X11WindowsTest::s_reason;

TEST_F(X11WindowsTest, IdleWaitEndsWhenTheFirstWindowIsManaged) {
  auto outcome = launcher->spawn({x11ClientCommand(s_session->display(), marker, "delay=300"), {}, ShowState::Normal});
  ASSERT_NE(outcome.process, nullptr) << outcome.message;
  killer->add(outcome.process->pid());
  EXPECT_TRUE(outcome.process->waitForInputIdle(120000));
  EXPECT_TRUE(running(*outcome.process));
  EXPECT_TRUE(windows->firstClientOf(outcome.process->pid()).has_value());
}

TEST_F(X11WindowsTest, IdleWaitForAProgramWithoutWindowEndsAtTheLimit) {
  auto outcome = launcher->spawn({"sleep 30", {}, ShowState::Minimized});
  ASSERT_NE(outcome.process, nullptr);
  killer->add(outcome.process->pid());
  EXPECT_FALSE(outcome.process->waitForInputIdle(300));
  EXPECT_FALSE(launcher->postWindowCommand(*outcome.process, WindowCommand::Minimize));
}

TEST_F(X11WindowsTest, StartMinimisedIconifiesTheFirstWindow) {
  auto client = startClient({}, ShowState::Minimized);
  ASSERT_NE(client.main, 0u);
  EXPECT_TRUE(eventually([&] { return windows->iconic(client.main); }));
  EXPECT_TRUE(eventually([&] { return launcher->pendingShowStates() == 0; }));
}

TEST_F(X11WindowsTest, StartMaximisedMaximisesTheFirstWindow) {
  auto client = startClient({}, ShowState::Maximized);
  ASSERT_NE(client.main, 0u);
  EXPECT_TRUE(eventually([&] { return maximized(client.main); }));
  EXPECT_FALSE(windows->iconic(client.main));
}

TEST_F(X11WindowsTest, ShowStateIsGivenUpForAProgramThatShowsNoWindow) {
  options.showStateWatch = std::chrono::milliseconds(300);
  launcher = std::make_unique<PosixLauncher>(options);
  auto outcome = launcher->spawn({"sleep 30", {}, ShowState::Maximized});
  ASSERT_NE(outcome.process, nullptr);
  killer->add(outcome.process->pid());
  EXPECT_TRUE(eventually([&] { return launcher->pendingShowStates() == 0; }));
  EXPECT_TRUE(running(*outcome.process));
}

TEST_F(X11WindowsTest, CloseAsksTheWindowToDeleteItself) {
  auto client = startClient();
  ASSERT_TRUE(client.process);
  EXPECT_TRUE(launcher->postWindowCommand(*client.process, WindowCommand::Close));
  EXPECT_TRUE(client.process->waitForExit(60000));
  EXPECT_NE(readFile(marker).find("closed"), std::string::npos);
}

TEST_F(X11WindowsTest, CloseOfAWindowWithoutDeleteProtocolGoesThroughTheWindowManager) {
  auto client = startClient("nodelete");
  ASSERT_TRUE(client.process);
  EXPECT_TRUE(launcher->postWindowCommand(*client.process, WindowCommand::Close));
  EXPECT_TRUE(client.process->waitForExit(60000));
}

TEST_F(X11WindowsTest, ProgramIgnoringCloseKeepsRunning) {
  auto client = startClient("ignoreclose");
  ASSERT_TRUE(client.process);
  EXPECT_TRUE(launcher->postWindowCommand(*client.process, WindowCommand::Close));
  EXPECT_TRUE(eventually([&] { return readFile(marker).find("ignored") != std::string::npos; }));
  EXPECT_TRUE(running(*client.process));
}

TEST_F(X11WindowsTest, MinimizeAndMaximize) {
  auto client = startClient();
  ASSERT_NE(client.main, 0u);
  EXPECT_TRUE(launcher->postWindowCommand(*client.process, WindowCommand::Maximize));
  EXPECT_TRUE(eventually([&] { return maximized(client.main); }));
  EXPECT_TRUE(launcher->postWindowCommand(*client.process, WindowCommand::Minimize));
  EXPECT_TRUE(eventually([&] { return windows->iconic(client.main); }));
}

TEST_F(X11WindowsTest, RestoreUnmaximisesAndDeiconifies) {
  auto client = startClient({}, ShowState::Maximized);
  ASSERT_NE(client.main, 0u);
  ASSERT_TRUE(eventually([&] { return maximized(client.main); }));
  ASSERT_TRUE(windows->sendCommand(client.main, WindowCommand::Minimize));
  ASSERT_TRUE(eventually([&] { return windows->iconic(client.main); }));
  EXPECT_TRUE(launcher->postWindowCommand(*client.process, WindowCommand::Restore));
  EXPECT_TRUE(eventually([&] { return !windows->iconic(client.main) && !maximized(client.main); }));
}

TEST_F(X11WindowsTest, DefaultCommandActivatesTheWindow) {
  auto first = startClient();
  ASSERT_NE(first.main, 0u);
  std::filesystem::remove(marker);
  auto second = startClient();
  ASSERT_NE(second.main, 0u);
  EXPECT_TRUE(launcher->postWindowCommand(*second.process, WindowCommand::Default));
  EXPECT_TRUE(eventually([&] { return windows->activeWindow() == second.main; }));
  EXPECT_TRUE(launcher->postWindowCommand(*first.process, WindowCommand::Default));
  EXPECT_TRUE(eventually([&] { return windows->activeWindow() == first.main; }));
}

TEST_F(X11WindowsTest, OwnedWindowPassesTheCommandToItsOwner) {
  auto client = startClient("transient");
  ASSERT_NE(client.owner, 0u);
  ASSERT_NE(client.dialog, 0u);
  EXPECT_EQ(windows->firstClientOf(client.process->pid()), client.dialog);
  EXPECT_EQ(windows->commandTarget(client.process->pid()), client.owner);
  EXPECT_TRUE(launcher->postWindowCommand(*client.process, WindowCommand::Maximize));
  EXPECT_TRUE(eventually([&] { return maximized(client.owner); }));
  EXPECT_FALSE(maximized(client.dialog));
}

TEST_F(X11WindowsTest, StartWaitsForTheWindowAndTheAfterActionClosesIt) {
  FakeQueueHost timer;
  FixedClock clock;
  MemoryRegistry registry;
  Launcher engine(*launcher, clock, registry, timer);
  const auto command = x11ClientCommand(s_session->display(), marker, "delay=200");
  StartDefinition def;
  def.Module = command.substr(0, command.find("\" ") + 1);
  def.Parms = command.substr(command.find("\" ") + 2);
  def.Wait = 120;
  def.Msg = 5;
  def.MsgID = 0;
  timer.timer = true;
  ASSERT_TRUE(engine.Start(def)) << def.Result;
  ASSERT_NE(def.Process, nullptr);
  killer->add(def.Process->pid());
  EXPECT_EQ(def.Result, "OK (Close in 5s)");
  EXPECT_TRUE(windows->firstClientOf(def.Process->pid()).has_value());
  EXPECT_EQ(timer.log, (std::vector<std::string>{"timer off", "timer on"}));

  const int pid = def.Process->pid();
  EXPECT_TRUE(engine.PerformAfterAction(def));
  EXPECT_EQ(def.Process, nullptr);
  EXPECT_TRUE(eventually([&] { return readFile(marker).find("closed") != std::string::npos; }));
  EXPECT_TRUE(eventually([&] { return launcher->unreapedChildren() == 0; }));
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
  EXPECT_EQ(zombieChildren(), std::vector<int>{});
}

TEST(X11WindowsWithoutDisplay, NothingIsFoundOrPosted) {
  X11Windows none("");
  EXPECT_FALSE(none.connect());
  EXPECT_FALSE(none.postCommand(getpid(), WindowCommand::Close));
  X11Windows missing(":64999");
  EXPECT_FALSE(missing.connect());
  EXPECT_TRUE(missing.clientList().empty());
  EXPECT_FALSE(missing.firstClientOf(getpid()).has_value());
}

}  // namespace
}  // namespace kip::test
