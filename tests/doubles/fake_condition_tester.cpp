#include "fake_condition_tester.h"

namespace kip::test {

bool FakeConditionTester::test(StartDefinition& definition) {
  ++calls[definition.Name];
  definition.RunStateChanged = true;
  if (m_clock) definition.Tested = m_clock->now();
  if (failing.count(definition.Name) != 0) {
    definition.TestResult = 1;
    definition.Result = "Failed: Configuration";
    definition.Countdown = 0;
    return false;
  }
  if (definition.Delay > 0) {
    definition.TestResult = 64;
    definition.Result = "Failed: Delay";
    definition.Countdown = definition.Delay;
    return false;
  }
  definition.TestResult = 0;
  definition.Result = "All conditions passed!";
  definition.Countdown = 0;
  return true;
}

}  // namespace kip::test
