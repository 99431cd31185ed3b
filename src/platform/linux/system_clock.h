#pragma once

#include "platform/clock.h"

namespace kip {

// The system's wall clock in local time.
class SystemClock final : public Clock {
 public:
  [[nodiscard]] DateTime now() const override;
};

}  // namespace kip
