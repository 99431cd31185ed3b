#include "model/preferences.h"

#include <gtest/gtest.h>

#include <climits>

#include "doubles/memory_registry.h"
#include "model/registry_layout.h"

namespace kip::test {
namespace {

struct RunCase {
  std::int32_t stored;
  bool enabled;
  std::int32_t delay;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << "Run=" << c.stored; }

class RunDecodeTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunDecodeTest, SignIsTheSwitchAndMagnitudeTheDelay) {
  bool enabled = !GetParam().enabled;
  std::int32_t delay = -1;
  decodeRun(GetParam().stored, enabled, delay);
  EXPECT_EQ(enabled, GetParam().enabled);
  EXPECT_EQ(delay, GetParam().delay);
}

INSTANTIATE_TEST_SUITE_P(Table, RunDecodeTest,
                         ::testing::Values(RunCase{31, true, 30}, RunCase{1, true, 0}, RunCase{0, false, 0},
                                           RunCase{-30, false, 30}, RunCase{-15, false, 15},
                                           RunCase{INT32_MAX, true, INT32_MAX - 1},
                                           RunCase{INT32_MIN, false, INT32_MAX}));

class RunEncodeTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunEncodeTest, DelayPlusOneWhenOnMinusDelayWhenOff) {
  EXPECT_EQ(encodeRun(GetParam().enabled, GetParam().delay), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Table, RunEncodeTest,
                         ::testing::Values(RunCase{31, true, 30}, RunCase{1, true, 0}, RunCase{0, false, 0},
                                           RunCase{-30, false, 30}, RunCase{-15, false, 15},
                                           RunCase{INT32_MAX, true, INT32_MAX}, RunCase{1, true, -4},
                                           RunCase{0, false, -4}));

class PreferencesTest : public ::testing::Test {
 protected:
  void dword(std::string_view name, std::int32_t value) {
    registry.setDword(Hive::CurrentUser, kPreferencesKey, name, value);
  }
  void text(std::string_view name, std::string_view value, RegType type = RegType::Sz) {
    registry.setRaw(Hive::CurrentUser, kPreferencesKey, name, type,
                    std::vector<std::uint8_t>(value.begin(), value.end()));
  }
  Preferences read() {
    Preferences prefs;
    readPreferences(registry, prefs);
    return prefs;
  }
  std::vector<std::string> written() {
    std::vector<std::string> names;
    for (const auto& w : registry.writeLog()) names.push_back(w.name);
    return names;
  }

  MemoryRegistry registry;
};

TEST_F(PreferencesTest, WithoutTheKeyEveryDefaultStays) {
  const auto prefs = read();
  EXPECT_FALSE(prefs.AutostartEnabled);
  EXPECT_EQ(prefs.StartupDelay, 0);
  EXPECT_FALSE(prefs.Splash);
  EXPECT_EQ(prefs.Width, 600);
  EXPECT_EQ(prefs.Height, 429);
  EXPECT_EQ(prefs.Left, 238);
  EXPECT_EQ(prefs.Top, 221);
  EXPECT_EQ(prefs.PgmTop, -1);
  EXPECT_EQ(prefs.PgmLeft, -1);
  EXPECT_EQ(prefs.ColWidths, (std::array<std::int32_t, 8>{}));
}

TEST_F(PreferencesTest, EachValueIsReadOnItsOwn) {
  dword("Run", 31);
  text("Splash", "1");  // wrong type
  dword("Global", 1);
  dword("AboutNet", 2);
  text("Network", "\\\\server\\share");
  text("Proxy", "proxy.local", RegType::ExpandSz);
  dword("Port", 8080);  // wrong type
  dword("Height", 500);
  registry.setRaw(Hive::CurrentUser, kPreferencesKey, "Width", RegType::Dword, {1, 2});  // wrong size
  dword("Top", -5);
  text("Left", "10");
  dword("SortCol", 3);
  dword("PgmTop", 40);
  registry.setRaw(Hive::CurrentUser, kPreferencesKey, "PgmLeft", RegType::Binary, {50, 0, 0, 0});

  const auto prefs = read();
  EXPECT_TRUE(prefs.AutostartEnabled);
  EXPECT_EQ(prefs.StartupDelay, 30);
  EXPECT_FALSE(prefs.Splash);
  EXPECT_TRUE(prefs.Global);
  EXPECT_TRUE(prefs.AboutNet);
  EXPECT_EQ(prefs.Network, "\\\\server\\share");
  EXPECT_EQ(prefs.Proxy, "proxy.local");
  EXPECT_EQ(prefs.Port, "");
  EXPECT_EQ(prefs.Height, 500);
  EXPECT_EQ(prefs.Width, 600);
  EXPECT_EQ(prefs.Top, -5);
  EXPECT_EQ(prefs.Left, 238);
  EXPECT_EQ(prefs.SortCol, 3);
  EXPECT_EQ(prefs.PgmTop, 40);
  EXPECT_EQ(prefs.PgmLeft, -1);
}

// Unlike definition texts, preference texts have no limit: a long one read short would be erased at close.
TEST_F(PreferencesTest, LongPreferenceTextsAreReadWhole) {
  const std::string network(300, 'n'), proxy(1000, 'p'), port(260, '8');
  text("Network", network);
  text("Proxy", proxy);
  text("Port", port, RegType::ExpandSz);
  const auto prefs = read();
  EXPECT_EQ(prefs.Network, network);
  EXPECT_EQ(prefs.Proxy, proxy);
  EXPECT_EQ(prefs.Port, port);
}

TEST_F(PreferencesTest, MistypedRunLeavesAutostartOff) {
  text("Run", "31");
  const auto prefs = read();
  EXPECT_FALSE(prefs.AutostartEnabled);
  EXPECT_EQ(prefs.StartupDelay, 0);
}

struct ColumnCase {
  const char* label;
  int broken;    // the column stored wrongly, -1 for none
  bool missing;  // missing rather than of the wrong type
};

void PrintTo(const ColumnCase& c, std::ostream* os) { *os << c.label; }

class ColumnWidthTest : public PreferencesTest, public ::testing::WithParamInterface<ColumnCase> {};

TEST_P(ColumnWidthTest, TheFirstFailingColumnEndsTheGroup) {
  const auto& c = GetParam();
  for (int col = 0; col < 8; ++col) {
    const auto name = "Col-" + std::to_string(col);
    if (col != c.broken) {
      dword(name, 100 + col);
    } else if (!c.missing) {
      text(name, "120");
    }
  }
  const auto prefs = read();
  for (int col = 0; col < 8; ++col) {
    const bool loaded = c.broken < 0 || col < c.broken;
    EXPECT_EQ(prefs.ColWidths[static_cast<std::size_t>(col)], loaded ? 100 + col : 0) << "column " << col;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ColumnWidthTest,
                         ::testing::Values(ColumnCase{"AllPresent", -1, false}, ColumnCase{"Col3Missing", 3, true},
                                           ColumnCase{"Col0Missing", 0, true}, ColumnCase{"Col7Missing", 7, true},
                                           ColumnCase{"Col5Mistyped", 5, false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ColumnWidth, AppliesOnlyBetweenTenAndAThousandExclusive) {
  EXPECT_FALSE(columnWidthApplies(10));
  EXPECT_TRUE(columnWidthApplies(11));
  EXPECT_TRUE(columnWidthApplies(999));
  EXPECT_FALSE(columnWidthApplies(1000));
  EXPECT_FALSE(columnWidthApplies(-50));
}

TEST_F(PreferencesTest, SplashAtEntryIsOnUnlessAStoredNumberSaysOff) {
  EXPECT_TRUE(readSplashAtEntry(registry));
  registry.addKey(Hive::CurrentUser, kPreferencesKey);
  EXPECT_TRUE(readSplashAtEntry(registry));
  text("Splash", "0");
  EXPECT_TRUE(readSplashAtEntry(registry));
  dword("Splash", 0);
  EXPECT_FALSE(readSplashAtEntry(registry));
  dword("Splash", 1);
  EXPECT_TRUE(readSplashAtEntry(registry));
}

TEST_F(PreferencesTest, CloseBeforeTheWindowOpenedWritesOnlyRunAndSplash) {
  Preferences prefs;
  prefs.AutostartEnabled = false;
  prefs.StartupDelay = 15;
  prefs.Global = true;
  EXPECT_TRUE(writePreferences(registry, prefs, false));
  EXPECT_EQ(written(), (std::vector<std::string>{"Run", "Splash"}));
  EXPECT_EQ(registry.valueNames(Hive::CurrentUser, kPreferencesKey), (std::vector<std::string>{"Run", "Splash"}));
  EXPECT_EQ(read().StartupDelay, 15);
  EXPECT_FALSE(read().AutostartEnabled);
}

TEST_F(PreferencesTest, CloseAfterTheWindowOpenedWritesEverythingInOrder) {
  Preferences prefs;
  prefs.AutostartEnabled = true;
  prefs.StartupDelay = 30;
  prefs.Splash = true;
  prefs.Global = true;
  prefs.AboutNet = true;
  prefs.Network = "HTTP://example.invalid/";
  prefs.Proxy = "proxy";
  prefs.Port = "3128";
  prefs.Height = 700;
  prefs.Width = 800;
  prefs.Top = 1;
  prefs.Left = 2;
  prefs.SortCol = 4;
  prefs.PgmTop = 5;
  prefs.PgmLeft = 6;
  prefs.ColWidths = {11, 12, 13, 14, 15, 16, 17, 18};
  EXPECT_TRUE(writePreferences(registry, prefs, true));
  EXPECT_EQ(written(),
            (std::vector<std::string>{"Height",   "Width",   "Top",   "Left",  "SortCol", "PgmTop", "PgmLeft", "Global",
                                      "AboutNet", "Network", "Proxy", "Port",  "Col-0",   "Col-1",  "Col-2",   "Col-3",
                                      "Col-4",    "Col-5",   "Col-6", "Col-7", "Run",     "Splash"}));
  const auto back = read();
  EXPECT_TRUE(back.AutostartEnabled);
  EXPECT_EQ(back.StartupDelay, 30);
  EXPECT_TRUE(back.Splash);
  EXPECT_EQ(back.Network, prefs.Network);
  EXPECT_EQ(back.Port, "3128");
  EXPECT_EQ(back.PgmLeft, 6);
  EXPECT_EQ(back.ColWidths, prefs.ColWidths);
}

TEST_F(PreferencesTest, CloseWithoutWriteAccessReportsIt) {
  registry.setReadOnly(Hive::CurrentUser, true);
  EXPECT_FALSE(writePreferences(registry, Preferences{}, true));
  EXPECT_FALSE(writeRunningPreferences(registry, Preferences{}));
  EXPECT_FALSE(registry.hasKey(Hive::CurrentUser, kPreferencesKey));
}

TEST_F(PreferencesTest, RunningPreferencesAreTheSevenTheOptionsChange) {
  Preferences prefs;
  prefs.StartupDelay = 5;
  EXPECT_TRUE(writeRunningPreferences(registry, prefs));
  EXPECT_EQ(written(), (std::vector<std::string>{"Run", "Splash", "Global", "AboutNet", "Network", "Proxy", "Port"}));
  EXPECT_EQ(read().StartupDelay, 5);
}

}  // namespace
}  // namespace kip::test
