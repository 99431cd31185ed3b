#include "engine/start_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doubles/fake_condition_tester.h"

namespace kip::test {
namespace {

// A definition of a case: name, Sequence, Delay, Wait, Msg; a name starting with "!" fails its test, one
// starting with "-" is disabled.
struct Def {
  std::string name;
  std::int32_t sequence = 0, delay = 0, wait = 0, msg = 0;
};

// Definitions in load order, the start-up delay, and each definition's planned second (-1: does not start).
struct PlanCase {
  std::int32_t startupDelay;
  std::vector<Def> defs;
  std::vector<std::int64_t> seconds;
};

class StartPlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(StartPlanTest, StartsEachDefinitionAtTheSecondTheQueueWould) {
  const DateTime logon = encodeDateTime({2026, 12, 8, 9, 0});
  SimulatedClock clock(logon);
  FakeConditionTester tester(&clock);
  std::vector<DefinitionPtr> definitions;
  for (const auto& d : GetParam().defs) {
    auto def = std::make_shared<StartDefinition>();
    def->Name = d.name;
    def->Sequence = d.sequence;
    def->Delay = d.delay;
    def->Wait = d.wait;
    def->Msg = d.msg;
    def->Disable = d.name.starts_with("-");
    def->Executed = 1.0;
    if (d.name.starts_with("!")) tester.failing.insert(d.name);
    definitions.push_back(def);
  }
  const auto plan = planAutostartRun(definitions, GetParam().startupDelay, tester, clock);
  ASSERT_EQ(plan.size(), definitions.size());
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const auto& name = definitions[i]->Name;
    EXPECT_EQ(plan[i].second.value_or(-1), GetParam().seconds[i]) << name;
    EXPECT_EQ(plan[i].tested, !name.starts_with("-")) << name;
    if (!plan[i].second) {
      EXPECT_EQ(plan[i].definition->Executed, 1.0) << name;
    }
  }
  EXPECT_EQ(definitions[0]->Countdown, 0);  // the definitions themselves are left alone
  EXPECT_EQ(definitions[0]->Result, "");
}

INSTANTIATE_TEST_SUITE_P(
    Runs, StartPlanTest,
    ::testing::Values(PlanCase{0, {{"a"}}, {0}},                     // started during the load
                      PlanCase{0, {{"a", 2}}, {2}},                  // one second after group 2 becomes current
                      PlanCase{30, {{"a"}, {"b", 0, 5}}, {31, 35}},  // group 0 counts from the 31st tick
                      PlanCase{0, {{"a", 1, 5}, {"b", 1, 10}, {"c", 2}}, {6, 11, 12}},
                      PlanCase{0, {{"a", 1, 0, 0, 20}, {"b", 2}}, {2, 24}},   // the after-action holds group 2 back
                      PlanCase{0, {{"a", 0, 0, 10}, {"b"}}, {0, 10}},         // a wait at its limit during the load
                      PlanCase{0, {{"a", 1, 0, 5}, {"b", 1, 3}}, {2, 9}},     // a wait in a tick stops the countdowns
                      PlanCase{0, {{"!a"}, {"-b"}, {"c", -3}}, {-1, -1, 2}},  // failed, disabled, a negative Sequence
                      PlanCase{10, {{"a", 0, 2592000}, {"b", 7, 0, 0, 86400}, {"c", 9}}, {2592010, 2592011, 2678413}}));

}  // namespace
}  // namespace kip::test
