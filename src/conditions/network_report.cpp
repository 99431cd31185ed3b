#include "conditions/network_report.h"

namespace kip {

std::string networkTestLabel(std::string_view testText) {
  return testText.empty() ? std::string("MS Logon") : std::string(testText);
}

std::string networkTestReport(std::int32_t code, std::string_view testText) {
  std::string text = code > 0    ? std::string("Network Present")
                     : code == 0 ? std::string("Network detect failed")
                                 : "No Network: Rc" + std::to_string(code);
  return text + " (" + networkTestLabel(testText) + ")";
}

ReportSeverity networkTestSeverity(std::int32_t code) {
  return code > 0 ? ReportSeverity::Information : code == 0 ? ReportSeverity::Warning : ReportSeverity::Error;
}

}  // namespace kip
