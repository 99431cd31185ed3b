#include "engine/launcher.h"

#include <gtest/gtest.h>

#include <limits>

#include "base/win_error.h"
#include "doubles/fake_launcher.h"
#include "doubles/fake_queue_host.h"
#include "doubles/fixed_clock.h"
#include "doubles/memory_registry.h"
#include "model/registry_layout.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

class LauncherTest : public ::testing::Test {
 protected:
  LauncherTest() {
    def.Name = "Editor";
    def.StoredName = "Editor";
    def.Module = "/usr/bin/editor";
  }

  std::string subkey(std::string_view name = "Editor") const {
    return std::string(kStartListKey) + "\\" + std::string(name);
  }

  FakeLauncher processes;
  FixedClock clock{encodeDateTime({2026, 12, 8, 9, 30})};
  MemoryRegistry registry;
  FakeQueueHost timer;
  Launcher launcher{processes, clock, registry, timer};
  StartDefinition def;
};

TEST_F(LauncherTest, CommandTextIsModuleBlankParmsAndNoBlankWithoutParms) {
  def.Module = "/opt/My App/run";
  def.Parms = "-f \"a b.txt\"";
  def.Window = 1;
  ASSERT_TRUE(launcher.Start(def));
  def.Parms.clear();
  ASSERT_TRUE(launcher.Start(def));
  ASSERT_EQ(processes.spawns.size(), 2u);
  EXPECT_EQ(processes.spawns[0].commandText, "/opt/My App/run -f \"a b.txt\"");
  EXPECT_EQ(processes.spawns[1].commandText, "/opt/My App/run");
  EXPECT_EQ(processes.spawns[0].show, ShowState::Minimized);
}

TEST_F(LauncherTest, WorkingDirectoryLosesLeadingBlanksOnly) {
  def.StartDirectory = "  \t/srv/work dir ";
  launcher.Start(def);
  def.StartDirectory = "    ";
  launcher.Start(def);
  ASSERT_EQ(processes.spawns.size(), 2u);
  EXPECT_EQ(processes.spawns[0].workingDirectory, "/srv/work dir ");
  EXPECT_EQ(processes.spawns[1].workingDirectory, "");
}

TEST_F(LauncherTest, StartWithoutAfterActionIsOkAndKeepsNoProcess) {
  def.Countdown = 4;
  EXPECT_TRUE(launcher.Start(def));
  EXPECT_EQ(def.Result, "OK");
  EXPECT_EQ(def.Countdown, 0);
  EXPECT_EQ(def.Process, nullptr);
  EXPECT_EQ(processes.liveProcesses(), 0);
  EXPECT_TRUE(def.RunStateChanged);
  EXPECT_DOUBLE_EQ(def.Executed, clock.now());
}

struct ActionCase {
  std::int32_t msgId;
  const char* result;
  WindowCommand command;
};

class AfterActionTest : public LauncherTest, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(AfterActionTest, PendingActionIsNamedInResultAndPostedLater) {
  def.Msg = 10;
  def.MsgID = GetParam().msgId;
  ASSERT_TRUE(launcher.Start(def));
  EXPECT_EQ(def.Result, GetParam().result);
  EXPECT_EQ(def.Countdown, -10);
  ASSERT_NE(def.Process, nullptr);

  EXPECT_TRUE(launcher.PerformAfterAction(def));
  ASSERT_EQ(processes.posts.size(), 1u);
  EXPECT_EQ(processes.posts[0].command, GetParam().command);
  EXPECT_EQ(def.Countdown, 0);
  EXPECT_EQ(def.Process, nullptr);
  EXPECT_EQ(processes.liveProcesses(), 0);
}

INSTANTIATE_TEST_SUITE_P(Actions, AfterActionTest,
                         ::testing::Values(ActionCase{0, "OK (Close in 10s)", WindowCommand::Close},
                                           ActionCase{1, "OK (Restore in 10s)", WindowCommand::Restore},
                                           ActionCase{2, "OK (Minimize in 10s)", WindowCommand::Minimize},
                                           ActionCase{3, "OK (Maximize in 10s)", WindowCommand::Maximize},
                                           ActionCase{7, "OK ( in 10s)", WindowCommand::Default}));

TEST_F(LauncherTest, FailedCreationSetsExecutedAndTheSystemTextThenTriesTheDesktop) {
  def.Executed = 0.0;
  def.Msg = 10;
  def.Countdown = 3;
  processes.unstartable.insert(def.Module);
  processes.failMessage = "Permission denied";
  EXPECT_FALSE(launcher.Start(def));
  EXPECT_EQ(def.Result, "ERROR: Permission denied");
  EXPECT_DOUBLE_EQ(def.Executed, clock.now());
  EXPECT_TRUE(def.RunStateChanged);
  ASSERT_EQ(processes.opens.size(), 1u);
  EXPECT_EQ(processes.opens[0].commandText, def.Module);
  EXPECT_EQ(def.Countdown, 3);
}

TEST_F(LauncherTest, DocumentOpenedByTheDesktopIsOkWithoutAfterAction) {
  def.Module = "/home/u/notes.txt";
  def.StartDirectory = " /home/u";
  def.Window = 2;
  def.Msg = 10;
  def.Wait = 5;
  def.Countdown = 0;
  processes.unstartable.insert(def.Module);
  processes.openable.insert(def.Module);
  EXPECT_TRUE(launcher.Start(def));
  EXPECT_EQ(def.Result, "OK");
  EXPECT_EQ(def.Countdown, 0);
  EXPECT_EQ(def.Process, nullptr);
  EXPECT_TRUE(processes.waits.empty());
  ASSERT_EQ(processes.opens.size(), 1u);
  EXPECT_EQ(processes.opens[0].workingDirectory, "/home/u");
  EXPECT_EQ(processes.opens[0].show, ShowState::Maximized);
}

TEST_F(LauncherTest, WaitStopsTheRunningTimerAndRestartsIt) {
  def.Wait = 5;
  def.WaitType = 0;
  timer.timer = true;
  bool timerDuringWait = true;
  processes.onWait = [&](const FakeLauncher::Wait&) { timerDuringWait = timer.timer; };
  ASSERT_TRUE(launcher.Start(def));
  ASSERT_EQ(processes.waits.size(), 1u);
  EXPECT_EQ(processes.waits[0].kind, "idle");
  EXPECT_EQ(processes.waits[0].limitMs, 5000u);
  EXPECT_FALSE(timerDuringWait);
  EXPECT_TRUE(timer.timer);
}

TEST_F(LauncherTest, WaitLeavesAStoppedTimerStopped) {
  def.Wait = 2;
  def.WaitType = 1;
  ASSERT_TRUE(launcher.Start(def));
  ASSERT_EQ(processes.waits.size(), 1u);
  EXPECT_EQ(processes.waits[0].kind, "exit");
  EXPECT_FALSE(timer.timer);
  EXPECT_TRUE(timer.log.empty());
}

TEST(WaitLimit, MillisecondsThatDoNotFitWaitTheLongestThatDoes) {
  EXPECT_EQ(waitLimitMs(0), 0u);
  EXPECT_EQ(waitLimitMs(-5), 0u);
  EXPECT_EQ(waitLimitMs(4294967), 4294967000u);
  EXPECT_EQ(waitLimitMs(4294968), std::numeric_limits<std::uint32_t>::max());
  EXPECT_EQ(waitLimitMs(std::numeric_limits<std::int32_t>::max()), std::numeric_limits<std::uint32_t>::max());
}

TEST_F(LauncherTest, StartingAgainReleasesThePendingActionsProcess) {
  def.Msg = 20;
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(launcher.Start(def));
  EXPECT_EQ(processes.liveProcesses(), 1);
  EXPECT_EQ(def.Countdown, -20);

  processes.unstartable.insert(def.Module);
  EXPECT_FALSE(launcher.Start(def));
  EXPECT_EQ(processes.liveProcesses(), 0);
  EXPECT_EQ(def.Process, nullptr);
  EXPECT_FALSE(launcher.PerformAfterAction(def));
  EXPECT_TRUE(processes.posts.empty());
}

TEST_F(LauncherTest, AfterActionPostsNothingForAnEndedDisabledOrUnaskableProgram) {
  def.Msg = 5;
  ASSERT_TRUE(launcher.Start(def));
  processes.processState(def.Process->pid()).running = false;
  EXPECT_FALSE(launcher.PerformAfterAction(def));
  EXPECT_EQ(def.Countdown, 0);

  ASSERT_TRUE(launcher.Start(def));
  def.Disable = true;
  EXPECT_FALSE(launcher.PerformAfterAction(def));

  def.Disable = false;
  ASSERT_TRUE(launcher.Start(def));
  processes.processState(def.Process->pid()).exitCodeFails = true;
  EXPECT_FALSE(launcher.PerformAfterAction(def));

  EXPECT_TRUE(processes.posts.empty());
  EXPECT_EQ(processes.liveProcesses(), 0);
}

TEST_F(LauncherTest, AfterActionWithoutWindowReportsFalseAndReleases) {
  def.Msg = 5;
  processes.windowFound = false;
  ASSERT_TRUE(launcher.Start(def));
  EXPECT_FALSE(launcher.PerformAfterAction(def));
  EXPECT_EQ(processes.posts.size(), 1u);
  EXPECT_EQ(processes.liveProcesses(), 0);
}

TEST_F(LauncherTest, RecordStartWritesOnlyDuringALogonStart) {
  launcher.Start(def);
  launcher.RecordStart(def, false);
  EXPECT_FALSE(registry.hasKey(Hive::CurrentUser, subkey()));

  launcher.RecordStart(def, true);
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(registry.openKey(Hive::CurrentUser, subkey(), KeyAccess::Read, key), 0);
  EXPECT_EQ(readText(*key, "Result"), "OK");
  EXPECT_EQ(readDouble(*key, "Executed"), def.Executed);
  EXPECT_FALSE(readText(*key, "Tested").has_value());
}

TEST_F(LauncherTest, RecordStartOfTheOtherScopeGoesToTheMachineHive) {
  def.OtherScope = true;
  launcher.Start(def);
  launcher.RecordStart(def, true);
  EXPECT_TRUE(registry.hasValue(Hive::LocalMachine, subkey(), "Result"));
  EXPECT_FALSE(registry.hasKey(Hive::CurrentUser, subkey()));
}

TEST_F(LauncherTest, RecordStartOfANeverSavedDefinitionWritesNothing) {
  def.StoredName.clear();
  launcher.Start(def);
  launcher.RecordStart(def, true);
  EXPECT_FALSE(registry.hasValue(Hive::CurrentUser, kStartListKey, "Result"));
}

TEST_F(LauncherTest, RecordTestWritesTheFourRunStateValues) {
  def.Tested = clock.now();
  def.TestResult = 96;
  def.Result = "Failed";
  def.Executed = 1.5;
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(registry.createKey(Hive::CurrentUser, subkey(), key), 0);
  launcher.RecordTest(def, *key);
  EXPECT_EQ(readText(*key, "Result"), "Failed");
  EXPECT_EQ(readDword(*key, "TestResult"), 96);
  EXPECT_EQ(readDouble(*key, "Executed"), 1.5);
  EXPECT_EQ(readDouble(*key, "Tested"), clock.now());
}

// A record is written all or nothing; on a busy hive the write is given up quickly, said once, and later
// records do not wait at all.
TEST_F(LauncherTest, RunStateIsOneBatchGivenUpQuicklyOnABusyHive) {
  std::vector<std::string> notices;
  launcher.setNoticeSink([&](std::string_view text) { notices.emplace_back(text); });
  def.StoredHive = Hive::CurrentUser;
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(registry.createKey(Hive::CurrentUser, subkey(), key), 0);
  registry.failNextCommit(Hive::CurrentUser);
  launcher.RecordTest(def, *key);
  EXPECT_EQ(registry.valueNames(Hive::CurrentUser, subkey()), std::vector<std::string>{});

  registry.failValueWrites(Hive::CurrentUser, "Result", win::kBusy);
  launcher.RecordTest(def, *key);
  launcher.Start(def);
  launcher.RecordStart(def, true);
  EXPECT_EQ(registry.valueNames(Hive::CurrentUser, subkey()), std::vector<std::string>{});
  EXPECT_EQ(notices, std::vector<std::string>{std::string(kBusyHiveNotice)});
  using Wait = std::optional<std::uint32_t>;
  EXPECT_EQ(registry.lockWaits(Hive::CurrentUser),
            (std::vector<Wait>{kResultLockWaitMs, std::nullopt, kResultLockWaitMs, std::nullopt, 0, std::nullopt}));
}

}  // namespace
}  // namespace kip::test
