#pragma once

#include <string>
#include <string_view>

namespace kip {

// True when path names a regular file this process may execute.
bool isExecutableFile(const std::string& path);

// True when a program is installed: an absolute path that is an executable file, or a name without "/"
// found as one in a folder of this process's PATH.
bool programInPath(std::string_view program);

}  // namespace kip
