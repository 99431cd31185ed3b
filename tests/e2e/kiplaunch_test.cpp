#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "doubles/child_process.h"
#include "model/registry_layout.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

// Runs the built kiplaunch in its own hives and runtime folder, without a display.
class KiplaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(KIPLAUNCH_PATH).empty()) GTEST_SKIP() << "kiplaunch is not built";
    ASSERT_FALSE(m_dir.path().empty());
    mkdir(runtimeDir().c_str(), 0700);
  }

  std::string runtimeDir() const { return m_dir.file("run"); }
  std::string userHive() const { return m_dir.file("user.db"); }
  std::string machineHive() const { return m_dir.file("machine.db"); }
  std::string promptLog() const { return m_dir.file("prompts.log"); }

  EnvChanges env() const {
    return {{"QT_QPA_PLATFORM", "offscreen"},      {"KIPLAUNCH_RUNTIME_DIR", runtimeDir()},
            {"KIPLAUNCH_USER_HIVE", userHive()},   {"KIPLAUNCH_MACHINE_HIVE", machineHive()},
            {"KIPLAUNCH_PROMPT_LOG", promptLog()}, {"KIPLAUNCH_POWER_SUPPLY_DIR", m_dir.file("no-power")},
            {"XDG_RUNTIME_DIR", std::nullopt},     {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt}};
  }

  // Starts kiplaunch and waits until it listens for a second copy, which it does once its window exists.
  std::unique_ptr<ChildProcess> start(std::vector<std::string> args = {}, std::optional<uid_t> uid = {}) {
    auto child = std::make_unique<ChildProcess>(KIPLAUNCH_PATH, std::move(args), env(), "", uid);
    EXPECT_TRUE(waitForFile(runtimeDir() + "/KipLauncher.socket")) << "kiplaunch did not come up";
    return child;
  }

  // Ends it as a logoff does and returns how it ended.
  static ChildResult endSession(ChildProcess& child) {
    child.signal(SIGTERM);
    return child.wait(std::chrono::seconds(20));
  }

  std::optional<std::int32_t> dword(Hive hive, std::string_view path, std::string_view name) {
    SqliteRegistry registry(userHive(), machineHive());
    std::unique_ptr<RegKey> key;
    if (registry.openKey(hive, path, KeyAccess::Read, key) != 0) return std::nullopt;
    return readDword(*key, name);
  }

  std::optional<std::string> text(Hive hive, std::string_view path, std::string_view name) {
    SqliteRegistry registry(userHive(), machineHive());
    std::unique_ptr<RegKey> key;
    if (registry.openKey(hive, path, KeyAccess::Read, key) != 0) return std::nullopt;
    return readText(*key, name);
  }

  void setDword(Hive hive, std::string_view path, std::string_view name, std::int32_t value) {
    SqliteRegistry registry(userHive(), machineHive());
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(registry.createKey(hive, path, key), 0);
    ASSERT_EQ(writeDword(*key, name, value), 0);
  }

  void setText(Hive hive, std::string_view path, std::string_view name, std::string_view value) {
    SqliteRegistry registry(userHive(), machineHive());
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(registry.createKey(hive, path, key), 0);
    ASSERT_EQ(writeText(*key, name, value), 0);
  }

  TempDir m_dir;
};

TEST_F(KiplaunchTest, FirstStartAfterLogonWritesPreferencesAndPreviousStartAtSessionEnd) {
  setDword(Hive::CurrentUser, kPreferencesKey, "Run", -15);
  auto child = start();
  EXPECT_TRUE(waitForFile(runtimeDir() + "/Kip Launcher.atom"));
  const auto result = endSession(*child);
  EXPECT_EQ(result.exitCode, 0) << "signal " << result.signal << ": " << result.err;

  EXPECT_EQ(dword(Hive::CurrentUser, kPreferencesKey, "Run"), -15);
  // No stored "Splash": the main window's copy is false and is written so.
  EXPECT_EQ(dword(Hive::CurrentUser, kPreferencesKey, "Splash"), 0);
  // The window was shown, so its geometry is written too.
  EXPECT_TRUE(dword(Hive::CurrentUser, kPreferencesKey, "Width").has_value());
  EXPECT_EQ(dword(Hive::CurrentUser, kPreferencesKey, "Col-0"), 100);
  EXPECT_TRUE(text(Hive::LocalMachine, kPreviousStartKey, "PrevUser").has_value());
  EXPECT_EQ(dword(Hive::LocalMachine, kPreviousStartKey, "PrevPower"), 0);
}

TEST_F(KiplaunchTest, LaterStartInTheSameLogonLeavesThePreviousStartRecord) {
  writeFile(runtimeDir() + "/Kip Launcher.atom", "");
  setText(Hive::LocalMachine, kPreviousStartKey, "PrevUser", "somebody-else");
  auto child = start();
  const auto result = endSession(*child);
  EXPECT_EQ(result.exitCode, 0) << "signal " << result.signal << ": " << result.err;
  EXPECT_EQ(text(Hive::LocalMachine, kPreviousStartKey, "PrevUser"), "somebody-else");
  EXPECT_EQ(dword(Hive::CurrentUser, kPreferencesKey, "Run"), 0);
}

TEST_F(KiplaunchTest, SecondCopyEndsAtOnceAndTheFirstGoesOn) {
  auto first = start();
  const auto second = runProgram(KIPLAUNCH_PATH, {}, env(), "", std::chrono::seconds(10));
  EXPECT_FALSE(second.timedOut);
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_TRUE(first->running());
  EXPECT_EQ(endSession(*first).exitCode, 0);
}

TEST_F(KiplaunchTest, GlobalSwitchWithoutWriteAccessRevertsToTheUserScope) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
  // The machine-wide hive belongs to root and may only be read by others.
  setText(Hive::LocalMachine, kStartListKey, "", "");
  chmod(machineHive().c_str(), 0644);
  chown(m_dir.path().c_str(), 0, 0);
  // The build may lie in a folder other users cannot enter: they run a copy.
  std::string why;
  const auto module = std::filesystem::path(KIPLAUNCH_PATH).parent_path() / "kiplaunch_window.so";
  const auto program = copyForUser(KIPLAUNCH_PATH, m_dir.path(), 65534, why, {module.string()});
  if (!program) GTEST_SKIP() << why;
  const std::string userDir = m_dir.file("nobody");
  mkdir(userDir.c_str(), 0700);
  chown(userDir.c_str(), 65534, 65534);
  chown(runtimeDir().c_str(), 65534, 65534);
  auto environment = env();
  environment["KIPLAUNCH_USER_HIVE"] = userDir + "/user.db";
  environment["KIPLAUNCH_PROMPT_LOG"] = userDir + "/prompts.log";
  ChildProcess child(*program, {"/G"}, environment, "", uid_t{65534});
  ASSERT_TRUE(waitForFile(runtimeDir() + "/KipLauncher.socket"));
  const auto result = endSession(child);
  EXPECT_EQ(result.exitCode, 0) << "signal " << result.signal << ": " << result.err;
  EXPECT_EQ(readFile(userDir + "/prompts.log"),
            "message: Insufficient authorisation to store changes - reverting to normal open\n");
  // "/g" is never a logon start: nothing is written to the machine-wide record.
  EXPECT_FALSE(text(Hive::LocalMachine, kPreviousStartKey, "PrevUser").has_value());
}

TEST_F(KiplaunchTest, ALockItCannotOpenIsNamedOnStandardError) {
  // Here a planted link, never followed; the exit status stays 0.
  ASSERT_EQ(symlink(m_dir.file("elsewhere").c_str(), (runtimeDir() + "/KipLauncher.lock").c_str()), 0);
  const auto result = runProgram(KIPLAUNCH_PATH, {}, env(), "", std::chrono::seconds(10));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.err.find("kiplaunch: cannot open " + runtimeDir() + "/KipLauncher.lock"), std::string::npos)
      << result.err;
  EXPECT_FALSE(std::filesystem::exists(m_dir.file("elsewhere")));
}

TEST_F(KiplaunchTest, DamagedUserHiveIsReportedAndLeftUntouched) {
  const std::string garbage(8192, 'x');
  writeFile(userHive(), garbage);
  auto child = start();
  const auto result = endSession(*child);
  EXPECT_EQ(result.exitCode, 0) << "signal " << result.signal << ": " << result.err;
  const auto log = readFile(promptLog());
  EXPECT_NE(log.find("message: The registry file " + userHive()), std::string::npos) << log;
  EXPECT_EQ(readFile(userHive()), garbage);
}

TEST_F(KiplaunchTest, WithoutADisplayItSaysSoAndHowToProceed) {
  auto environment = env();
  environment["QT_QPA_PLATFORM"] = std::nullopt;
  const auto result = runProgram(KIPLAUNCH_PATH, {}, environment, "", std::chrono::seconds(10));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("no display"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("xvfb-run"), std::string::npos);
}

}  // namespace
}  // namespace kip::test
