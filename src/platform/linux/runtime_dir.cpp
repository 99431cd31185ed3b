#include "platform/linux/runtime_dir.h"

#include <pwd.h>
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

// The user's cache folder by the XDG base directory rule: $XDG_CACHE_HOME when absolute, else ~/.cache.
std::string cacheHome() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/') return cache;
  std::string home;
  if (const char* value = std::getenv("HOME"); value && *value)
    home = value;
  else if (const struct passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
    home = pw->pw_dir;
  if (home.empty()) return {};
  return home + "/.cache";
}

// Creates path and its missing parents with mode 0700; false with errno set when one cannot be made.
bool makeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// The fallback folder; its parent "kiplaunch" must be this user's and writable by nobody else too, or another
// user could swap the folder inside it.
std::optional<RuntimeDir> cacheRuntimeDir(std::string& error) {
  const std::string cache = cacheHome();
  if (cache.empty()) {
    error = "There is no runtime folder: XDG_RUNTIME_DIR is not set and the home folder is unknown.";
    return std::nullopt;
  }
  const std::string parent = cache + "/kiplaunch";
  const std::string path = parent + "/run";
  if (!makeFolders(path)) {
    error = "Cannot create the runtime folder " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (lstat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 022) != 0) {
    error = "The folder " + parent + " that holds the runtime folder is not a folder of this user that only it may " +
            "write; refusing to use it.";
    return std::nullopt;
  }
  if (lstat(path.c_str(), &st) != 0 || !isPrivateFolder(st)) {
    error = notPrivate(path, "", st);
    return std::nullopt;
  }
  return RuntimeDir{path, true};
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
  return cacheRuntimeDir(error);
}

}  // namespace kip
