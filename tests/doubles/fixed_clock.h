#pragma once

#include "base/date_time.h"
#include "platform/clock.h"

namespace kip::test {

// A clock that shows whatever moment the test sets.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(DateTime moment = encodeDateTime({2026, 12, 8, 9, 30})) : m_now(moment) {}
  [[nodiscard]] DateTime now() const override { return m_now; }
  void set(DateTime moment) { m_now = moment; }
  void set(const CivilDateTime& civil) { m_now = encodeDateTime(civil); }
  void advanceSeconds(double seconds) { m_now += seconds / 86400.0; }

 private:
  DateTime m_now;
};

}  // namespace kip::test
