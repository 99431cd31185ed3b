#pragma once

#include <cstdint>
#include <ctime>

namespace kip {

// A moment as a count of days since 30 December 1899 in local time, the fraction being the time of day.
// 0.0 means never.
using DateTime = double;

struct CivilDateTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Whole days since 30 December 1899 of a calendar date (proleptic Gregorian).
std::int64_t daysFromCivil(int year, int month, int day);
// The calendar date of a day count.
void civilFromDays(std::int64_t days, int& year, int& month, int& day);

DateTime encodeDateTime(const CivilDateTime& civil);
// The calendar fields of a day count; a value outside 1 January 0001 to 31 December 9999 (a damaged
// registry value, say) is taken as the nearest end of that range, and one that is not a number as 0.0.
CivilDateTime decodeDateTime(DateTime value);
// The local date and time of a moment since the epoch.
DateTime localDateTime(std::time_t seconds, int milliseconds = 0);
// Day of the week counted Sunday = 1 to Saturday = 7; out-of-range values as for decodeDateTime.
int dayOfWeek(DateTime value);

// The last day the calendar can hold (31 December 9999); later dates are out of range.
inline constexpr double kMaxDateTime = 2958465.99999999;
// The first day the calendar can hold (1 January 0001).
inline constexpr double kMinDateTime = -693593.0;

// A day count brought into the range the calendar can hold (see decodeDateTime).
DateTime clampDateTime(DateTime value);

}  // namespace kip
