#pragma once

#include <string>

#include "platform/registry.h"

namespace kip {

// A registry error number in words for kipctl's messages: "access denied (5)", "error 1392", ...
std::string describeRegCode(RegCode code);

// describeRegCode followed by the hive's own problem (a damaged file, say) when it reports one; only that
// problem when it is the cause (a damaged file, a missing folder).
std::string describeRegCode(RegCode code, const Registry& registry, Hive hive);

}  // namespace kip
