#pragma once

#include <map>
#include <set>
#include <string>

#include "conditions/condition_tester.h"
#include "platform/clock.h"

namespace kip::test {

// A condition test whose verdicts the test chooses by definition name. A passing definition with a
// Delay is queued by its delay as the real test does: Countdown = Delay and false.
class FakeConditionTester final : public ConditionTester {
 public:
  explicit FakeConditionTester(const Clock* clock = nullptr) : m_clock(clock) {}

  bool test(StartDefinition& definition) override;

  // Names of definitions that fail a condition (TestResult 1).
  std::set<std::string> failing;
  // How often each definition was tested.
  std::map<std::string, int> calls;

 private:
  const Clock* m_clock;
};

}  // namespace kip::test
