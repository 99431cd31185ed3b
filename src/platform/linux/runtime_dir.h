#pragma once

#include <optional>
#include <string>

namespace kip {

// The per-user runtime folder that holds the instance lock, the raise socket and the logon atom:
// $KIPLAUNCH_RUNTIME_DIR, else $XDG_RUNTIME_DIR, else $XDG_CACHE_HOME/kiplaunch/run (~/.cache/kiplaunch/run),
// created with mode 0700 inside the user's own home, where no other user can take the name first.
struct RuntimeDir {
  std::string path;
  // True for the fallback in the cache, which outlives a logout, so the atom records the boot id.
  bool fallback = false;
};

// Resolves (and for the fallback creates) the runtime folder; nullopt with a reason naming the folder in error
// when it cannot be used: missing, or not owned by this user with mode 0700 (the XDG base directory rule).
std::optional<RuntimeDir> resolveRuntimeDir(std::string& error);

}  // namespace kip
