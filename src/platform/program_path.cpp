#include "platform/program_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace kip {

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool programInPath(std::string_view program) {
  if (program.empty()) return false;
  if (program.front() == '/') return isExecutableFile(std::string(program));
  if (program.find('/') != std::string_view::npos) return false;
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!dirs.empty()) {
    const auto colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    dirs.remove_prefix(colon == std::string_view::npos ? dirs.size() : colon + 1);
    if (!dir.empty() && isExecutableFile(std::string(dir) + "/" + std::string(program))) return true;
  }
  return false;
}

}  // namespace kip
