#include <gtest/gtest.h>

#include <limits>

#include "model/definition_store.h"
#include "model/store_test_support.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

TEST(StartDefinition, FreshRecordHoldsEveryDefault) {
  const StartDefinition d;
  EXPECT_EQ(d.Days, 127);
  EXPECT_EQ(d.Dates, 2147483647);
  EXPECT_EQ(d.From, 0);
  EXPECT_EQ(d.To, 2400);
  EXPECT_EQ(d.Executed, 0.0);
  EXPECT_EQ(d.Tested, 0.0);
  EXPECT_EQ(d.Countdown, 0);
  EXPECT_FALSE(d.Changed || d.RunStateChanged || d.OtherScope || d.Disable);
  EXPECT_FALSE(d.StoredHive.has_value());
  EXPECT_EQ(d.Process, nullptr);
  for (const auto* text : {&d.StoredName, &d.Name, &d.Module, &d.Parms, &d.StartDirectory, &d.Configuration, &d.User,
                           &d.Group, &d.NetResource, &d.Result, &d.TimingSummary, &d.ConditionSummary, &d.StateSummary})
    EXPECT_TRUE(text->empty());
  for (const auto number : {d.Window, d.Apm, d.Net, d.Dun, d.Sequence, d.Frequency, d.Units, d.Changes, d.Delay, d.Msg,
                            d.Wait, d.MsgID, d.WaitType, d.NetTest, d.TestResult})
    EXPECT_EQ(number, 0);
}

class DefinitionLoadTest : public ::testing::Test {
 protected:
  std::vector<DefinitionPtr> load(Hive hive, bool otherScope = false, const DefinitionStore::FirstPassHook& hook = {}) {
    std::vector<DefinitionPtr> out;
    DefinitionStore(registry).load(hive, otherScope, out, hook);
    return out;
  }
  std::vector<std::string> names(const std::vector<DefinitionPtr>& defs) {
    std::vector<std::string> out;
    for (const auto& d : defs) out.push_back(d->Name);
    return out;
  }

  MemoryRegistry registry;
};

TEST_F(DefinitionLoadTest, MissingStartListLoadsNothing) {
  EXPECT_TRUE(load(Hive::CurrentUser).empty());
  registry.addKey(Hive::CurrentUser, kProductKey);
  EXPECT_TRUE(load(Hive::CurrentUser).empty());
}

TEST_F(DefinitionLoadTest, EverySubkeyInEnumerationOrderWithNameAndHive) {
  registry.addKey(Hive::CurrentUser, defKey("beta"));
  registry.addKey(Hive::CurrentUser, defKey("Alpha"));
  registry.addKey(Hive::CurrentUser, defKey("GAMMA"));
  registry.addKey(Hive::LocalMachine, defKey("Machine"));

  std::vector<DefinitionPtr> all;
  DefinitionStore store(registry);
  EXPECT_EQ(store.load(Hive::CurrentUser, false, all), 3u);
  EXPECT_EQ(store.load(Hive::LocalMachine, true, all), 1u);
  EXPECT_EQ(names(all), (std::vector<std::string>{"Alpha", "beta", "GAMMA", "Machine"}));
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i]->StoredName, all[i]->Name);
    EXPECT_EQ(all[i]->OtherScope, i == 3);
    EXPECT_EQ(all[i]->StoredHive, i == 3 ? Hive::LocalMachine : Hive::CurrentUser);
    EXPECT_FALSE(all[i]->Changed || all[i]->RunStateChanged);
  }
  // A subkey without values is a definition with every default.
  EXPECT_EQ(persistedFields(*all[0]), persistedFields(StartDefinition{}));
}

TEST_F(DefinitionLoadTest, ReadOnlySubkeysAndReadOnlyHivesStillLoad) {
  registry.addKey(Hive::CurrentUser, defKey("Locked"));
  registry.setText(Hive::CurrentUser, defKey("Locked"), "Module", "prog");
  registry.failWritesUnder(Hive::CurrentUser, defKey("Locked"));
  registry.addKey(Hive::LocalMachine, defKey("Shared"));
  registry.setReadOnly(Hive::LocalMachine, true);

  std::vector<bool> writable;
  const DefinitionStore::FirstPassHook hook = [&](StartDefinition&, RegKey& key) {
    writable.push_back(key.writable());
  };
  const auto mine = load(Hive::CurrentUser, false, hook);
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0]->Module, "prog");
  EXPECT_EQ(load(Hive::LocalMachine, true, hook).size(), 1u);
  EXPECT_EQ(writable, (std::vector<bool>{false, false}));
}

TEST_F(DefinitionLoadTest, UnopenableAndOverlongSubkeysAreSkippedWithoutEndingTheList) {
  registry.addKey(Hive::CurrentUser, defKey("A"));
  registry.addKey(Hive::CurrentUser, defKey("B hidden"));
  registry.addKey(Hive::CurrentUser, defKey("C" + std::string(259, 'x')));
  registry.addKey(Hive::CurrentUser, defKey("D"));
  registry.failOpensUnder(Hive::CurrentUser, defKey("B hidden"));
  EXPECT_EQ(names(load(Hive::CurrentUser)), (std::vector<std::string>{"A", "D"}));
}

TEST_F(DefinitionLoadTest, FirstPassSeesEnabledDefinitionsWithTheirKeyOpenForWriting) {
  registry.addKey(Hive::CurrentUser, defKey("On"));
  registry.setDword(Hive::CurrentUser, defKey("Off"), "Disable", 1);
  registry.setDword(Hive::CurrentUser, defKey("Zero"), "Disable", 0);
  std::vector<std::string> seen;
  const auto defs = load(Hive::CurrentUser, false, [&](StartDefinition& def, RegKey& key) {
    seen.push_back(def.Name);
    EXPECT_EQ(writeText(key, "Result", "started"), 0);
  });
  EXPECT_EQ(defs.size(), 3u);
  EXPECT_EQ(seen, (std::vector<std::string>{"On", "Zero"}));
  EXPECT_TRUE(registry.hasValue(Hive::CurrentUser, defKey("On"), "Result"));
  EXPECT_FALSE(registry.hasValue(Hive::CurrentUser, defKey("Off"), "Result"));
}

TEST_F(DefinitionLoadTest, WhatASaveWroteLoadsBackIntoTheSameFields) {
  auto def = std::make_shared<StartDefinition>(everyFieldSet());
  def->Name = "Everything";
  def->Changed = true;
  def->RunStateChanged = true;
  const std::vector<DefinitionPtr> view{def};
  DefinitionStore(registry).save(Hive::CurrentUser, {}, view);
  const auto loaded = load(Hive::CurrentUser);
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(persistedFields(*loaded[0]), persistedFields(*def));
}

// One stored value and the field text it must load as (the default when the value is refused).
struct AcceptanceCase {
  const char* label;
  const char* value;
  RegType type;
  std::vector<std::uint8_t> data;
  std::string expected;
};

void PrintTo(const AcceptanceCase& c, std::ostream* os) { *os << c.label; }

std::string fieldText(const StartDefinition& d, std::string_view value) {
  if (value == "Module") return d.Module;
  if (value == "Result") return d.Result;
  if (value == "Window") return std::to_string(d.Window);
  if (value == "Days") return std::to_string(d.Days);
  if (value == "NetTest") return std::to_string(d.NetTest);
  if (value == "To") return std::to_string(d.To);
  if (value == "Disable") return d.Disable ? "true" : "false";
  if (value == "Executed") return std::to_string(d.Executed);
  if (value == "Tested") return std::to_string(d.Tested);
  return "?";
}

std::vector<std::uint8_t> dword(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

class ValueAcceptanceTest : public ::testing::TestWithParam<AcceptanceCase> {};

TEST_P(ValueAcceptanceTest, LoadsOrKeepsTheDefault) {
  const auto& c = GetParam();
  MemoryRegistry registry;
  registry.setRaw(Hive::CurrentUser, defKey("Def"), c.value, c.type, c.data);
  std::vector<DefinitionPtr> out;
  ASSERT_EQ(DefinitionStore(registry).load(Hive::CurrentUser, false, out), 1u);
  EXPECT_EQ(fieldText(*out[0], c.value), c.expected);
}

const std::string k259(259, 'a');

INSTANTIATE_TEST_SUITE_P(
    Rules, ValueAcceptanceTest,
    ::testing::Values(
        AcceptanceCase{"Text", "Module", RegType::Sz, bytesOf("prog"), "prog"},
        AcceptanceCase{"EmptyText", "Module", RegType::Sz, {}, ""},
        AcceptanceCase{"ExpandSzRefused", "Module", RegType::ExpandSz, bytesOf("prog"), ""},
        AcceptanceCase{"DwordAsTextRefused", "Module", RegType::Dword, dword(7), ""},
        AcceptanceCase{"Text259Loads", "Module", RegType::Sz, bytesOf(k259), k259},
        AcceptanceCase{"Text260Refused", "Module", RegType::Sz, bytesOf(k259 + "a"), ""},
        AcceptanceCase{"Text259WithTerminatorLoads", "Module", RegType::Sz, bytesOf(k259 + '\0'), k259},
        AcceptanceCase{"Text261Refused", "Result", RegType::Sz, bytesOf(k259 + "ab"), ""},
        AcceptanceCase{"NulEndsText", "Result", RegType::Sz, bytesOf(std::string("ab\0cd", 5)), "ab"},
        AcceptanceCase{"Dword", "Window", RegType::Dword, dword(2), "2"},
        AcceptanceCase{"TwoByteDwordRefused", "Window", RegType::Dword, {2, 0}, "0"},
        AcceptanceCase{"EightByteDwordRefused", "Days", RegType::Dword, {3, 0, 0, 0, 0, 0, 0, 0}, "127"},
        AcceptanceCase{"TextAsNumberRefused", "Days", RegType::Sz, bytesOf("3"), "127"},
        AcceptanceCase{"BinaryAsNumberRefused", "Days", RegType::Binary, dword(3), "127"},
        AcceptanceCase{"ZeroDaysLoads", "Days", RegType::Dword, dword(0), "0"},
        AcceptanceCase{"AllBitsNetTestIsMinusOne", "NetTest", RegType::Dword, dword(0xFFFFFFFF), "-1"},
        AcceptanceCase{"NegativeNumber", "To", RegType::Dword, dword(static_cast<std::uint32_t>(-5)), "-5"},
        AcceptanceCase{"DisableOne", "Disable", RegType::Dword, dword(1), "true"},
        AcceptanceCase{"DisableAnyNonZero", "Disable", RegType::Dword, dword(0x80000000), "true"},
        AcceptanceCase{"DisableZero", "Disable", RegType::Dword, dword(0), "false"},
        AcceptanceCase{"DisableAsTextRefused", "Disable", RegType::Sz, bytesOf("1"), "false"},
        AcceptanceCase{"Date", "Executed", RegType::Binary, doubleBytes(45000.5), std::to_string(45000.5)},
        AcceptanceCase{"FourByteDateRefused", "Executed", RegType::Binary, dword(1), std::to_string(0.0)},
        AcceptanceCase{
            "NineByteDateRefused", "Tested", RegType::Binary, {0, 0, 0, 0, 0, 0, 0, 0, 0}, std::to_string(0.0)},
        AcceptanceCase{"DateOfTypeDwordRefused", "Tested", RegType::Dword, doubleBytes(45000.5), std::to_string(0.0)}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kip::test
