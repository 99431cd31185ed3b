#pragma once

#include <string>
#include <string_view>

namespace kip {

// A message written for a dialog, made one line for a terminal: a line that ends with ":" runs on into
// its list, the items of an indented list are joined by ", ", other lines by "; "; empty lines go.
std::string oneLine(std::string_view text);

}  // namespace kip
