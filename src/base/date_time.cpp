#include "base/date_time.h"

#include <algorithm>
#include <cmath>

namespace kip {

namespace {
// Day number of 30 December 1899 in the days-from-1970 count below.
constexpr std::int64_t kEpochShift = -25569;

std::int64_t daysFrom1970(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
}  // namespace

std::int64_t daysFromCivil(int year, int month, int day) {
  return daysFrom1970(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochShift;
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
  const std::int64_t z = days + kEpochShift + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

DateTime encodeDateTime(const CivilDateTime& c) {
  const auto days = static_cast<double>(daysFromCivil(c.year, c.month, c.day));
  const double ms = ((c.hour * 60.0 + c.minute) * 60.0 + c.second) * 1000.0 + c.millisecond;
  return days + ms / 86400000.0;
}

DateTime clampDateTime(DateTime value) {
  if (std::isnan(value)) return 0.0;
  return std::clamp(value, kMinDateTime, kMaxDateTime);
}

CivilDateTime decodeDateTime(DateTime value) {
  value = clampDateTime(value);
  CivilDateTime c;
  const double whole = std::floor(value);
  auto ms = static_cast<std::int64_t>(std::llround((value - whole) * 86400000.0));
  auto days = static_cast<std::int64_t>(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    ++days;
  }
  civilFromDays(days, c.year, c.month, c.day);
  c.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  c.second = static_cast<int>(ms % 60);
  ms /= 60;
  c.minute = static_cast<int>(ms % 60);
  c.hour = static_cast<int>(ms / 60);
  return c;
}

DateTime localDateTime(std::time_t seconds, int milliseconds) {
  std::tm tm{};
  localtime_r(&seconds, &tm);
  CivilDateTime c{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, milliseconds};
  return encodeDateTime(c);
}

int dayOfWeek(DateTime value) {
  // 30 December 1899 was a Saturday (7).
  value = clampDateTime(value);
  const auto days = static_cast<std::int64_t>(std::floor(value));
  const auto r = ((days % 7) + 7) % 7;  // 0 = Saturday
  return static_cast<int>((r + 6) % 7) + 1;
}

}  // namespace kip
