#include "engine/start_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>

#include "app/app_state.h"
#include "doubles/fake_condition_tester.h"
#include "doubles/fake_launcher.h"
#include "doubles/fake_queue_host.h"
#include "doubles/fixed_clock.h"
#include "doubles/memory_registry.h"
#include "model/registry_layout.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

struct Spec {
  std::string name;
  std::int32_t sequence = 0;
  std::int32_t delay = 0;
  std::int32_t msg = 0;
};

// The queue with a fake window, launcher and condition test; ticks are counted, the first pass is tick 0.
class StartQueueTest : public ::testing::Test {
 protected:
  StartQueueTest() {
    processes.onRequest = [this](const std::string& what, const std::string& text) {
      if (what == "spawn") startedAt.emplace(text, tickNo);
      if (what == "post") postedAt.push_back(tickNo);
    };
  }

  // Stores a definition in the per-user hive; its Module is its name.
  void store(const Spec& spec) {
    const auto path = std::string(kStartListKey) + "\\" + spec.name;
    registry.setText(Hive::CurrentUser, path, "Module", spec.name);
    registry.setDword(Hive::CurrentUser, path, "Sequence", spec.sequence);
    registry.setDword(Hive::CurrentUser, path, "Delay", spec.delay);
    registry.setDword(Hive::CurrentUser, path, "Msg", spec.msg);
  }

  // Loads the stored definitions with the first pass, as the autostart run does, and enters the run.
  void autostart(std::int32_t startupDelay = 0) {
    state.prefs.StartupDelay = startupDelay;
    state.run.LogonStart = true;
    DefinitionStore(registry).load(Hive::CurrentUser, false, state.definitions, queue.firstPassHook());
    host.all = state.definitions;
    queue.beginAutostartRun();
  }

  DefinitionPtr find(std::string_view name) {
    for (const auto& def : state.definitions)
      if (def->Name == name) return def;
    return nullptr;
  }

  DefinitionPtr inMemory(const Spec& spec) {
    auto def = std::make_shared<StartDefinition>();
    def->Name = def->StoredName = def->Module = spec.name;
    def->Sequence = spec.sequence;
    def->Delay = spec.delay;
    def->Msg = spec.msg;
    def->TimingSummary = "summary of " + spec.name;
    return def;
  }

  // One tick of a running timer; false when the timer is off.
  bool tick() {
    if (!host.timer) return false;
    ++tickNo;
    queue.tick();
    return true;
  }

  // Ticks until the timer stops; returns the number of the last tick.
  int runToEnd(int limit = 200) {
    for (int i = 0; i < limit && tick();) ++i;
    return tickNo;
  }

  int startTick(const std::string& name) const {
    const auto it = startedAt.find(name);
    return it == startedAt.end() ? -1 : it->second;
  }

  std::optional<std::string> storedResult(std::string_view name) {
    std::unique_ptr<RegKey> key;
    if (registry.openKey(Hive::CurrentUser, std::string(kStartListKey) + "\\" + std::string(name), KeyAccess::Read,
                         key) != 0)
      return std::nullopt;
    return readText(*key, "Result");
  }

  FakeLauncher processes;
  FixedClock clock;
  MemoryRegistry registry;
  FakeQueueHost host;
  FakeConditionTester tester{&clock};
  AppState state;
  Launcher launcher{processes, clock, registry, host};
  StartQueue queue{state.prefs.StartupDelay, state.run, host, tester, launcher};
  int tickNo = 0;
  std::map<std::string, int> startedAt;
  std::vector<int> postedAt;
};

TEST_F(StartQueueTest, NoDelayGroupZeroStartsDuringTheLoadAndTheRunEndsInTheFirstTick) {
  store({"a"});
  autostart();
  EXPECT_EQ(startTick("a"), 0);
  EXPECT_EQ(storedResult("a"), "OK");
  EXPECT_EQ(host.log, (std::vector<std::string>{"tray on", "showApp off", "timer on"}));

  host.log.clear();
  EXPECT_EQ(runToEnd(), 1);
  EXPECT_EQ(host.log, (std::vector<std::string>{"timer off", "showApp on", "tray off", "messages", "close"}));
  EXPECT_EQ(queue.CurrentSequence(), -1);
}

TEST_F(StartQueueTest, GroupTwoStartsOneTickAfterItBecomesCurrent) {
  store({"a", 2});
  autostart();
  EXPECT_EQ(startTick("a"), -1);
  EXPECT_EQ(find("a")->Countdown, 1);
  ASSERT_TRUE(tick());
  EXPECT_EQ(queue.CurrentSequence(), 2);
  EXPECT_EQ(runToEnd(), 2);
  EXPECT_EQ(startTick("a"), 2);
  EXPECT_TRUE(host.closed);
}

TEST_F(StartQueueTest, StartupDelayCountsDownInTheTitleThenGroupZeroStarts) {
  store({"a"});
  autostart(30);
  EXPECT_EQ(host.log, (std::vector<std::string>{"tray on", "showApp on", "minimize", "timer on"}));
  EXPECT_EQ(find("a")->Countdown, 1);

  for (int i = 0; i < 29; ++i) ASSERT_TRUE(tick());
  ASSERT_EQ(host.titles.size(), 29u);
  EXPECT_EQ(host.titles.front(), "29 secs to start, Close to cancel");
  EXPECT_EQ(host.titles.back(), "1 secs to start, Close to cancel");
  EXPECT_EQ(startTick("a"), -1);

  host.log.clear();
  ASSERT_TRUE(tick());
  EXPECT_EQ(host.applicationTitle, "Kip Launch Manager");
  EXPECT_EQ(host.log, (std::vector<std::string>{"title", "showApp off", "messages"}));
  EXPECT_EQ(startTick("a"), -1);
  EXPECT_EQ(queue.CurrentSequence(), 0);

  EXPECT_EQ(runToEnd(), 31);
  EXPECT_EQ(startTick("a"), 31);
  EXPECT_EQ(host.mainCaption, "Kip Launch Manager");
}

TEST_F(StartQueueTest, DelaysFiveAndTenInOneGroupThenTheNextGroup) {
  store({"a", 1, 5});
  store({"b", 1, 10});
  store({"c", 2});
  autostart();
  EXPECT_EQ(runToEnd(), 12);
  // Group 1 becomes current after tick 1.
  EXPECT_EQ(startTick("a"), 6);
  EXPECT_EQ(startTick("b"), 11);
  EXPECT_EQ(startTick("c"), 12);
  EXPECT_EQ(storedResult("b"), "OK");
}

TEST_F(StartQueueTest, AfterActionHoldsTheNextGroupBack) {
  store({"a", 1, 0, 20});
  store({"b", 2});
  autostart();
  runToEnd();
  EXPECT_EQ(startTick("a"), 2);
  ASSERT_EQ(postedAt, std::vector<int>{22});
  EXPECT_GT(startTick("b"), postedAt[0]);
  EXPECT_EQ(startTick("b"), 24);
  EXPECT_EQ(storedResult("a"), "OK (Close in 20s)");
}

TEST_F(StartQueueTest, APostedAfterActionDoesNotPassOverAPendingOneOfItsGroup) {
  // "a" is handled before "b" in each tick and still counts down when "b" posts its after-action.
  store({"a", 0, 0, 20});
  store({"b", 0, 0, 3});
  store({"c", 1});
  autostart();
  runToEnd();
  ASSERT_EQ(postedAt, (std::vector<int>{3, 20}));
  EXPECT_GT(startTick("c"), postedAt.back());
}

TEST_F(StartQueueTest, PostedAfterActionKeepsTheQueueOneMoreTick) {
  store({"a", 3, 0, 3});
  autostart();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(tick());
  ASSERT_EQ(postedAt, std::vector<int>{5});
  EXPECT_EQ(queue.CurrentSequence(), 1);
  EXPECT_FALSE(host.closed);
  ASSERT_TRUE(tick());
  EXPECT_TRUE(host.closed);
  EXPECT_EQ(queue.CurrentSequence(), -1);
}

TEST_F(StartQueueTest, AfterActionOfAnEndedProgramEndsTheQueueInTheSameTick) {
  store({"a", 3, 0, 3});
  autostart();
  ASSERT_TRUE(tick());
  ASSERT_TRUE(tick());
  processes.processState(find("a")->Process->pid()).running = false;
  EXPECT_EQ(runToEnd(), 5);
  EXPECT_TRUE(postedAt.empty());
  EXPECT_EQ(processes.liveProcesses(), 0);
}

TEST_F(StartQueueTest, DefinitionDisabledWhileQueuedIsDropped) {
  store({"a", 1, 4});
  store({"b", 1});
  autostart();
  find("a")->Disable = true;
  runToEnd();
  EXPECT_EQ(startTick("a"), -1);
  EXPECT_EQ(startTick("b"), 2);
  EXPECT_EQ(find("a")->Countdown, 0);
  EXPECT_TRUE(host.closed);
}

TEST_F(StartQueueTest, FailedConditionIsRecordedAndNotQueued) {
  store({"a", 1});
  tester.failing.insert("a");
  autostart();
  EXPECT_EQ(find("a")->Countdown, 0);
  EXPECT_EQ(storedResult("a"), "Failed: Configuration");
  EXPECT_EQ(runToEnd(), 1);
  EXPECT_EQ(startTick("a"), -1);
}

TEST_F(StartQueueTest, CancelRunDropsAQueuedDefinition) {
  store({"a", 0, 10});
  autostart();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(tick());
  queue.CancelPopClick(find("a").get());
  EXPECT_EQ(runToEnd(), 4);
  EXPECT_EQ(startTick("a"), -1);
}

TEST_F(StartQueueTest, CancelActionReleasesTheProcessAndPostsNothing) {
  store({"a", 0, 0, 30});
  autostart();
  ASSERT_EQ(startTick("a"), 0);
  ASSERT_TRUE(tick());
  EXPECT_EQ(processes.liveProcesses(), 1);
  queue.CancelPopClick(find("a").get());
  EXPECT_EQ(processes.liveProcesses(), 0);
  EXPECT_EQ(runToEnd(), 2);
  EXPECT_TRUE(postedAt.empty());
  queue.CancelPopClick(nullptr);
}

TEST_F(StartQueueTest, NegativeSequenceRunsAsItsAbsoluteValueAndTheRunEnds) {
  store({"a", -2});
  store({"b", 1});
  autostart();
  EXPECT_EQ(startTick("a"), -1);
  EXPECT_EQ(runToEnd(), 3);
  EXPECT_EQ(startTick("b"), 2);
  EXPECT_EQ(startTick("a"), 3);
}

TEST_F(StartQueueTest, LowestSequenceIsTheLongestGroupAndStillEnds) {
  store({"a", std::numeric_limits<std::int32_t>::min()});
  autostart();
  EXPECT_EQ(runToEnd(), 2);
  EXPECT_EQ(startTick("a"), 2);
}

TEST_F(StartQueueTest, ResultsAreWrittenBackOnlyDuringALogonStart) {
  store({"a", 1});
  state.prefs.StartupDelay = 0;
  DefinitionStore(registry).load(Hive::CurrentUser, false, state.definitions, queue.firstPassHook());
  host.all = state.definitions;
  queue.beginAutostartRun();
  const auto before = storedResult("a");
  runToEnd();
  EXPECT_EQ(startTick("a"), 2);
  EXPECT_EQ(find("a")->Result, "OK");
  EXPECT_EQ(storedResult("a"), before);
}

TEST_F(StartQueueTest, TickCalledFromInsideATickIsIgnored) {
  store({"a"});
  autostart(2);
  host.onProcessMessages = [this] { queue.tick(); };
  ASSERT_TRUE(tick());
  ASSERT_TRUE(tick());
  EXPECT_EQ(state.run.StartupCountdown, 0);
  EXPECT_EQ(host.titles, (std::vector<std::string>{"1 secs to start, Close to cancel", "Kip Launch Manager"}));
}

// Creations that happen only when their outcome is asked for, as a slow process creation would.
class DeferringLauncher final : public ProcessLauncher {
 public:
  explicit DeferringLauncher(FakeLauncher& inner) : m_inner(inner) {}
  SpawnOutcome spawn(const LaunchRequest& request) override { return m_inner.spawn(request); }
  std::unique_ptr<PendingSpawn> spawnAsync(const LaunchRequest& request) override {
    struct Deferred final : PendingSpawn {
      Deferred(FakeLauncher& inner, LaunchRequest request) : inner(inner), request(std::move(request)) {}
      SpawnOutcome outcome() override { return inner.spawn(request); }
      FakeLauncher& inner;
      LaunchRequest request;
    };
    return std::make_unique<Deferred>(m_inner, request);
  }
  bool shellOpen(const LaunchRequest& request) override { return m_inner.shellOpen(request); }
  bool postWindowCommand(const StartedProcess& process, WindowCommand command) override {
    return m_inner.postWindowCommand(process, command);
  }

 private:
  FakeLauncher& m_inner;
};

// The overlapping first pass leaves the definitions and their records as the plain one does; a start
// that waits finishes the starts begun before it, and the rest finish in load order after the load.
TEST_F(StartQueueTest, OverlappingFirstPassEndsLikeThePlainOneInLoadOrder) {
  MemoryRegistry overlapRegistry;
  for (MemoryRegistry* hive : {&registry, &overlapRegistry}) {
    for (const auto& [name, sequence, wait] :
         {std::tuple{"a", 0, 0}, {"broken", 0, 0}, {"lost", 0, 0}, {"w", 0, 5}, {"z", 0, 0}, {"later", 1, 0}}) {
      const auto path = std::string(kStartListKey) + "\\" + name;
      hive->setText(Hive::CurrentUser, path, "Module", name);
      hive->setDword(Hive::CurrentUser, path, "Sequence", sequence);
      hive->setDword(Hive::CurrentUser, path, "Wait", wait);
    }
  }
  FakeLauncher inner;
  for (FakeLauncher* fake : {&processes, &inner}) {
    fake->unstartable = {"broken", "lost"};
    fake->openable = {"broken"};
  }
  state.run.LogonStart = true;
  DefinitionStore(registry).load(Hive::CurrentUser, false, state.definitions, queue.firstPassHook());

  DeferringLauncher deferring(inner);
  Launcher overlapLauncher{deferring, clock, overlapRegistry, host};
  AppState overlapState;
  overlapState.run.LogonStart = true;
  StartQueue overlapQueue{overlapState.prefs.StartupDelay, overlapState.run, host, tester, overlapLauncher};
  DefinitionStore(overlapRegistry)
      .load(Hive::CurrentUser, false, overlapState.definitions, overlapQueue.overlappingFirstPassHook());
  EXPECT_EQ(inner.started(), (std::vector<std::string>{"a", "w"})) << "the wait finishes the starts before it";
  overlapQueue.finishFirstPass();
  EXPECT_EQ(inner.started(), processes.started());
  EXPECT_EQ(inner.opens.size(), processes.opens.size());

  ASSERT_EQ(overlapState.definitions.size(), state.definitions.size());
  for (std::size_t i = 0; i < state.definitions.size(); ++i) {
    const auto& plain = *state.definitions[i];
    const auto& overlapped = *overlapState.definitions[i];
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(overlapRegistry.openKey(Hive::CurrentUser, std::string(kStartListKey) + "\\" + plain.Name,
                                      KeyAccess::Read, key),
              0);
    EXPECT_EQ(std::tuple(overlapped.Name, overlapped.Result, overlapped.Countdown, readText(*key, "Result")),
              std::tuple(plain.Name, plain.Result, plain.Countdown, storedResult(plain.Name)));
  }
}

// The window was opened: the list view in display order, then the hidden definitions.
class OpenedWindowQueueTest : public StartQueueTest {
 protected:
  OpenedWindowQueueTest() {
    state.run.WindowOpened = true;
    a = inMemory({"a"});
    b = inMemory({"b", 0, 0, 2});
    c = inMemory({"c"});
    idle = inMemory({"idle"});
    host.listView = {b, idle, a};
    host.hidden = {c};
    host.all = {a, b, c, idle};
  }
  DefinitionPtr a, b, c, idle;
};

TEST_F(OpenedWindowQueueTest, SameTickStartsFollowDisplayOrderThenHidden) {
  a->Countdown = b->Countdown = c->Countdown = 1;
  host.timer = true;
  ASSERT_TRUE(tick());
  std::vector<std::string> order = processes.started();
  EXPECT_EQ(order, (std::vector<std::string>{"b", "a", "c"}));
  ASSERT_EQ(host.refreshes.size(), 2u);
  EXPECT_EQ(host.refreshes[0].row, 0u);
  EXPECT_EQ(host.refreshes[0].timers, "-2");
  EXPECT_EQ(host.refreshes[0].result, "OK (Close in 2s)");
  EXPECT_EQ(host.refreshes[1].row, 2u);
  EXPECT_EQ(host.refreshes[1].timers, "summary of a");
  EXPECT_EQ(host.refreshes[1].result, "OK");
}

TEST_F(OpenedWindowQueueTest, EndOfTheQueueShowsTheWindowInsteadOfClosing) {
  c->Countdown = 1;
  host.timer = true;
  EXPECT_EQ(runToEnd(), 1);
  EXPECT_FALSE(host.closed);
  EXPECT_EQ(host.log, (std::vector<std::string>{"timer off", "showApp on", "tray off", "show"}));
}

TEST_F(OpenedWindowQueueTest, StartupDelaySetsTheCaptionToo) {
  state.run.StartupCountdown = 2;
  host.timer = true;
  ASSERT_TRUE(tick());
  EXPECT_EQ(host.mainCaption, "1 secs to start, Close to cancel");
  host.log.clear();
  ASSERT_TRUE(tick());
  EXPECT_EQ(host.mainCaption, "Kip Launch Manager");
  EXPECT_EQ(host.log, (std::vector<std::string>{"title", "caption", "show"}));
}

TEST_F(OpenedWindowQueueTest, ExecuteAllStartsEveryPassingDefinitionWhateverItsSequence) {
  a->Sequence = 5;
  c->Sequence = 3;
  idle->Disable = true;
  auto delayed = inMemory({"delayed", 3, 4});
  auto failing = inMemory({"failing"});
  tester.failing.insert("failing");
  host.listView = {b, idle, a, failing};
  host.hidden = {c, delayed};

  queue.RunButtonClick();
  EXPECT_EQ(processes.started(), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(tester.calls.count("idle"), 0u);
  EXPECT_EQ(delayed->Countdown, 4);
  EXPECT_TRUE(host.timer);
  EXPECT_TRUE(host.showApp);
  EXPECT_TRUE(host.trayActive);
  EXPECT_EQ(registry.writeCount(), 0);

  runToEnd();
  EXPECT_GT(startTick("delayed"), 0);
  EXPECT_EQ(postedAt.size(), 1u);
  EXPECT_FALSE(host.timer);
}

TEST_F(OpenedWindowQueueTest, ExecuteAllWithNothingLeftPendingLeavesTheTimerAlone) {
  host.listView = {a};
  host.hidden = {};
  queue.RunButtonClick();
  EXPECT_EQ(processes.started(), std::vector<std::string>{"a"});
  EXPECT_FALSE(host.timer);
  EXPECT_TRUE(host.log.empty());
}

TEST_F(OpenedWindowQueueTest, FailedTestGivesUpAPendingActionsProcess) {
  host.listView = {b};
  host.hidden = {};
  queue.RunButtonClick();
  ASSERT_EQ(processes.liveProcesses(), 1);
  tester.failing.insert("b");
  queue.RunButtonClick();
  EXPECT_EQ(processes.liveProcesses(), 0);
  EXPECT_EQ(b->Countdown, 0);
}

TEST_F(OpenedWindowQueueTest, RunGivesUpTheAfterAction) {
  queue.RunPopClick(b.get(), 0);
  EXPECT_EQ(b->Result, "OK (Close in 2s)");
  EXPECT_EQ(b->Countdown, 0);
  EXPECT_EQ(processes.liveProcesses(), 0);
  EXPECT_FALSE(host.timer);
  EXPECT_TRUE(tester.calls.empty());
}

TEST_F(OpenedWindowQueueTest, RunWithActionRunsTheTimerUntilTheActionIsPosted) {
  b->Delay = 30;
  queue.RunPopClick(b.get(), 1);
  EXPECT_EQ(b->Countdown, -2);
  EXPECT_TRUE(host.timer);
  EXPECT_TRUE(host.trayActive);
  runToEnd();
  EXPECT_EQ(postedAt, std::vector<int>{2});
  EXPECT_EQ(processes.liveProcesses(), 0);
}

TEST_F(OpenedWindowQueueTest, FailedRunOpensTheStatusPage) {
  processes.unstartable.insert("a");
  queue.RunPopClick(a.get(), 1);
  EXPECT_EQ(host.statusPages, std::vector<std::string>{"a"});
  EXPECT_EQ(a->Result, "ERROR: No such file or directory");
  EXPECT_FALSE(host.timer);
  queue.RunPopClick(nullptr, 0);
  EXPECT_EQ(processes.spawns.size(), 1u);
}

TEST(QueuePopup, ItemsFollowMsgAndCountdown) {
  EXPECT_FALSE(queuePopupItems(nullptr).separator);
  StartDefinition def;
  auto items = queuePopupItems(&def);
  EXPECT_FALSE(items.runWithAction || items.cancelAction || items.cancelRun || items.separator);
  def.Msg = 10;
  def.Countdown = -3;
  items = queuePopupItems(&def);
  EXPECT_TRUE(items.runWithAction);
  EXPECT_TRUE(items.cancelAction);
  EXPECT_FALSE(items.cancelRun);
  EXPECT_TRUE(items.separator);
  def.Msg = 0;
  def.Countdown = 4;
  items = queuePopupItems(&def);
  EXPECT_FALSE(items.runWithAction);
  EXPECT_TRUE(items.cancelRun);
  EXPECT_TRUE(items.separator);
}

}  // namespace
}  // namespace kip::test
