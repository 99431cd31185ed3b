#include "base/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kip {
namespace {

TEST(DateTime, EpochAndKnownDays) {
  EXPECT_EQ(daysFromCivil(1899, 12, 30), 0);
  EXPECT_EQ(daysFromCivil(1900, 1, 1), 2);
  EXPECT_EQ(daysFromCivil(2000, 1, 1), 36526);
  int y = 0, m = 0, d = 0;
  civilFromDays(36526, y, m, d);
  EXPECT_EQ(y, 2000);
  EXPECT_EQ(m, 1);
  EXPECT_EQ(d, 1);
}

TEST(DateTime, RoundTripKeepsFieldsToTheMillisecond) {
  const CivilDateTime in{2024, 2, 29, 23, 59, 58, 999};
  const auto out = decodeDateTime(encodeDateTime(in));
  EXPECT_EQ(out.year, 2024);
  EXPECT_EQ(out.month, 2);
  EXPECT_EQ(out.day, 29);
  EXPECT_EQ(out.hour, 23);
  EXPECT_EQ(out.minute, 59);
  EXPECT_EQ(out.second, 58);
  EXPECT_EQ(out.millisecond, 999);
}

TEST(DateTime, DayOfWeekCountsSundayAsOne) {
  EXPECT_EQ(dayOfWeek(encodeDateTime({1899, 12, 30})), 7);     // Saturday
  EXPECT_EQ(dayOfWeek(encodeDateTime({2026, 12, 6})), 1);      // Sunday
  EXPECT_EQ(dayOfWeek(encodeDateTime({2026, 12, 9, 12})), 4);  // Wednesday
}

TEST(DateTime, CalendarLimitsAreTheFirstAndLastDay) {
  EXPECT_EQ(static_cast<double>(daysFromCivil(1, 1, 1)), kMinDateTime);
  EXPECT_EQ(static_cast<double>(daysFromCivil(9999, 12, 31)), std::floor(kMaxDateTime));
}

TEST(DateTime, DamagedValuesDecodeWithinTheCalendar) {
  const auto huge = decodeDateTime(1e300);
  EXPECT_EQ(huge.year, 9999);
  EXPECT_EQ(huge.month, 12);
  EXPECT_EQ(huge.day, 31);
  EXPECT_EQ(decodeDateTime(-1e300).year, 1);
  const auto nan = decodeDateTime(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(nan.year, 1899);
  EXPECT_EQ(nan.day, 30);
  EXPECT_EQ(dayOfWeek(std::numeric_limits<double>::infinity()), dayOfWeek(kMaxDateTime));
  EXPECT_EQ(clampDateTime(45000.5), 45000.5);
}

}  // namespace
}  // namespace kip
