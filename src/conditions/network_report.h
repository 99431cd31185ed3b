#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kip {

// How the options dialog's network test shows its outcome.
enum class ReportSeverity { Information, Warning, Error };

// The label of a test text: "MS Logon" for the empty text, else the text itself.
std::string networkTestLabel(std::string_view testText);
// The options dialog's report of a probe code, label included: "Network Present (MS Logon)",
// "Network detect failed (DUN)", "No Network: Rc-53 (\\srv\x)".
std::string networkTestReport(std::int32_t code, std::string_view testText);
// Information above 0, warning at 0, error below 0.
ReportSeverity networkTestSeverity(std::int32_t code);

}  // namespace kip
