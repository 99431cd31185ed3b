#include "model/environment_snapshot.h"

#include <gtest/gtest.h>

#include <functional>

#include "doubles/fake_system_info.h"
#include "doubles/memory_registry.h"
#include "model/registry_layout.h"

namespace kip::test {
namespace {

class PreviousStartTest : public ::testing::Test {
 protected:
  EnvironmentSnapshot read() {
    EnvironmentSnapshot env;
    readPreviousStart(registry, env);
    return env;
  }
  MemoryRegistry registry;
};

TEST_F(PreviousStartTest, FirstRunFindsNoRecord) {
  const auto env = read();
  EXPECT_EQ(env.PrevConfig, "");
  EXPECT_EQ(env.PrevUser, "");
  EXPECT_EQ(env.PrevPower, 0);
}

TEST_F(PreviousStartTest, WrittenRecordReadsBackWithMinusOnePowerAsAllBits) {
  EnvironmentSnapshot env;
  env.ConfigName = "Docked";
  env.UserName = "alice";
  env.PowerState = -1;
  writePreviousStart(registry, env);
  EXPECT_EQ(registry.value(Hive::LocalMachine, kPreviousStartKey, "PrevPower")->data,
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(registry.value(Hive::LocalMachine, kPreviousStartKey, "PrevUser")->data.size(), 5u);
  const auto back = read();
  EXPECT_EQ(back.PrevConfig, "Docked");
  EXPECT_EQ(back.PrevUser, "alice");
  EXPECT_EQ(back.PrevPower, -1);
  // The fields of the running snapshot are not touched by the read.
  EXPECT_EQ(back.ConfigName, "");
}

TEST_F(PreviousStartTest, EachValueNeedsItsType) {
  registry.setRaw(Hive::LocalMachine, kPreviousStartKey, "PrevConfig", RegType::ExpandSz, {'x'});
  registry.setText(Hive::LocalMachine, kPreviousStartKey, "PrevUser", "bob");
  registry.setText(Hive::LocalMachine, kPreviousStartKey, "PrevPower", "80");
  const auto env = read();
  EXPECT_EQ(env.PrevConfig, "");
  EXPECT_EQ(env.PrevUser, "bob");
  EXPECT_EQ(env.PrevPower, 0);
}

TEST_F(PreviousStartTest, WriteWithoutAccessIsSkippedSilently) {
  registry.setReadOnly(Hive::LocalMachine, true);
  writePreviousStart(registry, EnvironmentSnapshot{});
  EXPECT_FALSE(registry.hasKey(Hive::LocalMachine, kPreviousStartKey));
}

// A hardware-profile layout and the configuration name it gives.
struct ProfileCase {
  const char* label;
  bool nt;
  std::function<void(MemoryRegistry&)> setUp;
  std::string expected;
};

void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.label; }

class ConfigNameTest : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ConfigNameTest, ReadsTheCurrentProfilesFriendlyName) {
  MemoryRegistry registry;
  GetParam().setUp(registry);
  EXPECT_EQ(readConfigName(registry, GetParam().nt), GetParam().expected);
}

const std::string kDb = "SYSTEM\\CurrentControlSet\\Control\\IDConfigDB";
const std::string kProfiles = kDb + "\\Hardware Profiles";

void twoProfiles(MemoryRegistry& r) {
  r.setText(Hive::LocalMachine, kProfiles + "\\0001", "FriendlyName", "Docked");
  r.setText(Hive::LocalMachine, kProfiles + "\\0012", "FriendlyName", "Undocked");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ConfigNameTest,
    ::testing::Values(ProfileCase{"NoIdConfigDb", true, [](MemoryRegistry&) {}, ""},
                      ProfileCase{"ProfileOne", true,
                                  [](MemoryRegistry& r) {
                                    twoProfiles(r);
                                    r.setDword(Hive::LocalMachine, kDb, "CurrentConfig", 1);
                                  },
                                  "Docked"},
                      ProfileCase{"ProfileTwelve", true,
                                  [](MemoryRegistry& r) {
                                    twoProfiles(r);
                                    r.setDword(Hive::LocalMachine, kDb, "CurrentConfig", 12);
                                  },
                                  "Undocked"},
                      ProfileCase{"NoCurrentConfig", true, twoProfiles, ""},
                      ProfileCase{"CurrentConfigAsText", true,
                                  [](MemoryRegistry& r) {
                                    twoProfiles(r);
                                    r.setText(Hive::LocalMachine, kDb, "CurrentConfig", "0001");
                                  },
                                  ""},
                      ProfileCase{"NoSuchProfile", true,
                                  [](MemoryRegistry& r) {
                                    twoProfiles(r);
                                    r.setDword(Hive::LocalMachine, kDb, "CurrentConfig", 2);
                                  },
                                  ""},
                      ProfileCase{"NoFriendlyName", true,
                                  [](MemoryRegistry& r) {
                                    r.addKey(Hive::LocalMachine, kProfiles + "\\0001");
                                    r.setDword(Hive::LocalMachine, kDb, "CurrentConfig", 1);
                                  },
                                  ""},
                      ProfileCase{"FriendlyNameMistyped", true,
                                  [](MemoryRegistry& r) {
                                    r.setDword(Hive::LocalMachine, kProfiles + "\\0001", "FriendlyName", 1);
                                    r.setDword(Hive::LocalMachine, kDb, "CurrentConfig", 1);
                                  },
                                  ""},
                      ProfileCase{"OtherFamilyUsesTextSuffix", false,
                                  [](MemoryRegistry& r) {
                                    r.setText(Hive::LocalMachine, kDb, "CurrentConfig", "0001");
                                    r.setText(Hive::LocalMachine, kDb, "FriendlyName0001", "Laptop");
                                  },
                                  "Laptop"},
                      ProfileCase{"OtherFamilyWithNumber", false,
                                  [](MemoryRegistry& r) {
                                    r.setDword(Hive::LocalMachine, kDb, "CurrentConfig", 1);
                                    r.setText(Hive::LocalMachine, kDb, "FriendlyName0001", "Laptop");
                                  },
                                  ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(UserName, TakenWhenItFitsTheBuffer) {
  FakeSystemInfo system;
  system.user = "alice";
  EXPECT_EQ(readUserName(system), "alice");
  system.user = std::string(49, 'u');
  EXPECT_EQ(readUserName(system), std::string(49, 'u'));
  system.user = std::string(50, 'u');
  EXPECT_EQ(readUserName(system), "");
  system.user = std::nullopt;
  EXPECT_EQ(readUserName(system), "");
}

struct PowerCase {
  std::optional<PowerStatus> status;
  std::int32_t expected;
};

void PrintTo(const PowerCase& c, std::ostream* os) {
  if (!c.status) {
    *os << "unavailable";
  } else {
    *os << "line " << c.status->acLineStatus << ", battery " << c.status->batteryLifePercent;
  }
}

class PowerStateTest : public ::testing::TestWithParam<PowerCase> {};

TEST_P(PowerStateTest, BatteryPercentOnlyOffLine) { EXPECT_EQ(powerStateFrom(GetParam().status), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Table, PowerStateTest,
                         ::testing::Values(PowerCase{std::nullopt, -1}, PowerCase{PowerStatus{0, 80}, 80},
                                           PowerCase{PowerStatus{0, 255}, 255}, PowerCase{PowerStatus{0, 0}, 0},
                                           PowerCase{PowerStatus{1, 50}, 0}, PowerCase{PowerStatus{255, 255}, 0},
                                           PowerCase{PowerStatus{255, 40}, 0}));

}  // namespace
}  // namespace kip::test
