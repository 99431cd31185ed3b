#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kip {

// A key named the way administrators write it: a root (HKCU, HKLM or their long forms) and a path.
struct RegKeyName {
  Hive hive = Hive::CurrentUser;
  // The path below the root with empty parts removed, "A\B"; empty for the root itself.
  std::string path;

  // Parses "HKCU\A\B", "HKEY_LOCAL_MACHINE\A" or a bare root, with root names in any case.
  static std::optional<RegKeyName> parse(std::string_view text);

  // "HKEY_CURRENT_USER\A\B" (or just the root's name for the root itself).
  [[nodiscard]] std::string fullName() const;
  // The name of a subkey of this key.
  [[nodiscard]] RegKeyName child(std::string_view name) const;
};

// The long name of a hive's root, as the registry editor writes it.
std::string_view rootName(Hive hive);

// The path with each part spelled as it is stored, found by walking the tree from the root;
// nullopt when some part is missing.
std::optional<std::string> storedKeyPath(Registry& registry, Hive hive, std::string_view path);

}  // namespace kip
