#include <gtest/gtest.h>

#include "conditions/condition_evaluator.h"
#include "doubles/fake_probes.h"
#include "doubles/fixed_clock.h"

namespace kip::test {
namespace {

struct FrequencyCase {
  const char* name;
  CivilDateTime executed;
  std::int32_t frequency;
  std::int32_t units;
  std::optional<CivilDateTime> next;  // nullopt: beyond the calendar
};

std::ostream& operator<<(std::ostream& out, const FrequencyCase& c) { return out << c.name; }

class FrequencyTest : public ::testing::TestWithParam<FrequencyCase> {
 protected:
  bool passesAt(DateTime moment) {
    clock.set(moment);
    StartDefinition def;
    def.Frequency = GetParam().frequency;
    def.Units = GetParam().units;
    def.Executed = encodeDateTime(GetParam().executed);
    return evaluator.test(def);
  }

  EnvironmentSnapshot env;
  NetworkResults results;
  Preferences prefs;
  FakeProbes probes;
  FixedClock clock;
  ConditionEvaluator evaluator{env, results, prefs, probes.system, clock, probes.probe, probes.groups};
};

TEST_P(FrequencyTest, EarliestNextStart) {
  const auto& c = GetParam();
  const auto next = earliestNextStart(encodeDateTime(c.executed), c.frequency, c.units);
  if (!c.next) {
    EXPECT_FALSE(next.has_value());
    return;
  }
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(*next, toMilliseconds(encodeDateTime(*c.next)));
}

TEST_P(FrequencyTest, PassesOnlyStrictlyAfterTheEarliestNextStart) {
  const auto& c = GetParam();
  if (!c.next) {
    // However late the test, a next start beyond the calendar never comes.
    EXPECT_FALSE(passesAt(encodeDateTime({9999, 12, 31, 23, 59, 59, 999})));
    return;
  }
  const DateTime next = encodeDateTime(*c.next);
  EXPECT_FALSE(passesAt(next - 1.0 / 86400000.0));
  EXPECT_FALSE(passesAt(next));
  EXPECT_TRUE(passesAt(next + 1.0 / 86400000.0));
}

using C = CivilDateTime;

INSTANTIATE_TEST_SUITE_P(
    Units, FrequencyTest,
    ::testing::Values(
        FrequencyCase{"MinuteAcrossMidnightDropsSeconds", C{2026, 12, 7, 23, 59, 30}, 1, 0, C{2026, 12, 8, 0, 0}},
        FrequencyCase{"MinutesAcrossYearEnd", C{2026, 12, 31, 23, 58, 10}, 5, 0, C{2027, 1, 1, 0, 3}},
        FrequencyCase{"MillionMinutes", C{2026, 12, 7, 0, 0}, 1000000, 0, C{2028, 10, 31, 10, 40}},
        FrequencyCase{"HourAcrossYearEnd", C{2026, 12, 31, 23, 45}, 1, 1, C{2027, 1, 1, 0, 0}},
        FrequencyCase{"HoursAcrossFebruaryEnd", C{2026, 2, 28, 22, 10}, 3, 1, C{2026, 3, 1, 1, 0}},
        FrequencyCase{"HourIntoLeapDay", C{2024, 2, 28, 23, 0}, 1, 1, C{2024, 2, 29, 0, 0}},
        FrequencyCase{"DayAfterLateStart", C{2026, 12, 7, 23, 59}, 1, 2, C{2026, 12, 8, 0, 0}},
        FrequencyCase{"DayAcrossYearEnd", C{2026, 12, 31, 8, 0}, 1, 2, C{2027, 1, 1, 0, 0}},
        FrequencyCase{"DayIntoLeapDay", C{2024, 2, 28, 12, 0}, 1, 2, C{2024, 2, 29, 0, 0}},
        FrequencyCase{"WeekFromWednesdayIsTheNextSunday", C{2026, 12, 9, 15, 0}, 1, 3, C{2026, 12, 13, 0, 0}},
        FrequencyCase{"WeekFromSunday", C{2026, 12, 13, 10, 0}, 1, 3, C{2026, 12, 20, 0, 0}},
        FrequencyCase{"WeekAcrossYearEnd", C{2026, 12, 26, 10, 0}, 1, 3, C{2026, 12, 27, 0, 0}},
        FrequencyCase{"MonthFromJanuary31", C{2026, 1, 31, 18, 0}, 1, 4, C{2026, 2, 1, 0, 0}},
        FrequencyCase{"TwelveMonthsFromDecember", C{2002, 12, 15, 9, 0}, 12, 4, C{2003, 12, 1, 0, 0}},
        FrequencyCase{"MonthAcrossYearEnd", C{2026, 12, 31, 23, 59}, 1, 4, C{2027, 1, 1, 0, 0}},
        FrequencyCase{"FourteenMonths", C{2026, 11, 5, 9, 0}, 14, 4, C{2028, 1, 1, 0, 0}},
        FrequencyCase{"YearFromMidYear", C{2026, 6, 15, 9, 0}, 1, 5, C{2027, 1, 1, 0, 0}},
        FrequencyCase{"YearFromNewYearsEve", C{2026, 12, 31, 23, 59}, 1, 5, C{2027, 1, 1, 0, 0}},
        FrequencyCase{"LastWeekOfTheCalendar", C{9999, 12, 25, 9, 0}, 1, 3, C{9999, 12, 26, 0, 0}}));

INSTANTIATE_TEST_SUITE_P(
    BeyondTheCalendar, FrequencyTest,
    ::testing::Values(FrequencyCase{"Minute", C{9999, 12, 31, 23, 59}, 1, 0, std::nullopt},
                      FrequencyCase{"Hour", C{9999, 12, 31, 23, 0}, 1, 1, std::nullopt},
                      FrequencyCase{"Day", C{9999, 12, 31, 0, 0}, 1, 2, std::nullopt},
                      FrequencyCase{"Week", C{9999, 12, 27, 0, 0}, 1, 3, std::nullopt},
                      FrequencyCase{"Month", C{9999, 12, 1, 0, 0}, 1, 4, std::nullopt},
                      FrequencyCase{"Year", C{9999, 1, 1, 0, 0}, 1, 5, std::nullopt},
                      FrequencyCase{"HugeHours", C{2026, 1, 1, 0, 0}, 2147483647, 1, std::nullopt},
                      FrequencyCase{"HugeDays", C{2026, 1, 1, 0, 0}, 2147483647, 2, std::nullopt},
                      FrequencyCase{"HugeWeeks", C{2026, 1, 1, 0, 0}, 2147483647, 3, std::nullopt},
                      FrequencyCase{"HugeMonths", C{2026, 1, 1, 0, 0}, 2147483647, 4, std::nullopt},
                      FrequencyCase{"HugeYears", C{2026, 1, 1, 0, 0}, 2147483647, 5, std::nullopt}));

TEST(EarliestNextStart, UnknownUnitsSetNoLimit) {
  const DateTime last = encodeDateTime({2026, 12, 7, 10, 0});
  EXPECT_EQ(earliestNextStart(last, 5, 9), 0);
  EXPECT_EQ(earliestNextStart(last, 5, -1), 0);
}

TEST(EarliestNextStart, LastStartOutsideTheCalendarNeverAllowsAnother) {
  EXPECT_FALSE(earliestNextStart(1e300, 1, 2).has_value());
  EXPECT_FALSE(earliestNextStart(std::numeric_limits<double>::infinity(), 1, 0).has_value());
}

}  // namespace
}  // namespace kip::test
