#include "ui/logic/definition_summaries.h"

namespace kip {

std::string buildStateSummary(std::int32_t apm, std::int32_t net, std::int32_t dun) {
  std::string text = apm == 1 ? "Mains" : apm == 2 ? "Battery" : "";
  if (net != 0) {
    if (apm != 0) text += ',';
    text += net == 1 ? "Net" : net == 2 ? "NoNet" : "";
  }
  if (dun != 0) {
    if (apm != 0 || net != 0) text += ',';
    text += dun == 1 ? "Dialed" : dun == 2 ? "NoDialup" : "";
  }
  return text;
}

std::string buildConditionSummary(const StartDefinition& d) {
  std::string text;
  if (!d.User.empty()) text += "User; ";
  if (d.Days != 127) text += "Day; ";
  if (d.From != 0 || d.To != 2400) text += "Time; ";
  if (d.Frequency != 0) text += "Freq; ";
  if (d.Changes != 0) text += "Chng; ";
  if (d.NetTest != 0) text += "Res; ";
  if (d.Delay != 0) text += "Dlay; ";
  if (d.Msg != 0) text += "Act; ";
  if (d.Wait != 0) text += d.WaitType != 0 ? "Wait; " : "Idle; ";
  if (text.size() >= 2) text.resize(text.size() - 2);
  return text;
}

std::string_view timingUnitWord(int unit) {
  switch (unit) {
    case 0:
      return "sec";
    case 1:
      return "min";
    case 2:
      return "hour";
    case 3:
      return "day";
    default:
      return "";
  }
}

}  // namespace kip
