#pragma once

#include "model/start_definition.h"

namespace kip {

// Decides whether a definition may start now and records the outcome in it.
class ConditionTester {
 public:
  virtual ~ConditionTester() = default;
  // Tests every condition; true when all passed and no delay is pending. Sets Tested, TestResult,
  // Result, Countdown and RunStateChanged.
  virtual bool test(StartDefinition& definition) = 0;
};

}  // namespace kip
