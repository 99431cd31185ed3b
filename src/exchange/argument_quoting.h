#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kip {

// Quotes one argument so that the launcher's argument splitting (blanks separate, double quotes group,
// backslashes escape only before a quote) gives it back unchanged: left as it is when it holds no blank, tab
// or quote and is not empty, else put in double quotes with every quote and every run of backslashes before
// a quote or the closing quote doubled up.
std::string quoteArgument(std::string_view argument);

// The arguments quoted one by one and joined with single blanks.
std::string quoteArguments(std::span<const std::string> arguments);

}  // namespace kip
