#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "conditions/condition_evaluator.h"
#include "doubles/child_process.h"
#include "doubles/fake_probes.h"
#include "doubles/fixed_clock.h"
#include "platform/linux/linux_system_info.h"

namespace kip::test {
namespace {

// A folder laid out like /sys/class/power_supply, and the power condition tested against it.
class PowerProbeTest : public ::testing::Test {
 protected:
  void supply(const std::string& name, const std::string& type, const std::map<std::string, std::string>& files) {
    const std::string dir = m_dir.file(name);
    mkdir(dir.c_str(), 0755);
    writeFile(dir + "/type", type + "\n");
    for (const auto& [file, text] : files) writeFile(dir + "/" + file, text + "\n");
  }

  bool passes(std::int32_t apm, const std::string& folder) {
    LinuxSystemInfo system(folder);
    ConditionEvaluator evaluator(env, results, prefs, system, clock, probes.probe, probes.groups);
    StartDefinition def;
    def.Apm = apm;
    return evaluator.test(def);
  }

  TempDir m_dir;
  EnvironmentSnapshot env;
  NetworkResults results;
  Preferences prefs;
  FakeProbes probes;
  FixedClock clock;
};

TEST_F(PowerProbeTest, MainsOnline) {
  supply("AC", "Mains", {{"online", "1"}});
  supply("BAT0", "Battery", {{"capacity", "80"}});
  EXPECT_TRUE(passes(1, m_dir.path()));
  EXPECT_FALSE(passes(2, m_dir.path()));
}

TEST_F(PowerProbeTest, AnyNonZeroOnlineIsOnLine) {
  // 2 is a programmable supply (USB-PD); the type of each supply is one of the line supplies.
  const std::vector<std::pair<std::string, std::string>> supplies{{"Mains", "2"}, {"USB", "2"}, {"USB_PD", "1"}};
  for (const auto& [type, online] : supplies) {
    SCOPED_TRACE(type + " online=" + online);
    supply("AC", type, {{"online", online}});
    supply("BAT0", "Battery", {{"capacity", "80"}});
    EXPECT_TRUE(passes(1, m_dir.path()));
    EXPECT_FALSE(passes(2, m_dir.path()));
  }
}

TEST_F(PowerProbeTest, OnBattery) {
  supply("AC", "Mains", {{"online", "0"}});
  supply("BAT0", "Battery", {{"capacity", "42"}});
  EXPECT_TRUE(passes(2, m_dir.path()));
  EXPECT_FALSE(passes(1, m_dir.path()));
  EXPECT_EQ(powerStateFrom(LinuxSystemInfo(m_dir.path()).powerStatus()), 42);
}

TEST_F(PowerProbeTest, DesktopWithoutSuppliesReportsNoLineStatus) {
  // An empty folder and a missing one are both a machine that reports nothing.
  EXPECT_FALSE(passes(1, m_dir.path()));
  EXPECT_FALSE(passes(2, m_dir.path()));
  EXPECT_FALSE(passes(1, m_dir.file("missing")));
  EXPECT_FALSE(passes(2, m_dir.file("missing")));
  EXPECT_TRUE(passes(0, m_dir.file("missing")));
}

TEST_F(PowerProbeTest, DeviceBatteryIsNotTheMachines) {
  supply("hid-mouse", "Battery", {{"scope", "Device"}, {"capacity", "10"}});
  EXPECT_FALSE(passes(2, m_dir.path()));
}

TEST_F(PowerProbeTest, UnreadableFolderMakesTheQueryFail) {
  supply("AC", "Mains", {{"online", "1"}});
  chmod(m_dir.path().c_str(), 0);
  if (geteuid() != 0) {
    EXPECT_FALSE(LinuxSystemInfo(m_dir.path()).powerStatus().has_value());
    EXPECT_FALSE(passes(1, m_dir.path()));
    return;
  }
  // Root reads every folder: ask as nobody in a child process.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    _exit(LinuxSystemInfo(m_dir.path()).powerStatus().has_value() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace kip::test
