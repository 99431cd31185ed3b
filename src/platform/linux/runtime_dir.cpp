#include "platform/linux/runtime_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kip {

std::optional<RuntimeDir> resolveRuntimeDir(std::string& error) {
  for (const char* name : {"KIPLAUNCH_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      struct stat st {};
      if (stat(value, &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = std::string("The runtime folder ") + value + " (" + name + ") does not exist.";
        return std::nullopt;
      }
      return RuntimeDir{value, false};
    }
  }
  const std::string path = "/tmp/kiplaunch-" + std::to_string(getuid());
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "Cannot create the runtime folder " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0) {
    error = "The runtime folder " + path + " is not a private folder of this user; refusing to use it.";
    return std::nullopt;
  }
  return RuntimeDir{path, true};
}

}  // namespace kip
