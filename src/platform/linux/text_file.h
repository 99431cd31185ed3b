#pragma once

#include <string>

namespace kip {

// The first line of a small text file without its line end and trailing blanks; empty when the file
// cannot be read.
std::string readFirstLine(const std::string& path);

}  // namespace kip
