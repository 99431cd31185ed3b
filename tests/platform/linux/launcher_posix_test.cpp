#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "doubles/fake_queue_host.h"
#include "doubles/fixed_clock.h"
#include "doubles/memory_registry.h"
#include "engine/launcher.h"
#include "launcher_test_support.h"
#include "platform/linux/posix_launcher.h"

namespace kip::test {
namespace {

// Writes its working folder and then each argument in brackets into the file named by its first argument.
constexpr const char* kRecorder = R"(out="$1"; shift
pwd > "$out.tmp"
for a in "$@"; do printf '[%s]\n' "$a" >> "$out.tmp"; done
mv "$out.tmp" "$out"
)";

class PosixLauncherTest : public ::testing::Test {
 protected:
  PosixLauncherTest() {
    recorder = writeScript(temp / "bin/recorder", kRecorder);
    std::filesystem::create_directories(temp / "work");
    options.opener = writeScript(temp / "opener", R"(printf '%s\n' "$#" "$1" > ")" + temp / "opened" + R"("
exit 0
)");
    options.dosDevices = temp / "dosdevices";
    std::filesystem::create_directories(options.dosDevices);
    options.display.clear();
  }

  PosixLauncher& launcher() {
    if (!m_launcher) m_launcher = std::make_unique<PosixLauncher>(options);
    return *m_launcher;
  }

  // Starts the command text and waits for the program to end.
  SpawnOutcome run(const std::string& commandText, const std::string& directory = {}) {
    auto outcome = launcher().spawn({commandText, directory, ShowState::Normal});
    if (outcome.process) {
      killer.add(outcome.process->pid());
      EXPECT_TRUE(outcome.process->waitForExit(20000)) << commandText;
    }
    return outcome;
  }

  TempFolder temp;
  std::string recorder;
  std::string marker = temp / "marker";
  PosixLauncher::Options options;
  ProcessKiller killer;
  std::unique_ptr<PosixLauncher> m_launcher;
};

TEST_F(PosixLauncherTest, ArgumentsAndWorkingFolderReachTheProgramWithoutAShell) {
  const auto outcome = run(recorder + " " + marker + R"( "a b" c\"d $HOME;x *)", temp / "work");
  ASSERT_NE(outcome.process, nullptr) << outcome.message;
  EXPECT_EQ(readFile(marker), temp / "work" + "\n[a b]\n[c\"d]\n[$HOME;x]\n[*]\n");
}

TEST_F(PosixLauncherTest, ProgramPathWithBlanksIsFoundWithAndWithoutQuotes) {
  const auto program = writeScript(temp / "My Programs/run it", kRecorder);
  auto outcome = run(program + " " + marker + " plain");
  ASSERT_NE(outcome.process, nullptr) << outcome.message;
  EXPECT_EQ(readFile(marker), std::filesystem::current_path().string() + "\n[plain]\n");

  outcome = run("\"" + program + "\" " + marker + " quoted");
  ASSERT_NE(outcome.process, nullptr) << outcome.message;
  EXPECT_NE(readFile(marker).find("[quoted]"), std::string::npos);
}

TEST_F(PosixLauncherTest, BareNameIsLookedUpInPath) {
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (temp.path() + "/bin:" + oldPath).c_str(), 1);
  const auto outcome = run("recorder " + marker + " found");
  setenv("PATH", oldPath.c_str(), 1);
  ASSERT_NE(outcome.process, nullptr) << outcome.message;
  EXPECT_NE(readFile(marker).find("[found]"), std::string::npos);
}

TEST_F(PosixLauncherTest, DrivePathsOfModuleAndStartDirectoryAreMapped) {
  std::filesystem::create_directory_symlink(temp.path(), options.dosDevices + "/c:");
  writeScript(temp / "My Programs/run it", kRecorder);
  const auto outcome = run(R"(C:\My Programs\run it )" + marker + " mapped", R"(c:\work)");
  ASSERT_NE(outcome.process, nullptr) << outcome.message;
  EXPECT_EQ(readFile(marker), temp / "work" + "\n[mapped]\n");

  // z: is the root folder without a link of its own.
  const auto root = run(R"(Z:\bin\sh )" + recorder + " " + marker + " z");
  ASSERT_NE(root.process, nullptr) << root.message;

  const auto unmapped = launcher().spawn({R"(q:\bin\true)", {}, ShowState::Normal});
  EXPECT_EQ(unmapped.process, nullptr);
  EXPECT_EQ(unmapped.error, ENOENT);
  const auto unmappedFolder = launcher().spawn({"/bin/true", R"(q:\work)", ShowState::Normal});
  EXPECT_EQ(unmappedFolder.process, nullptr);
}

struct BadModule {
  const char* name;
  std::function<std::string(const TempFolder&)> module;
  int error;
};

void PrintTo(const BadModule& module, std::ostream* out) { *out << module.name; }

class BadModuleTest : public PosixLauncherTest, public ::testing::WithParamInterface<BadModule> {};

TEST_P(BadModuleTest, FailsWithTheSystemsTextAndStartsNothing) {
  const auto outcome = launcher().spawn({GetParam().module(temp), {}, ShowState::Normal});
  ASSERT_EQ(outcome.process, nullptr);
  EXPECT_EQ(outcome.error, GetParam().error);
  EXPECT_EQ(outcome.message, std::strerror(GetParam().error));
  EXPECT_EQ(outcome.message.find('\n'), std::string::npos);
  // Begun on the spawn pool, the creation fails the same way.
  const auto pooled = launcher().spawnAsync({GetParam().module(temp), {}, ShowState::Normal})->outcome();
  ASSERT_EQ(pooled.process, nullptr);
  EXPECT_EQ(pooled.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Modules, BadModuleTest,
    ::testing::Values(BadModule{"Empty", [](const TempFolder&) { return std::string(); }, ENOENT},
                      BadModule{"Blanks", [](const TempFolder&) { return std::string("   "); }, ENOENT},
                      BadModule{"Missing", [](const TempFolder& t) { return t / "no such program"; }, ENOENT},
                      BadModule{"Folder", [](const TempFolder& t) { return t / "work"; }, EACCES},
                      BadModule{"NotExecutable",
                                [](const TempFolder& t) {
                                  writeFile(t / "notes.txt", "text\n");
                                  return t / "notes.txt";
                                },
                                EACCES},
                      BadModule{"NoInterpreterLine",
                                [](const TempFolder& t) {
                                  writeFile(t / "plain", "touch " + t / "ran-by-a-shell" + "\n", 0755);
                                  return t / "plain";
                                },
                                ENOEXEC},
                      BadModule{"TooLong", [](const TempFolder& t) { return t / std::string(300, 'x'); }, ENAMETOOLONG},
                      BadModule{"QuotesAndBlanks", [](const TempFolder&) { return std::string(R"(" "" " "  " ")"); },
                                ENOENT},
                      BadModule{"OnlyQuotes", [](const TempFolder&) { return std::string(R"("""")"); }, ENOENT}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PosixLauncherTest, MissingStartDirectoryFailsTheStart) {
  const auto outcome = launcher().spawn({recorder + " " + marker, temp / "no such folder", ShowState::Normal});
  EXPECT_EQ(outcome.process, nullptr);
  EXPECT_EQ(outcome.error, ENOENT);
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(PosixLauncherTest, ProgramRunsInASessionOfItsOwnWithNothingInherited) {
  const int inherited = open("/dev/null", O_RDONLY);  // deliberately without close-on-exec
  ASSERT_GE(inherited, 3);
  const auto script = writeScript(temp / "session", R"(set -- $(cat /proc/$$/stat)
[ -e /proc/$$/fd/)" + std::to_string(inherited) + R"( ] && fd=open || fd=closed
[ "$6" = "$$" ] && echo "leader $fd" > ")" + marker + R"(" || echo "member $fd" > ")" +
                                                        marker + R"("
)");
  const auto outcome = run(script);
  close(inherited);
  ASSERT_NE(outcome.process, nullptr) << outcome.message;
  EXPECT_EQ(readFile(marker), "leader closed\n");
}

TEST_F(PosixLauncherTest, WaitForTheEndEndsByTheEventOrByTheLimit) {
  auto quick = launcher().spawn({writeScript(temp / "quick", "exit 7\n"), {}, ShowState::Normal});
  ASSERT_NE(quick.process, nullptr);
  EXPECT_TRUE(quick.process->waitForExit(60000));
  std::int32_t code = 0;
  ASSERT_TRUE(quick.process->exitCode(code));
  EXPECT_EQ(code, 7);

  auto slow = launcher().spawn({"sleep 30", {}, ShowState::Normal});
  ASSERT_NE(slow.process, nullptr);
  killer.add(slow.process->pid());
  EXPECT_FALSE(slow.process->waitForExit(200));
  ASSERT_TRUE(slow.process->exitCode(code));
  EXPECT_EQ(code, 259);
  kill(slow.process->pid(), SIGKILL);
  EXPECT_TRUE(slow.process->waitForExit(60000));
  ASSERT_TRUE(slow.process->exitCode(code));
  EXPECT_EQ(code, 128 + SIGKILL);
}

TEST_F(PosixLauncherTest, WaitForIdleWithoutADisplayEndsByTheEndOrTheLimit) {
  auto quick = launcher().spawn({"/bin/true", {}, ShowState::Minimized});
  ASSERT_NE(quick.process, nullptr);
  EXPECT_TRUE(quick.process->waitForInputIdle(60000));
  EXPECT_EQ(launcher().pendingShowStates(), 0u);

  auto slow = launcher().spawn({"sleep 30", {}, ShowState::Normal});
  ASSERT_NE(slow.process, nullptr);
  killer.add(slow.process->pid());
  EXPECT_FALSE(slow.process->waitForInputIdle(200));
  EXPECT_FALSE(launcher().postWindowCommand(*slow.process, WindowCommand::Close));
}

TEST_F(PosixLauncherTest, NoZombieIsLeftByProgramsThatEndAtOnceOrForkAndEnd) {
  const auto forker = writeScript(temp / "forker", "sleep 1 &\nexit 0\n");
  std::vector<int> pids;
  for (int i = 0; i < 20; ++i) {
    // The handles are released at once; the reaper alone notices the ends.
    auto outcome = launcher().spawn({i % 2 == 0 ? std::string("/bin/true") : forker, {}, ShowState::Normal});
    ASSERT_NE(outcome.process, nullptr) << outcome.message;
    pids.push_back(outcome.process->pid());
  }
  // Creations begun together on the spawn pool, their outcomes taken afterwards.
  std::vector<std::unique_ptr<PendingSpawn>> begun;
  for (int i = 0; i < 10; ++i) begun.push_back(launcher().spawnAsync({forker, {}, ShowState::Normal}));
  for (auto& pending : begun) {
    auto outcome = pending->outcome();
    ASSERT_NE(outcome.process, nullptr) << outcome.message;
    pids.push_back(outcome.process->pid());
  }
  EXPECT_TRUE(eventually([&] { return launcher().unreapedChildren() == 0; }));
  EXPECT_EQ(zombieChildren(), std::vector<int>{});
  for (const int pid : pids) EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid))) << pid;
}

TEST_F(PosixLauncherTest, OpenerGetsTheCommandTextAsItsOneArgument) {
  const std::string document = temp / "my notes.txt";
  writeFile(document, "text\n");
  EXPECT_TRUE(launcher().shellOpen({document + " --flag", temp / "work", ShowState::Normal}));
  EXPECT_EQ(readFile(temp / "opened"), "1\n" + document + " --flag\n");
}

TEST_F(PosixLauncherTest, OpenerFailuresAreReported) {
  options.opener = writeScript(temp / "refusing opener", "exit 4\n");
  EXPECT_FALSE(launcher().shellOpen({"anything", {}, ShowState::Normal}));
  EXPECT_FALSE(launcher().shellOpen({"anything", temp / "no such folder", ShowState::Normal}));
  EXPECT_FALSE(launcher().shellOpen({"  ", {}, ShowState::Normal}));
  m_launcher.reset();
  options.opener = temp / "no such opener";
  EXPECT_FALSE(launcher().shellOpen({"anything", {}, ShowState::Normal}));
}

TEST_F(PosixLauncherTest, OpenerStillRunningAtTheLimitIsTakenAsShowingTheDocument) {
  options.opener = writeScript(temp / "lingering opener", "echo $$ > \"" + temp / "opener.pid" + "\"\nexec sleep 30\n");
  options.openerWait = std::chrono::milliseconds(200);
  EXPECT_TRUE(launcher().shellOpen({"document", {}, ShowState::Normal}));
  ASSERT_TRUE(eventually([&] { return !readFile(temp / "opener.pid").empty(); }));
  killer.add(std::stoi(readFile(temp / "opener.pid")));
}

// The launcher of the start queue on the real one.
class RealLauncherTest : public PosixLauncherTest {
 protected:
  FakeQueueHost timer;
  FixedClock clock;
  MemoryRegistry registry;
};

TEST_F(RealLauncherTest, DocumentIsOpenedThroughTheOpenerAndReportedOk) {
  Launcher engine(launcher(), clock, registry, timer);
  StartDefinition def;
  def.Module = temp / "notes.txt";
  writeFile(def.Module, "text\n");
  def.Msg = 10;
  EXPECT_TRUE(engine.Start(def));
  EXPECT_EQ(def.Result, "OK");
  EXPECT_EQ(def.Countdown, 0);
  EXPECT_EQ(readFile(temp / "opened"), "1\n" + def.Module + "\n");
}

TEST_F(RealLauncherTest, WaitForTheEndHoldsTheStartUntilTheProgramEnds) {
  Launcher engine(launcher(), clock, registry, timer);
  StartDefinition def;
  def.Module = writeScript(temp / "slow", "sleep 1\necho done > \"$1\"\n");
  def.Parms = marker;
  def.Wait = 60;
  def.WaitType = 1;
  timer.timer = true;
  EXPECT_TRUE(engine.Start(def));
  EXPECT_EQ(readFile(marker), "done\n");
  EXPECT_TRUE(timer.timer);
  EXPECT_EQ(timer.log, (std::vector<std::string>{"timer off", "timer on"}));
}

TEST_F(RealLauncherTest, AfterActionOfAnEndedProgramPostsNothing) {
  Launcher engine(launcher(), clock, registry, timer);
  StartDefinition def;
  def.Module = "/bin/true";
  def.Msg = 5;
  ASSERT_TRUE(engine.Start(def));
  ASSERT_NE(def.Process, nullptr);
  const int pid = def.Process->pid();
  EXPECT_TRUE(eventually([&] {
    std::int32_t code = 0;
    return def.Process->exitCode(code) && code != 259;
  }));
  EXPECT_FALSE(engine.PerformAfterAction(def));
  EXPECT_EQ(def.Process, nullptr);
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
}

}  // namespace
}  // namespace kip::test
