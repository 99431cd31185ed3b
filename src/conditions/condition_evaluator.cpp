#include "conditions/condition_evaluator.h"

#include <cmath>
#include <string>

#include "conditions/condition_text.h"
#include "conditions/desktop_conditions.h"
#include "conditions/group_membership_probe.h"

namespace kip {

namespace {

constexpr std::int64_t kLastYear = 9999;
const std::int64_t kLastDay = daysFromCivil(9999, 12, 31);

// Monday is bit 0 of Days, Sunday bit 6.
int dayBit(DateTime moment) { return (dayOfWeek(moment) + 5) % 7; }

// Sunday = 1 to Saturday = 7 of a day count, also for days past the calendar's end.
int weekdayOfDay(std::int64_t day) {
  const std::int64_t fromSaturday = ((day % 7) + 7) % 7;  // 30 December 1899 was a Saturday
  return static_cast<int>((fromSaturday + 6) % 7) + 1;
}

std::optional<std::int64_t> startOfDay(std::int64_t day) {
  if (day > kLastDay) return std::nullopt;
  return day * kMillisecondsPerDay;
}

}  // namespace

std::int64_t toMilliseconds(DateTime moment) {
  return static_cast<std::int64_t>(std::llround(moment * static_cast<double>(kMillisecondsPerDay)));
}

std::optional<std::int64_t> earliestNextStart(DateTime executed, std::int32_t frequency, std::int32_t units) {
  if (units < 0 || units > 5) return 0;
  // A last start that is no moment of the calendar leaves nothing to count from.
  if (!std::isfinite(executed) || executed > kMaxDateTime) return std::nullopt;
  const CivilDateTime last = decodeDateTime(executed);
  const std::int64_t day = daysFromCivil(last.year, last.month, last.day);
  const std::int64_t f = frequency;
  switch (units) {
    case 0: {
      const std::int64_t minutes = last.hour * 60 + last.minute + f;
      const std::int64_t nextDay = day + minutes / 1440;
      if (nextDay > kLastDay) return std::nullopt;
      return day * kMillisecondsPerDay + minutes * 60000;
    }
    case 1: {
      const std::int64_t hours = last.hour + f;
      const std::int64_t nextDay = day + hours / 24;
      if (nextDay > kLastDay) return std::nullopt;
      return day * kMillisecondsPerDay + hours * 3600000;
    }
    case 2:
      return startOfDay(day + f);
    case 3: {
      const std::int64_t target = day + 7 * f;
      if (target > kLastDay + 6) return std::nullopt;
      const int weekday = weekdayOfDay(target);
      return startOfDay(target - (weekday + 6) % 7);
    }
    case 4: {
      const std::int64_t k = last.month + f - 1;
      const std::int64_t year = last.year + k / 12;
      if (year > kLastYear) return std::nullopt;
      return startOfDay(daysFromCivil(static_cast<int>(year), static_cast<int>(k % 12) + 1, 1));
    }
    default: {
      const std::int64_t year = last.year + f;
      if (year > kLastYear) return std::nullopt;
      return startOfDay(daysFromCivil(static_cast<int>(year), 1, 1));
    }
  }
}

ConditionEvaluator::ConditionEvaluator(const EnvironmentSnapshot& env, NetworkResults& results,
                                       const Preferences& prefs, SystemInfo& system, const Clock& clock,
                                       NetworkProbe& probe, GroupMembership& groups)
    : m_env(env),
      m_results(results),
      m_prefs(prefs),
      m_system(system),
      m_clock(clock),
      m_probe(probe),
      m_groups(groups) {}

bool ConditionEvaluator::powerPasses(std::int32_t apm) {
  const auto status = m_system.powerStatus();
  if (!status) return false;
  if (status->acLineStatus == 0) return apm == 2;
  if (status->acLineStatus == 1) return apm == 1;
  return false;
}

bool ConditionEvaluator::changePasses(std::int32_t changes) const {
  if ((changes & ~7) != 0) return true;
  if ((changes & 1) && m_env.ConfigName != m_env.PrevConfig) return true;
  if ((changes & 2) && m_env.PowerState != m_env.PrevPower && !(m_env.PowerState > 0 && m_env.PrevPower > 0))
    return true;
  if ((changes & 4) && m_env.UserName != m_env.PrevUser) return true;
  return false;
}

bool ConditionEvaluator::test(StartDefinition& def) {
  def.RunStateChanged = true;
  def.Tested = m_clock.now();
  def.TestResult = 0;
  def.Result = "SKIP (Failed:";
  const auto failed = [&def](std::int32_t value, const std::string& token) {
    def.TestResult += value;
    def.Result += token;
  };

  if (!def.Configuration.empty() && def.Configuration != m_env.ConfigName)
    failed(fail::kConfiguration, " Config(" + m_env.ConfigName + ");");

  if (def.Apm != 0 && !powerPasses(def.Apm)) failed(fail::kPower, " Power;");

  if (def.Days != 127 && ((def.Days >> dayBit(def.Tested)) & 1) == 0) failed(fail::kDayOfWeek, " DayOfWeek;");

  if (def.From > 0 || def.To < 2400) {
    const CivilDateTime now = decodeDateTime(def.Tested);
    const int t = now.hour * 100 + now.minute;
    if (t < def.From || t > def.To) failed(fail::kTime, " Time;");
  }

  if (def.Frequency > 0 && def.Executed >= 1.0) {
    const auto next = earliestNextStart(def.Executed, def.Frequency, def.Units);
    if (!next || toMilliseconds(def.Tested) <= *next) failed(fail::kFrequency, " Frequency;");
  }

  if (!def.User.empty() && !equalsIgnoringCase(trimBlanks(def.User), m_env.UserName))
    failed(fail::kUser, " User(" + m_env.UserName + ");");

  if (def.Changes != 0 && !changePasses(def.Changes)) failed(fail::kChange, " NoChange;");

  if (def.Net != 0) {
    if (m_results.lastNetwork == 0) refreshNetworkState(m_probe, m_prefs, m_results);
    if ((def.Net == 1 && m_results.lastNetwork < 0) || (def.Net == 2 && m_results.lastNetwork > 0))
      failed(fail::kNet, " Net;");
  }

  if (def.Dun != 0) {
    if (m_results.lastDialUp == 0) m_results.lastDialUp = m_probe.probe("DUN", m_prefs.Proxy, m_prefs.Port);
    if ((def.Dun == 1 && m_results.lastDialUp < 0) || (def.Dun == 2 && m_results.lastDialUp > 0))
      failed(fail::kDialUp, " DUN;");
  }

  if (def.NetTest != 0) {
    const std::int32_t code = m_probe.probe(def.NetResource, m_prefs.Proxy, m_prefs.Port);
    if ((def.NetTest > 0 && code < 0) || (def.NetTest < 0 && code > 0))
      failed(fail::kResource, " Res <Rc" + std::to_string(code) + " '" + def.NetResource + "'>;");
  }

  if (m_env.IsNT && !def.Group.empty()) {
    const std::string group = trimBlanks(def.Group);
    if (groupMembershipProbe(m_groups, m_env.UserName, group) != 0) failed(fail::kGroup, " Group(" + group + ");");
  }

  if ((!def.OnlyShowIn.empty() || !def.NotShowIn.empty()) &&
      !shownInDesktops(def.OnlyShowIn, def.NotShowIn, m_system.currentDesktops()))
    failed(fail::kDesktop, " Desktop;");

  if (const std::string program = trimBlanks(def.TryExec); !program.empty() && !m_system.programInstalled(program))
    failed(fail::kTryExec, " TryExec;");

  if (!trimBlanks(def.AutostartCondition).empty() &&
      !autostartConditionHolds(def.AutostartCondition, m_system).value_or(false))
    failed(fail::kCondition, " Condition;");

  const bool delayed = def.TestResult == 0 && def.Delay > 0;
  if (delayed) {
    def.Countdown = def.Delay;
    def.Result = "DELAY (" + std::to_string(def.Delay) + "s)";
    def.TestResult += fail::kDelay;
  } else {
    def.Countdown = 0;
  }

  if (def.TestResult == 0)
    def.Result = "OK";
  else if (!delayed)
    def.Result.back() = ')';
  return def.TestResult == 0;
}

}  // namespace kip
