#pragma once

#include <string>
#include <string_view>

#include "model/start_definition.h"

namespace kip {

// The list's "Power" text: power, network and dial-up conditions ("Mains,Net").
std::string buildStateSummary(std::int32_t apm, std::int32_t net, std::int32_t dun);
// The list's "Options" text: one token per condition or timing in force ("User; Time; Dlay").
std::string buildConditionSummary(const StartDefinition& definition);
// The short word of a timing unit index (Seconds, Minutes, Hours, Days) in the "Timers" text.
std::string_view timingUnitWord(int unit);

}  // namespace kip
