#include "ctl/reg_code_text.h"

#include "base/win_error.h"

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
    case win::kBusy:
      return "the hive is in use by another program" + number + "; try again when it has finished";
    case win::kPathNotFound:
      return "the folder of the hive file is missing" + number;
    default:
      return "error " + std::to_string(code);
  }
}

std::string describeRegCode(RegCode code, const Registry& registry, Hive hive) {
  const auto problem = registry.hiveProblem(hive);
  // The hive's own words say it best when the failure is the hive itself.
  if (!problem.empty() && (code == win::kFileCorrupt || code == win::kPathNotFound || code == win::kFileNotFound))
    return problem;
  auto text = describeRegCode(code);
  if (!problem.empty()) text += "; " + problem;
  return text;
}

}  // namespace kip
