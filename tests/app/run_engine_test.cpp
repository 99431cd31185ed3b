#include "app/run_engine.h"

#include <gtest/gtest.h>

#include "doubles/program_doubles.h"
#include "model/registry_layout.h"

namespace kip::test {
namespace {

struct DoneCase {
  const char* label;
  std::int32_t run;   // the "Run" preference
  const char* value;  // a value of the one definition, or nullptr
  std::int32_t data;
  bool hiveProblem;
  bool done;  // the run ends after its first pass
};

class RunEngineDoneTest : public ::testing::TestWithParam<DoneCase>, protected ProgramDoubles {};

TEST_P(RunEngineDoneTest, TheRunEndsAfterItsFirstPassOnlyWhenNothingIsLeftToWaitFor) {
  const auto& c = GetParam();
  const std::string path = std::string(kStartListKey) + "\\Editor";
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", c.run);
  registry.setText(Hive::CurrentUser, path, "Module", "/bin/editor");
  if (c.value) registry.setDword(Hive::CurrentUser, path, c.value, c.data);
  if (c.hiveProblem) registry.setHiveProblem(Hive::LocalMachine, "the machine-wide hive is damaged");
  RunEngine engine({registry, system, atom, clock, network, host, groups, launcher});
  engine.startUp(prompts, Switch::None);
  EXPECT_EQ(engine.autostartRunDone(), c.done);

  // The end writes the switch and the delay back, and the previous-start record after the logon start.
  registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", 77);
  engine.writeProgramEnd();
  const auto run = registry.value(Hive::CurrentUser, kPreferencesKey, "Run");
  ASSERT_TRUE(run);
  EXPECT_EQ(run->data[0], static_cast<std::uint8_t>(c.run));
  EXPECT_TRUE(registry.hasValue(Hive::LocalMachine, kPreviousStartKey, "PrevUser"));
  EXPECT_FALSE(registry.hasValue(Hive::CurrentUser, kPreferencesKey, "Height"));
}

INSTANTIATE_TEST_SUITE_P(Table, RunEngineDoneTest,
                         ::testing::Values(DoneCase{"StartedDuringTheLoad", 1, nullptr, 0, false, true},
                                           DoneCase{"DisabledOnly", 1, "Disable", 1, false, true},
                                           DoneCase{"StartUpDelay", 4, nullptr, 0, false, false},
                                           DoneCase{"LaterGroup", 1, "Sequence", 2, false, false},
                                           DoneCase{"OwnDelay", 1, "Delay", 5, false, false},
                                           DoneCase{"AfterActionPending", 1, "Msg", 3, false, false},
                                           DoneCase{"HiveProblemToReport", 1, nullptr, 0, true, false},
                                           DoneCase{"NoAutostartRun", 0, nullptr, 0, false, false}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kip::test
