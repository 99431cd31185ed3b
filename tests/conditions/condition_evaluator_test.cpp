#include "conditions/condition_evaluator.h"

#include <gtest/gtest.h>

#include "doubles/fake_probes.h"
#include "doubles/fixed_clock.h"

namespace kip::test {
namespace {

// A Tuesday morning, 8 December 2026, 09:30.
constexpr CivilDateTime kTuesday{2026, 12, 8, 9, 30};

class ConditionEvaluatorTest : public ::testing::Test {
 protected:
  ConditionEvaluatorTest() {
    env.IsNT = true;
    env.ConfigName = "Docked";
    env.UserName = "alice";
    env.PowerState = 0;
    env.PrevConfig = "Docked";
    env.PrevUser = "alice";
    env.PrevPower = 0;
  }

  bool run() { return evaluator.test(def); }

  EnvironmentSnapshot env;
  NetworkResults results;
  Preferences prefs;
  FakeProbes probes;
  FixedClock clock{encodeDateTime(kTuesday)};
  ConditionEvaluator evaluator{env, results, prefs, probes.system, clock, probes.probe, probes.groups};
  StartDefinition def;
};

TEST_F(ConditionEvaluatorTest, AllDefaultsPass) {
  def.Countdown = 12;
  EXPECT_TRUE(run());
  EXPECT_EQ(def.Result, "OK");
  EXPECT_EQ(def.TestResult, 0);
  EXPECT_EQ(def.Countdown, 0);
  EXPECT_TRUE(def.RunStateChanged);
  EXPECT_DOUBLE_EQ(def.Tested, encodeDateTime(kTuesday));
  // Nothing that needs no probe asks one.
  EXPECT_EQ(probes.services.logonCalls, 0);
  EXPECT_EQ(probes.system.powerCalls, 0);
  EXPECT_TRUE(probes.host.calls.empty());
}

TEST_F(ConditionEvaluatorTest, DelayAloneQueuesTheDefinition) {
  def.Delay = 30;
  EXPECT_FALSE(run());
  EXPECT_EQ(def.TestResult, 64);
  EXPECT_EQ(def.Result, "DELAY (30s)");
  EXPECT_EQ(def.Countdown, 30);
}

TEST_F(ConditionEvaluatorTest, FailureCancelsTheDelayAndListsTokensInOrder) {
  def.Delay = 30;
  def.Apm = 1;
  probes.system.power = PowerStatus{0, 80};
  def.From = 1000;
  EXPECT_FALSE(run());
  EXPECT_EQ(def.TestResult, 10);
  EXPECT_EQ(def.Result, "SKIP (Failed: Power; Time)");
  EXPECT_EQ(def.Countdown, 0);
}

TEST_F(ConditionEvaluatorTest, ConfigurationTokenNamesTheCurrentConfiguration) {
  def.Configuration = "Undocked";
  EXPECT_FALSE(run());
  EXPECT_EQ(def.TestResult, 1);
  EXPECT_EQ(def.Result, "SKIP (Failed: Config(Docked))");
}

TEST_F(ConditionEvaluatorTest, ConfigurationIsComparedByteForByte) {
  def.Configuration = "docked";
  EXPECT_FALSE(run());
  def.Configuration = "Docked";
  EXPECT_TRUE(run());
  def.Configuration = "Docked ";
  EXPECT_FALSE(run());
}

struct PowerCase {
  std::int32_t apm;
  std::optional<PowerStatus> status;
  bool passes;
};

class PowerConditionTest : public ConditionEvaluatorTest, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(PowerConditionTest, AskedAtEachTestAndMatchedAgainstTheLineStatus) {
  def.Apm = GetParam().apm;
  probes.system.power = GetParam().status;
  EXPECT_EQ(run(), GetParam().passes);
  EXPECT_EQ(def.TestResult, GetParam().passes ? 0 : 2);
  EXPECT_EQ(probes.system.powerCalls, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PowerConditionTest,
    ::testing::Values(PowerCase{1, PowerStatus{1, 255}, true}, PowerCase{2, PowerStatus{1, 255}, false},
                      PowerCase{2, PowerStatus{0, 40}, true}, PowerCase{1, PowerStatus{0, 40}, false},
                      PowerCase{1, PowerStatus{255, 255}, false}, PowerCase{2, PowerStatus{255, 255}, false},
                      PowerCase{1, std::nullopt, false}, PowerCase{3, PowerStatus{1, 255}, false},
                      PowerCase{-1, PowerStatus{0, 40}, false}));

TEST_F(ConditionEvaluatorTest, PowerIgnoresTheSnapshotsPowerState) {
  env.PowerState = 50;  // on battery at start-up, on mains now
  def.Apm = 1;
  probes.system.power = PowerStatus{1, 50};
  EXPECT_TRUE(run());
}

struct DayCase {
  CivilDateTime when;
  std::int32_t days;
  bool passes;
};

class DayOfWeekTest : public ConditionEvaluatorTest, public ::testing::WithParamInterface<DayCase> {};

TEST_P(DayOfWeekTest, MondayIsBitZeroAndSundayBitSix) {
  clock.set(GetParam().when);
  def.Days = GetParam().days;
  EXPECT_EQ(run(), GetParam().passes);
  if (!GetParam().passes) {
    EXPECT_EQ(def.Result, "SKIP (Failed: DayOfWeek)");
  }
}

INSTANTIATE_TEST_SUITE_P(Table, DayOfWeekTest,
                         ::testing::Values(DayCase{{2026, 12, 7, 12, 0}, 1, true},         // Monday
                                           DayCase{{2026, 12, 7, 12, 0}, 126, false},      // Monday cleared
                                           DayCase{{2026, 12, 13, 12, 0}, 64, true},       // Sunday
                                           DayCase{{2026, 12, 13, 12, 0}, 63, false},      // weekdays only
                                           DayCase{{2026, 12, 12, 23, 59, 59}, 32, true},  // Saturday night
                                           DayCase{{2026, 12, 13, 0, 0, 0}, 32, false},    // past midnight
                                           DayCase{{2026, 12, 31, 23, 0}, 8, true},        // Thursday
                                           DayCase{{2027, 1, 1, 0, 30}, 8, false},         // Friday
                                           DayCase{{2026, 12, 8, 9, 30}, 0, false}));

struct TimeCase {
  int hour, minute, second;
  std::int32_t from, to;
  bool passes;
};

class TimeOfDayTest : public ConditionEvaluatorTest, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(TimeOfDayTest, BothEndsInclusiveWithoutWrap) {
  const auto& c = GetParam();
  clock.set(CivilDateTime{2026, 12, 8, c.hour, c.minute, c.second});
  def.From = c.from;
  def.To = c.to;
  EXPECT_EQ(run(), c.passes);
  if (!c.passes) {
    EXPECT_EQ(def.TestResult, 8);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, TimeOfDayTest,
                         ::testing::Values(TimeCase{8, 0, 0, 800, 1700, true}, TimeCase{17, 0, 59, 800, 1700, true},
                                           TimeCase{7, 59, 59, 800, 1700, false}, TimeCase{17, 1, 0, 800, 1700, false},
                                           TimeCase{0, 0, 0, 0, 0, true},  // To 0 alone is tested
                                           TimeCase{0, 1, 0, 0, 0, false}, TimeCase{23, 59, 59, 1, 2400, true},
                                           TimeCase{0, 0, 0, 1, 2400, false},
                                           // From above To never passes, not even around midnight.
                                           TimeCase{23, 0, 0, 2200, 200, false}, TimeCase{1, 0, 0, 2200, 200, false}));

TEST_F(ConditionEvaluatorTest, FrequencyPassesWhenNeverStarted) {
  def.Frequency = 1;
  def.Units = 2;
  def.Executed = 0.0;
  EXPECT_TRUE(run());
  def.Executed = 0.99;
  EXPECT_TRUE(run());
}

TEST_F(ConditionEvaluatorTest, FrequencyOfOneDayAcrossMidnight) {
  def.Frequency = 1;
  def.Units = 2;
  def.Executed = encodeDateTime({2026, 12, 7, 23, 59});
  clock.set(CivilDateTime{2026, 12, 8, 0, 0, 0, 0});
  EXPECT_FALSE(run());
  EXPECT_EQ(def.Result, "SKIP (Failed: Frequency)");
  EXPECT_EQ(def.TestResult, 16);
  clock.set(CivilDateTime{2026, 12, 8, 0, 0, 0, 1});
  EXPECT_TRUE(run());
}

TEST_F(ConditionEvaluatorTest, FrequencyBeyondTheCalendarNeverComes) {
  def.Executed = encodeDateTime({2026, 12, 7, 23, 59});
  def.Frequency = 2147483647;
  clock.set(CivilDateTime{9999, 12, 31, 23, 59, 59});
  // 2^31 minutes are some 4083 years: still inside the calendar, and long past by the year 9999.
  def.Units = 0;
  EXPECT_TRUE(run());
  for (std::int32_t units = 1; units <= 5; ++units) {
    def.Units = units;
    EXPECT_FALSE(run()) << "units " << units;
    EXPECT_EQ(def.TestResult, 16);
  }
  def.Units = 9;
  EXPECT_TRUE(run());
}

TEST_F(ConditionEvaluatorTest, UserIsTrimmedAndComparedWithoutCase) {
  def.User = "  ALICE\t";
  EXPECT_TRUE(run());
  def.User = "bob";
  EXPECT_FALSE(run());
  EXPECT_EQ(def.Result, "SKIP (Failed: User(alice))");
  EXPECT_EQ(def.TestResult, 32);
}

TEST_F(ConditionEvaluatorTest, BlankUserCountsAsSetAndMatchesNoName) {
  def.User = "   ";
  EXPECT_FALSE(run());
  env.UserName.clear();
  EXPECT_TRUE(run());
}

TEST_F(ConditionEvaluatorTest, UserNameOfTheSnapshotIsNotTrimmed) {
  env.UserName = "alice ";
  def.User = "alice";
  EXPECT_FALSE(run());
  EXPECT_EQ(def.Result, "SKIP (Failed: User(alice ))");
}

struct ChangeCase {
  std::int32_t changes;
  std::string config, prevConfig, user, prevUser;
  std::int32_t power, prevPower;
  bool passes;
};

class ChangeEventsTest : public ConditionEvaluatorTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangeEventsTest, PassesWhenASelectedKindChanged) {
  const auto& c = GetParam();
  env.ConfigName = c.config;
  env.PrevConfig = c.prevConfig;
  env.UserName = c.user;
  env.PrevUser = c.prevUser;
  env.PowerState = c.power;
  env.PrevPower = c.prevPower;
  def.Changes = c.changes;
  EXPECT_EQ(run(), c.passes);
  if (!c.passes) {
    EXPECT_EQ(def.Result, "SKIP (Failed: NoChange)");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChangeEventsTest,
    ::testing::Values(ChangeCase{1, "A", "A", "u", "u", 0, 0, false}, ChangeCase{1, "A", "B", "u", "u", 0, 0, true},
                      ChangeCase{1, "A", "a", "u", "u", 0, 0, true},     // byte for byte
                      ChangeCase{2, "A", "A", "u", "u", 75, 40, false},  // battery both times
                      ChangeCase{2, "A", "A", "u", "u", 75, 0, true}, ChangeCase{2, "A", "A", "u", "u", 0, 40, true},
                      ChangeCase{2, "A", "A", "u", "u", -1, 0, true}, ChangeCase{4, "A", "A", "u", "U", 0, 0, true},
                      ChangeCase{4, "A", "A", "u", "u", 0, 0, false},
                      ChangeCase{3, "A", "B", "u", "u", 75, 40, true},   // one kind is enough
                      ChangeCase{6, "A", "B", "u", "u", 75, 40, false},  // the config change is not selected
                      ChangeCase{8, "A", "A", "u", "u", 0, 0, true},     // an unknown kind always passes
                      ChangeCase{-1, "A", "A", "u", "u", 0, 0, true}));

TEST_F(ConditionEvaluatorTest, NetworkResultIsProbedOnceAndKept) {
  def.Net = 1;
  prefs.Network = "";
  probes.services.logonCode = -1222;
  EXPECT_FALSE(run());
  EXPECT_EQ(def.Result, "SKIP (Failed: Net)");
  EXPECT_EQ(def.TestResult, 256);
  EXPECT_EQ(results.lastNetwork, -1222);
  probes.services.logonCode = 1;
  EXPECT_FALSE(run());
  EXPECT_EQ(probes.services.logonCalls, 1);
  def.Net = 2;
  EXPECT_TRUE(run());
}

TEST_F(ConditionEvaluatorTest, NetworkResultOfZeroPassesBothWaysAndIsProbedAgain) {
  probes.services.logonCode = 0;
  def.Net = 1;
  EXPECT_TRUE(run());
  def.Net = 2;
  EXPECT_TRUE(run());
  EXPECT_EQ(probes.services.logonCalls, 2);
}

TEST_F(ConditionEvaluatorTest, NetworkPreferenceDecidesWhatIsProbed) {
  prefs.Network = "HTTP://127.0.0.1/";
  prefs.Proxy = "127.0.0.1";
  prefs.Port = "3128";
  probes.host.codes["HTTP://127.0.0.1/"] = -407;
  def.Net = 2;
  EXPECT_TRUE(run());
  ASSERT_EQ(probes.host.calls.size(), 1u);
  EXPECT_EQ(probes.host.calls[0].proxy, "127.0.0.1");
  EXPECT_EQ(probes.host.calls[0].port, "3128");
  EXPECT_EQ(results.lastNetwork, -407);
  EXPECT_EQ(results.lastDialUp, 0);
}

TEST_F(ConditionEvaluatorTest, DialUpNetworkPreferenceFillsBothResults) {
  prefs.Network = "DUN";
  probes.services.dialUpCode = 1;
  def.Net = 1;
  def.Dun = 2;
  EXPECT_FALSE(run());
  EXPECT_EQ(def.Result, "SKIP (Failed: DUN)");
  EXPECT_EQ(def.TestResult, 1024);
  EXPECT_EQ(results.lastDialUp, 1);
  EXPECT_EQ(probes.services.dialUpCalls, 1);
}

TEST_F(ConditionEvaluatorTest, DialUpResultIsCachedUnlessZero) {
  def.Dun = 1;
  probes.services.dialUpCode = -1;
  EXPECT_FALSE(run());
  EXPECT_FALSE(run());
  EXPECT_EQ(probes.services.dialUpCalls, 1);
  results.lastDialUp = 0;
  probes.services.dialUpCode = 1;
  EXPECT_TRUE(run());
  EXPECT_EQ(probes.services.dialUpCalls, 2);
}

TEST_F(ConditionEvaluatorTest, ResourceIsProbedAtEveryTestAndReportedWithItsCode) {
  def.NetTest = 1;
  def.NetResource = "\\\\srv\\x";
  probes.services.shareCodes["\\\\srv\\x"] = -53;
  EXPECT_FALSE(run());
  EXPECT_EQ(def.TestResult, 512);
  EXPECT_EQ(def.Result, "SKIP (Failed: Res <Rc-53 '\\\\srv\\x'>)");
  probes.services.shareCodes["\\\\srv\\x"] = 1;
  EXPECT_TRUE(run());
  EXPECT_EQ(probes.services.shares.size(), 2u);
}

TEST_F(ConditionEvaluatorTest, ResourceRequiredAbsent) {
  def.NetTest = -1;
  def.NetResource = "c:\\work";
  probes.services.pathCodes["c:\\work"] = 1;
  EXPECT_FALSE(run());
  EXPECT_EQ(def.Result, "SKIP (Failed: Res <Rc1 'c:\\work'>)");
  probes.services.pathCodes["c:\\work"] = -3;
  EXPECT_TRUE(run());
  probes.services.pathCodes["c:\\work"] = 0;
  EXPECT_TRUE(run());
  def.NetTest = 1;
  EXPECT_TRUE(run());
}

TEST_F(ConditionEvaluatorTest, ResourceHostProbeUsesTheRunningProxy) {
  prefs.Proxy = "proxy";
  prefs.Port = "8080";
  def.NetTest = 1;
  def.NetResource = "10.1.2.3";
  probes.host.codes["10.1.2.3"] = 1;
  EXPECT_TRUE(run());
  ASSERT_EQ(probes.host.calls.size(), 1u);
  EXPECT_EQ(probes.host.calls[0].proxy, "proxy");
}

TEST_F(ConditionEvaluatorTest, GroupIsTrimmedAndMatchedWithoutCase) {
  probes.groups.groups["alice"] = {"users", " Staff "};
  def.Group = "  staff ";
  EXPECT_TRUE(run());
  ASSERT_FALSE(probes.groups.asked.empty());
  EXPECT_EQ(probes.groups.asked.back(), "alice");
  def.Group = " admins ";
  EXPECT_FALSE(run());
  EXPECT_EQ(def.Result, "SKIP (Failed: Group(admins))");
  EXPECT_EQ(def.TestResult, 1024);
}

TEST_F(ConditionEvaluatorTest, GroupFailsWhenTheSystemCannotSay) {
  probes.groups.available = false;
  def.Group = "users";
  EXPECT_FALSE(run());
  EXPECT_EQ(def.TestResult, 1024);
}

TEST_F(ConditionEvaluatorTest, GroupIsNotTestedOffNt) {
  env.IsNT = false;
  def.Group = "nobody-has-this";
  EXPECT_TRUE(run());
  EXPECT_TRUE(probes.groups.asked.empty());
}

TEST_F(ConditionEvaluatorTest, DialUpAndGroupFailuresSumTo2048) {
  def.Dun = 1;
  probes.services.dialUpCode = -1;
  def.Group = "wheel";
  EXPECT_FALSE(run());
  EXPECT_EQ(def.TestResult, 2048);
  EXPECT_EQ(def.Result, "SKIP (Failed: DUN; Group(wheel))");
}

TEST_F(ConditionEvaluatorTest, EveryConditionFailingAtOnce) {
  def.Configuration = "Other";
  def.Apm = 2;
  def.Days = 1;  // Monday only; the clock says Tuesday
  def.From = 1000;
  def.Frequency = 5;
  def.Units = 0;
  def.Executed = encodeDateTime({2026, 12, 8, 9, 28});
  def.User = "bob";
  def.Changes = 1;
  def.Net = 1;
  probes.services.logonCode = -1245;
  def.Dun = 1;
  def.NetTest = 1;
  def.NetResource = "\\\\s\\r";
  def.Group = "g";
  def.Delay = 10;
  EXPECT_FALSE(run());
  EXPECT_EQ(def.TestResult, 1 + 2 + 4 + 8 + 16 + 32 + 128 + 256 + 1024 + 512 + 1024);
  EXPECT_EQ(def.Result,
            "SKIP (Failed: Config(Docked); Power; DayOfWeek; Time; Frequency; User(alice); NoChange; Net; DUN; "
            "Res <Rc-53 '\\\\s\\r'>; Group(g))");
  EXPECT_EQ(def.Countdown, 0);
}

// The conditions a desktop's autostart entries carry, tested against the session of this run.
struct DesktopCase {
  std::string onlyShowIn, notShowIn, tryExec, condition;
  std::string desktops;
  std::int32_t testResult;
  std::string result;
};

class DesktopConditionTest : public ConditionEvaluatorTest, public ::testing::WithParamInterface<DesktopCase> {};

TEST_P(DesktopConditionTest, EachHasItsValueAndToken) {
  const DesktopCase& c = GetParam();
  def.OnlyShowIn = c.onlyShowIn;
  def.NotShowIn = c.notShowIn;
  def.TryExec = c.tryExec;
  def.AutostartCondition = c.condition;
  probes.system.desktops = c.desktops;
  probes.system.installed = {"orca", "/usr/bin/tool"};
  probes.system.files = {{"screen-on", ""}, {"kded5rc", "[Module-x]\nautoload=false\n[Other]\nautoload=true\n"}};
  probes.system.settings = {{"org.a11y screen-reader-enabled", true}, {"org.a11y magnifier", false}};
  run();
  EXPECT_EQ(def.TestResult, c.testResult);
  EXPECT_EQ(def.Result, c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DesktopConditionTest,
    ::testing::Values(DesktopCase{"KDE", "", "", "", "GNOME", 4096, "SKIP (Failed: Desktop)"},
                      DesktopCase{"KDE;GNOME", "", "", "", "ubuntu:GNOME", 0, "OK"},
                      DesktopCase{"", "GNOME", "", "", "ubuntu:GNOME", 4096, "SKIP (Failed: Desktop)"},
                      // The first current desktop either list names decides.
                      DesktopCase{"ubuntu", "GNOME", "", "", "ubuntu:GNOME", 0, "OK"},
                      DesktopCase{"KDE", "", "", "", "", 4096, "SKIP (Failed: Desktop)"},
                      DesktopCase{"", "KDE", "", "", "", 0, "OK"}, DesktopCase{"", "", "orca", "", "", 0, "OK"},
                      DesktopCase{"", "", " /usr/bin/tool ", "", "", 0, "OK"},
                      DesktopCase{"", "", "missing", "", "", 8192, "SKIP (Failed: TryExec)"},
                      DesktopCase{"", "", "", "GSettings org.a11y screen-reader-enabled", "", 0, "OK"},
                      DesktopCase{"", "", "", "GSettings org.a11y magnifier", "", 16384, "SKIP (Failed: Condition)"},
                      DesktopCase{"", "", "", "GSettings org.a11y unknown-key", "", 16384, "SKIP (Failed: Condition)"},
                      DesktopCase{"", "", "", "if-exists screen-on", "", 0, "OK"},
                      DesktopCase{"", "", "", "unless-exists screen-on", "", 16384, "SKIP (Failed: Condition)"},
                      DesktopCase{"", "", "", "if-exists screen-off", "", 16384, "SKIP (Failed: Condition)"},
                      DesktopCase{"", "", "", "KDE kded5rc:Module-x:autoload:true", "", 16384,
                                  "SKIP (Failed: Condition)"},
                      DesktopCase{"", "", "", "KDE kded5rc:Module-y:autoload:true", "", 0, "OK"},
                      DesktopCase{"", "", "", "KDE absentrc:G:k:false", "", 16384, "SKIP (Failed: Condition)"},
                      DesktopCase{"", "", "", "GNOME3 if-session-type x11", "", 16384, "SKIP (Failed: Condition)"},
                      DesktopCase{"KDE", "", "missing", "if-exists screen-off", "GNOME", 28672,
                                  "SKIP (Failed: Desktop; TryExec; Condition)"}));

}  // namespace
}  // namespace kip::test
