#include "platform/linux/runtime_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kip {

namespace {

// The rule for a runtime folder: a folder owned by this user that nobody else may enter or write, so that
// no other user can hold or plant the lock, the socket or the atom.
bool isPrivateFolder(const struct stat& st) {
  return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

std::string notPrivate(const std::string& path, const std::string& origin, const struct stat& st) {
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return "The runtime folder " + path + origin + " is not a private folder of this user (owner " +
         std::to_string(st.st_uid) + ", mode " + mode + "); refusing to use it.";
}

}  // namespace

std::optional<RuntimeDir> resolveRuntimeDir(std::string& error) {
  for (const char* name : {"KIPLAUNCH_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      struct stat st {};
      if (stat(value, &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = std::string("The runtime folder ") + value + " (" + name + ") does not exist.";
        return std::nullopt;
      }
      if (!isPrivateFolder(st)) {
        error = notPrivate(value, std::string(" (") + name + ")", st);
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
  if (lstat(path.c_str(), &st) != 0 || !isPrivateFolder(st)) {
    error = notPrivate(path, "", st);
    return std::nullopt;
  }
  return RuntimeDir{path, true};
}

}  // namespace kip
