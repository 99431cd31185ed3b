#include "ctl/reg_code_text.h"

#include "platform/win_error.h"

namespace kip {

std::string describeRegCode(RegCode code) {
  const auto number = " (" + std::to_string(code) + ")";
  switch (code) {
    case win::kFileNotFound:
      return "not found" + number;
    case win::kAccessDenied:
      return "access denied" + number + ": the hive file may not be written";
    case win::kInvalidParameter:
      return "invalid name or parameter" + number + " (a key name may not contain \\)";
    case win::kKeyDeleted:
      return "the key was deleted meanwhile" + number;
    case win::kFileCorrupt:
      return "the hive file is damaged" + number;
    case kRegAlreadyExists:
      return "already exists" + number;
    default:
      return "error " + std::to_string(code);
  }
}

std::string describeRegCode(RegCode code, const Registry& registry, Hive hive) {
  auto text = describeRegCode(code);
  if (const auto problem = registry.hiveProblem(hive); !problem.empty()) text += "; " + problem;
  return text;
}

}  // namespace kip
