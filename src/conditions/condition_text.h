#pragma once

#include <string>
#include <string_view>

namespace kip {

// text without leading and trailing blanks and control characters.
std::string trimBlanks(std::string_view text);

// Compares two UTF-8 texts without regard to letter case, by the rule the registry compares names with
// (foldCase); bytes that are no valid UTF-8 compare as they are.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kip
