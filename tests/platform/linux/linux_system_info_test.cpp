#include "platform/linux/linux_system_info.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "doubles/child_process.h"
#include "model/environment_snapshot.h"

namespace kip::test {
namespace {

// One power supply folder: its name and the files in it.
struct Supply {
  std::string name;
  std::map<std::string, std::string> files;
};

struct PowerCase {
  const char* label;
  std::vector<Supply> supplies;
  std::optional<PowerStatus> expected;
  std::int32_t powerState;
};

void PrintTo(const PowerCase& c, std::ostream* os) { *os << c.label; }

class PowerSupplyTest : public ::testing::TestWithParam<PowerCase> {
 protected:
  TempDir m_dir;
};

TEST_P(PowerSupplyTest, LineStatusAndBatteryFromTheSupplyFolders) {
  for (const auto& supply : GetParam().supplies) {
    const auto dir = m_dir.file(supply.name);
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    for (const auto& [file, text] : supply.files) writeFile(dir + "/" + file, text + "\n");
  }
  const auto status = LinuxSystemInfo(m_dir.path()).powerStatus();
  ASSERT_EQ(status.has_value(), GetParam().expected.has_value());
  if (status) {
    EXPECT_EQ(status->acLineStatus, GetParam().expected->acLineStatus);
    EXPECT_EQ(status->batteryLifePercent, GetParam().expected->batteryLifePercent);
  }
  EXPECT_EQ(powerStateFrom(status), GetParam().powerState);
}

const Supply kMainsOn{"AC", {{"type", "Mains"}, {"online", "1"}}};
const Supply kMainsOff{"AC", {{"type", "Mains"}, {"online", "0"}}};
const Supply kBattery80{"BAT0", {{"type", "Battery"}, {"capacity", "80"}, {"status", "Discharging"}}};

INSTANTIATE_TEST_SUITE_P(
    Layouts, PowerSupplyTest,
    ::testing::Values(
        PowerCase{"MainsOnline", {kMainsOn, kBattery80}, PowerStatus{1, 80}, 0},
        PowerCase{"MainsOnlineWithoutBattery", {kMainsOn}, PowerStatus{1, 255}, 0},
        PowerCase{"UsbSupplyOnline", {{"usb", {{"type", "USB"}, {"online", "1"}}}, kBattery80}, PowerStatus{1, 80}, 0},
        PowerCase{"BatteryOnlyAt80", {kBattery80}, PowerStatus{0, 80}, 80},
        PowerCase{"BothOfflineWithBattery", {kMainsOff, kBattery80}, PowerStatus{0, 80}, 80},
        PowerCase{"BatteryWithoutCapacity", {kMainsOff, {"BAT0", {{"type", "Battery"}}}}, PowerStatus{0, 255}, 255},
        PowerCase{"BatteryWithGarbledCapacity",
                  {{"BAT0", {{"type", "Battery"}, {"capacity", "lots"}}}},
                  PowerStatus{0, 255},
                  255},
        PowerCase{"MainsOfflineWithoutBattery", {kMainsOff}, PowerStatus{255, 255}, 0},
        PowerCase{"NoSupplies", {}, PowerStatus{255, 255}, 0},
        PowerCase{"EntryWithoutType", {{"odd", {{"online", "1"}}}, kBattery80}, PowerStatus{0, 80}, 80}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PowerSupplyFolder, MissingFolderIsAMachineThatReportsNothing) {
  TempDir dir;
  const auto status = LinuxSystemInfo(dir.file("absent")).powerStatus();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->acLineStatus, 255);
  EXPECT_EQ(powerStateFrom(status), 0);
}

TEST(PowerSupplyFolder, APathThatIsNoFolderCannotBeRead) {
  // Tests may run as root, who reads every folder; a file in the folder's place fails for everyone.
  TempDir dir;
  writeFile(dir.file("supplies"), "not a folder\n");
  const auto status = LinuxSystemInfo(dir.file("supplies")).powerStatus();
  EXPECT_FALSE(status.has_value());
  EXPECT_EQ(powerStateFrom(status), -1);
}

TEST(PowerSupplyFolder, EnvironmentVariableChoosesTheFolder) {
  TempDir dir;
  writeFile(dir.file("x"), "");
  const char* before = std::getenv("KIPLAUNCH_POWER_SUPPLY_DIR");
  const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
  setenv("KIPLAUNCH_POWER_SUPPLY_DIR", dir.file("x").c_str(), 1);
  const bool failed = !LinuxSystemInfo().powerStatus().has_value();
  if (saved) {
    setenv("KIPLAUNCH_POWER_SUPPLY_DIR", saved->c_str(), 1);
  } else {
    unsetenv("KIPLAUNCH_POWER_SUPPLY_DIR");
  }
  EXPECT_TRUE(failed);
}

TEST(SystemUser, NameOfTheEffectiveUser) {
  LinuxSystemInfo system;
  EXPECT_TRUE(system.isNT());
  const auto name = system.userName();
  ASSERT_TRUE(name.has_value());
  const passwd* entry = getpwuid(geteuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(*name, entry->pw_name);
  EXPECT_EQ(readUserName(system), *name);
}

}  // namespace
}  // namespace kip::test
