#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace kip {

// The friendly names of the machine's hardware configurations, in registry order; empty when the keys
// cannot be opened.
std::vector<std::string> readHardwareProfileNames(Registry& registry, bool isNT);

}  // namespace kip
