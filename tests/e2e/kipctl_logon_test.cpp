#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "doubles/child_process.h"
#include "model/registry_layout.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

namespace fs = std::filesystem;

// A stand-in for kiplaunch that records how many arguments it got and ends with 7, so the exit status of
// kipctl shows whether kipctl replaced itself with it.
// It needs nothing from PATH, which holds only the test's own folder.
constexpr const char* kFakeProgram = "#!/bin/sh\necho \"$#\" > \"${0%/*}/started\"\nexit 7\n";

struct LogonCase {
  const char* label;
  std::optional<std::int32_t> run;  // the stored "Run" preference; nullopt: no user hive at all
  bool besideKipctl;                // the fake program lies beside the copy of kipctl, else only on PATH
  int exitCode;
  bool started;
};

// kipctl logon from a copy of kipctl in a temporary folder, with hives of its own.
class KipctlLogonTest : public ::testing::TestWithParam<LogonCase> {
 protected:
  void SetUp() override {
    fs::create_directories(m_dir.file("bin"));
    fs::create_directories(m_dir.file("path"));
    fs::copy_file(KIPCTL_PATH, m_dir.file("bin/kipctl"));
  }

  void placeFakeProgram(const std::string& folder) {
    const auto file = m_dir.file(folder + "/kiplaunch");
    writeFile(file, kFakeProgram);
    fs::permissions(file, fs::perms::owner_all);
  }

  ChildResult logon(const std::vector<std::string>& args = {"logon"}) const {
    return runProgram(m_dir.file("bin/kipctl"), args,
                      {{"KIPLAUNCH_USER_HIVE", m_dir.file("user.db")},
                       {"KIPLAUNCH_MACHINE_HIVE", m_dir.file("machine.db")},
                       {"PATH", m_dir.file("path")}});
  }

  TempDir m_dir;
};

TEST_P(KipctlLogonTest, StartsTheProgramOnlyWhenTheAutostartRunIsSwitchedOn) {
  const auto& c = GetParam();
  if (c.run) {
    SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(hives.createKey(Hive::CurrentUser, kPreferencesKey, key), 0);
    ASSERT_EQ(writeDword(*key, "Run", *c.run), 0);
  }
  placeFakeProgram(c.besideKipctl ? "bin" : "path");

  const auto result = logon();
  EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
  const auto startedIn = m_dir.file((c.besideKipctl ? "bin" : "path") + std::string("/started"));
  EXPECT_EQ(readFile(startedIn), c.started ? "0\n" : "");  // started with no argument, or not at all
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(fs::exists(m_dir.file("user.db")), c.run.has_value());  // a logon creates no hive
}

INSTANTIATE_TEST_SUITE_P(RunPreference, KipctlLogonTest,
                         ::testing::Values(LogonCase{"NoHive", std::nullopt, true, 0, false},
                                           LogonCase{"OffWithoutDelay", 0, true, 0, false},
                                           LogonCase{"OffWithDelayKept", -15, true, 0, false},
                                           LogonCase{"On", 1, true, 7, true},
                                           LogonCase{"OnWithDelay", 31, true, 7, true},
                                           LogonCase{"OnFromPath", 1, false, 7, true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(KipctlLogonTest, RefusesArgumentsAndReportsAProgramThatCannotBeFound) {
  const auto extra = logon({"logon", "/r"});
  EXPECT_EQ(extra.exitCode, 1);
  EXPECT_NE(extra.err, "");

  SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(hives.createKey(Hive::CurrentUser, kPreferencesKey, key), 0);
  ASSERT_EQ(writeDword(*key, "Run", 1), 0);
  const auto missing = logon();
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "kipctl logon: cannot start kiplaunch: No such file or directory\n");
}

// kipctl autostart in turn on one user hive: the switch flips, the delay stays, status writes nothing.
TEST_F(KipctlLogonTest, AutostartSwitchesTheLogonRunAndKeepsTheDelay) {
  const auto status = logon({"autostart", "status"});
  EXPECT_EQ(status.exitCode, 0) << status.err;
  EXPECT_EQ(status.out, "off, start-up delay 0 seconds\n");
  EXPECT_FALSE(fs::exists(m_dir.file("user.db")));

  {
    SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(hives.createKey(Hive::CurrentUser, kPreferencesKey, key), 0);
    ASSERT_EQ(writeDword(*key, "Run", -15), 0);
  }
  const auto storedRun = [this] {
    SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    if (hives.openKey(Hive::CurrentUser, kPreferencesKey, KeyAccess::Read, key) != 0)
      return std::optional<std::int32_t>();
    return readDword(*key, "Run");
  };
  const struct {
    const char* word;
    const char* out;
    std::int32_t run;
  } steps[] = {{"on", "on, start-up delay 15 seconds\n", 16},
               {"on", "on, start-up delay 15 seconds\n", 16},
               {"status", "on, start-up delay 15 seconds\n", 16},
               {"off", "off, start-up delay 15 seconds\n", -15},
               {"status", "off, start-up delay 15 seconds\n", -15}};
  for (const auto& step : steps) {
    const auto result = logon({"autostart", step.word});
    EXPECT_EQ(result.exitCode, 0) << step.word << ": " << result.err;
    EXPECT_EQ(result.out, step.out) << step.word;
    EXPECT_EQ(storedRun(), step.run) << step.word;
  }

  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"autostart"}, {"autostart", "yes"}, {"autostart", "On"}, {"autostart", "on", "now"}}) {
    const auto result = logon(wrong);
    EXPECT_EQ(result.exitCode, 1) << wrong.back();
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(storedRun(), -15);
}

}  // namespace
}  // namespace kip::test
