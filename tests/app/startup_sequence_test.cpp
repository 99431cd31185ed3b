#include "app/startup_sequence.h"

#include <gtest/gtest.h>

#include "doubles/fake_logon_atom.h"
#include "doubles/fake_system_info.h"
#include "doubles/memory_registry.h"
#include "doubles/scripted_prompts.h"
#include "model/registry_layout.h"

namespace kip::test {
namespace {

struct SwitchCase {
  std::vector<std::string> args;
  Switch expected;
};

void PrintTo(const SwitchCase& c, std::ostream* os) {
  *os << "args:";
  for (const auto& a : c.args) *os << " '" << a << "'";
}

class ParseSwitchTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(ParseSwitchTest, OnlyTheWholeFirstArgumentCounts) {
  EXPECT_EQ(parseSwitch(GetParam().args), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ParseSwitchTest,
                         ::testing::Values(SwitchCase{{}, Switch::None}, SwitchCase{{"/r"}, Switch::Run},
                                           SwitchCase{{"/R"}, Switch::Run}, SwitchCase{{"/g"}, Switch::Global},
                                           SwitchCase{{"/G"}, Switch::Global}, SwitchCase{{"/rx"}, Switch::None},
                                           SwitchCase{{"r"}, Switch::None}, SwitchCase{{"-r"}, Switch::None},
                                           SwitchCase{{""}, Switch::None}, SwitchCase{{"x", "/r"}, Switch::None},
                                           SwitchCase{{"/g", "/r"}, Switch::Global},
                                           SwitchCase{{"/r", "/g"}, Switch::Run}));

class StartupSequenceTest : public ::testing::Test {
 protected:
  void definition(Hive hive, const std::string& name, bool disabled = false) {
    registry.setText(hive, std::string(kStartListKey) + "\\" + name, "Module", name + ".bin");
    if (disabled) registry.setDword(hive, std::string(kStartListKey) + "\\" + name, "Disable", 1);
  }
  void run(std::int32_t runPreference) { registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", runPreference); }
  void start(Switch sw = Switch::None) {
    runStartupSequence(state, StartupServices{registry, system, atom, prompts}, sw,
                       [this](StartDefinition& def, RegKey&) { firstPass.push_back(def.Name); });
  }
  std::vector<std::string> loaded() const {
    std::vector<std::string> out;
    for (const auto& def : state.definitions) out.push_back(def->Name + (def->OtherScope ? "*" : ""));
    return out;
  }

  MemoryRegistry registry;
  FakeSystemInfo system;
  FakeLogonAtom atom;
  ScriptedPrompts prompts;
  AppState state;
  std::vector<std::string> firstPass;
};

TEST_F(StartupSequenceTest, FirstStartAfterLogonWithRunOnIsAnAutostartRun) {
  run(31);
  definition(Hive::CurrentUser, "Mine");
  definition(Hive::CurrentUser, "Off", true);
  definition(Hive::LocalMachine, "Shared");
  start();
  EXPECT_TRUE(atom.present);
  EXPECT_TRUE(state.run.LogonStart);
  EXPECT_TRUE(state.run.autostartDecision);
  EXPECT_TRUE(state.run.autostartRun);
  EXPECT_EQ(state.run.StartupCountdown, 30);
  EXPECT_FALSE(state.run.GlobalEdit);
  EXPECT_EQ(loaded(), (std::vector<std::string>{"Mine", "Off", "Shared*"}));
  EXPECT_EQ(firstPass, (std::vector<std::string>{"Mine", "Shared"}));
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(StartupSequenceTest, LaterStartInTheSameLogonStartsNothing) {
  run(1);
  definition(Hive::CurrentUser, "Mine");
  atom.present = true;
  start();
  EXPECT_FALSE(state.run.LogonStart);
  EXPECT_FALSE(state.run.autostartRun);
  EXPECT_EQ(atom.addCalls, 0);
  EXPECT_TRUE(firstPass.empty());
  EXPECT_EQ(loaded(), std::vector<std::string>{"Mine"});
}

TEST_F(StartupSequenceTest, AtomThatCannotBeAddedDisablesAutostart) {
  run(1);
  definition(Hive::CurrentUser, "Mine");
  atom.addFails = true;
  start();
  EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{std::string(kAtomErrorMessage)});
  EXPECT_FALSE(state.run.LogonStart);
  EXPECT_FALSE(state.run.autostartRun);
  EXPECT_TRUE(firstPass.empty());
}

TEST_F(StartupSequenceTest, RunSwitchForcesTheAutostartRunEvenWithRunOffAndTheAtomPresent) {
  run(0);
  atom.present = true;
  definition(Hive::CurrentUser, "Mine");
  start(Switch::Run);
  EXPECT_TRUE(state.run.LogonStart);
  EXPECT_TRUE(state.run.autostartRun);
  EXPECT_EQ(state.run.StartupCountdown, 0);
  EXPECT_EQ(firstPass, std::vector<std::string>{"Mine"});
}

TEST_F(StartupSequenceTest, RunOffKeepsItsDelayAndStartsNothing) {
  run(-15);
  definition(Hive::CurrentUser, "Mine");
  start();
  EXPECT_TRUE(state.run.LogonStart);
  EXPECT_FALSE(state.run.autostartRun);
  EXPECT_EQ(state.prefs.StartupDelay, 15);
  EXPECT_EQ(state.run.StartupCountdown, 0);
  EXPECT_EQ(encodeRun(state.prefs.AutostartEnabled, state.prefs.StartupDelay), -15);
}

TEST_F(StartupSequenceTest, NoDefinitionsMeansNoAutostartRun) {
  start(Switch::Run);
  EXPECT_TRUE(state.run.autostartDecision);
  EXPECT_FALSE(state.run.autostartRun);
  EXPECT_EQ(state.run.StartupCountdown, 0);
}

TEST_F(StartupSequenceTest, GlobalSwitchWithoutWriteAccessRevertsToTheLocalScope) {
  run(1);
  definition(Hive::CurrentUser, "Mine");
  definition(Hive::LocalMachine, "Shared");
  registry.setReadOnly(Hive::LocalMachine, true);
  start(Switch::Global);
  EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{std::string(kGlobalRefusedMessage)});
  EXPECT_FALSE(state.run.GlobalEdit);
  EXPECT_FALSE(state.run.LogonStart);
  EXPECT_FALSE(state.run.autostartRun);
  EXPECT_EQ(state.editScope(), Hive::CurrentUser);
  EXPECT_EQ(loaded(), (std::vector<std::string>{"Mine", "Shared*"}));
  EXPECT_TRUE(firstPass.empty());
}

TEST_F(StartupSequenceTest, GlobalSwitchWithAccessEditsTheMachineListFirst) {
  run(1);
  definition(Hive::CurrentUser, "Mine");
  start(Switch::Global);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_TRUE(state.run.GlobalEdit);
  EXPECT_FALSE(state.run.LogonStart);
  EXPECT_FALSE(state.run.autostartDecision);
  EXPECT_FALSE(state.run.autostartRun);
  // The machine list was created for writing although it held nothing.
  EXPECT_TRUE(registry.hasKey(Hive::LocalMachine, kStartListKey));
  EXPECT_EQ(loaded(), std::vector<std::string>{"Mine*"});
  definition(Hive::LocalMachine, "Shared");
  AppState again;
  runStartupSequence(again, StartupServices{registry, system, atom, prompts}, Switch::Global);
  ASSERT_EQ(again.definitions.size(), 2u);
  EXPECT_EQ(again.definitions[0]->Name, "Shared");
  EXPECT_FALSE(again.definitions[0]->OtherScope);
  EXPECT_TRUE(again.definitions[1]->OtherScope);
}

TEST_F(StartupSequenceTest, GathersTheEnvironmentAndKeepsASavedCopyOfThePreferences) {
  system.nt = true;
  system.user = "carol";
  system.power = PowerStatus{0, 80};
  registry.setDword(Hive::LocalMachine, kIdConfigDbKey, "CurrentConfig", 1);
  registry.setText(Hive::LocalMachine, std::string(kHardwareProfilesKey) + "\\0001", "FriendlyName", "Docked");
  registry.setText(Hive::LocalMachine, kPreviousStartKey, "PrevUser", "dave");
  registry.setDword(Hive::LocalMachine, kPreviousStartKey, "PrevPower", 255);
  registry.setText(Hive::CurrentUser, kPreferencesKey, "Network", "DUN");
  start();
  EXPECT_TRUE(state.env.IsNT);
  EXPECT_EQ(state.env.UserName, "carol");
  EXPECT_EQ(state.env.PowerState, 80);
  EXPECT_EQ(state.env.ConfigName, "Docked");
  EXPECT_EQ(state.env.PrevUser, "dave");
  EXPECT_EQ(state.env.PrevPower, 255);
  EXPECT_EQ(state.env.PrevConfig, "");
  EXPECT_EQ(state.prefs.Network, "DUN");
  EXPECT_EQ(state.savedPrefs.Network, "DUN");
  EXPECT_EQ(system.powerCalls, 1);
}

TEST_F(StartupSequenceTest, UnavailableFactsGiveTheirFailureValues) {
  system.user = std::nullopt;
  system.power = std::nullopt;
  start();
  EXPECT_EQ(state.env.UserName, "");
  EXPECT_EQ(state.env.PowerState, -1);
  EXPECT_EQ(state.env.ConfigName, "");
}

}  // namespace
}  // namespace kip::test
