#pragma once

#include "base/date_time.h"

namespace kip {

// The present moment as local date and time, behind a seam so that tests can fix it.
class Clock {
 public:
  virtual ~Clock() = default;
  // The current local date and time in day-count form.
  [[nodiscard]] virtual DateTime now() const = 0;
};

}  // namespace kip
