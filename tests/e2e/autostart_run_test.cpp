#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "doubles/child_process.h"
#include "model/definition_store.h"
#include "model/registry_layout.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

// The whole autostart run of the built kiplaunch, in its own hives and runtime folder, without a display.
class AutostartRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(KIPLAUNCH_PATH).empty()) GTEST_SKIP() << "kiplaunch is not built";
    mkdir(m_dir.file("run").c_str(), 0700);
  }

  EnvChanges env() const {
    return {{"QT_QPA_PLATFORM", "offscreen"},
            {"KIPLAUNCH_RUNTIME_DIR", m_dir.file("run")},
            {"KIPLAUNCH_USER_HIVE", m_dir.file("user.db")},
            {"KIPLAUNCH_MACHINE_HIVE", m_dir.file("machine.db")},
            {"KIPLAUNCH_PROMPT_LOG", m_dir.file("prompts.log")},
            {"XDG_RUNTIME_DIR", std::nullopt},
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt}};
  }

  SqliteRegistry registry() const { return SqliteRegistry(m_dir.file("user.db"), m_dir.file("machine.db")); }

  // A definition whose program appends its name to a marker file.
  void define(Hive hive, const std::string& name, int sequence = 0, int delay = 0, bool disabled = false) {
    const std::string script = m_dir.file(name + ".sh");
    writeFile(script, "#!/bin/sh\necho " + name + " >> '" + marker() + "'\n");
    chmod(script.c_str(), 0755);
    StartDefinition def;
    def.Name = name;
    def.Module = script;
    def.Sequence = sequence;
    def.Delay = delay;
    def.Disable = disabled;
    def.Changed = true;
    auto reg = registry();
    std::vector<DefinitionPtr> list{std::make_shared<StartDefinition>(def)};
    ASSERT_TRUE(DefinitionStore(reg).save(hive, {}, list).startListOpened);
  }

  void setRun(std::int32_t run) {
    auto reg = registry();
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(reg.createKey(Hive::CurrentUser, kPreferencesKey, key), 0);
    writeDword(*key, "Run", run);
  }

  std::vector<DefinitionPtr> stored(Hive hive) {
    auto reg = registry();
    std::vector<DefinitionPtr> list;
    DefinitionStore(reg).load(hive, false, list);
    return list;
  }

  std::string marker() const { return m_dir.file("marker.txt"); }

  TempDir m_dir;
};

TEST_F(AutostartRunTest, ForcedRunStartsEveryGroupWritesResultsBackAndEndsByItself) {
  define(Hive::CurrentUser, "alpha");
  define(Hive::CurrentUser, "beta", 1);
  define(Hive::LocalMachine, "gamma", 2, 1);
  define(Hive::CurrentUser, "off", 0, 0, true);
  const auto result = runProgram(KIPLAUNCH_PATH, {"/R"}, env(), "", std::chrono::seconds(30));
  ASSERT_FALSE(result.timedOut) << "the autostart run did not end by itself";
  EXPECT_EQ(result.exitCode, 0) << result.err;

  // The started scripts may still be writing when the manager ends; give them a moment.
  std::string lines;
  for (int i = 0; i < 200 && lines.size() < std::string("alpha\nbeta\ngamma\n").size(); ++i) {
    usleep(10000);
    lines = readFile(marker());
  }
  EXPECT_EQ(lines, "alpha\nbeta\ngamma\n");

  for (const auto& def : stored(Hive::CurrentUser)) {
    if (def->Name == "off") {
      EXPECT_EQ(def->Executed, 0.0);
      EXPECT_EQ(def->Result, "");
    } else {
      EXPECT_EQ(def->Result, "OK") << def->Name;
      EXPECT_GT(def->Executed, 0.0) << def->Name;
    }
  }
  const auto machine = stored(Hive::LocalMachine);
  ASSERT_EQ(machine.size(), 1u);
  EXPECT_EQ(machine[0]->Result, "OK");
  EXPECT_GT(machine[0]->Tested, 0.0);
}

TEST_F(AutostartRunTest, FirstStartAfterLogonRunsOnlyWhenRunIsOnAndALaterStartOpensTheWindow) {
  setRun(1);
  define(Hive::CurrentUser, "alpha");
  const auto first = runProgram(KIPLAUNCH_PATH, {}, env(), "", std::chrono::seconds(30));
  ASSERT_FALSE(first.timedOut);
  EXPECT_EQ(first.exitCode, 0) << first.err;
  ASSERT_TRUE(waitForFile(marker()));

  // The logon marker exists now: the next start is the definition manager and starts nothing.
  unlink(marker().c_str());
  ChildProcess second(KIPLAUNCH_PATH, {}, env());
  ASSERT_TRUE(waitForFile(m_dir.file("run/KipLauncher.socket")));
  usleep(300000);
  EXPECT_TRUE(second.running());
  second.signal(SIGTERM);
  EXPECT_EQ(second.wait().exitCode, 0);
  EXPECT_EQ(access(marker().c_str(), F_OK), -1);
}

TEST_F(AutostartRunTest, ForcedRunWithoutDefinitionsOpensTheWindowInstead) {
  ChildProcess child(KIPLAUNCH_PATH, {"/r"}, env());
  ASSERT_TRUE(waitForFile(m_dir.file("run/KipLauncher.socket")));
  usleep(300000);
  EXPECT_TRUE(child.running());
  child.signal(SIGTERM);
  const auto result = child.wait();
  EXPECT_EQ(result.exitCode, 0) << result.err;
}

// Without a session folder the runtime folder lies in the user's own cache: the name it had in /tmp, which
// another user (here root) took first, stops neither kiplaunch /r nor kipctl logon, which hands over to it.
TEST_F(AutostartRunTest, AnotherUsersFolderInTmpDoesNotStopTheRun) {
  constexpr uid_t kUser = 65534;
  const std::string taken = "/tmp/kiplaunch-" + std::to_string(kUser), home = m_dir.file("home");
  if (geteuid() != 0 || mkdir(taken.c_str(), 0755) != 0) GTEST_SKIP() << "needs root and a free " << taken;
  std::string why;
  const auto module = std::filesystem::path(KIPLAUNCH_PATH).parent_path() / "kiplaunch_window.so";
  const auto program = copyForUser(KIPLAUNCH_PATH, m_dir.path(), kUser, why, {module.string()});
  const auto kipctl = copyForUser(KIPCTL_PATH, m_dir.path(), kUser, why);
  mkdir(home.c_str(), 0700);
  chown(home.c_str(), kUser, kUser);
  define(Hive::LocalMachine, "alpha");  // that user may read the machine-wide hive and write the marker
  chmod(m_dir.file("machine.db").c_str(), 0644);
  writeFile(marker(), "");
  chmod(marker().c_str(), 0666);
  auto environment = env();
  for (const auto& [name, value] :
       EnvChanges{{"KIPLAUNCH_RUNTIME_DIR", {}}, {"HOME", home}, {"KIPLAUNCH_USER_HIVE", home + "/user.db"}})
    environment[name] = value;
  const auto runAsUser = [&](const std::string& path, std::vector<std::string> args) {
    return ChildProcess(path, std::move(args), environment, "", kUser).wait(std::chrono::seconds(30));
  };
  if (program && kipctl) {
    EXPECT_EQ(runAsUser(*program, {"/R"}).err.find("kiplaunch: "), std::string::npos);
    runAsUser(*kipctl, {"reg", "add", std::string("HKCU\\").append(kPreferencesKey), "/v", "Run", "/t", "REG_DWORD",
                        "/d", "1", "/f"});
    unlink((home + "/.cache/kiplaunch/run/Kip Launcher.atom").c_str());  // a new logon
    EXPECT_EQ(runAsUser(*kipctl, {"logon"}).err.find("kiplaunch: "), std::string::npos);
  }
  rmdir(taken.c_str());
  if (!program || !kipctl) GTEST_SKIP() << why;
  for (int i = 0; i < 200 && readFile(marker()) != "alpha\nalpha\n"; ++i) usleep(10000);
  EXPECT_EQ(readFile(marker()), "alpha\nalpha\n");  // started by both
  struct stat st {};
  EXPECT_TRUE(lstat((home + "/.cache/kiplaunch/run").c_str(), &st) == 0 && st.st_uid == kUser &&
              (st.st_mode & 0777) == 0700);
}

}  // namespace
}  // namespace kip::test
