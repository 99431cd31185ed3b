#include "ctl/reg_key_name.h"

#include <array>
#include <memory>

namespace kip {

namespace {

struct RootSpelling {
  std::string_view name;
  Hive hive;
};

constexpr std::array<RootSpelling, 4> kRoots{{{"HKEY_CURRENT_USER", Hive::CurrentUser},
                                              {"HKCU", Hive::CurrentUser},
                                              {"HKEY_LOCAL_MACHINE", Hive::LocalMachine},
                                              {"HKLM", Hive::LocalMachine}}};

std::string joinPath(const std::vector<std::string>& parts) {
  std::string path;
  for (const auto& part : parts) {
    if (!path.empty()) path += '\\';
    path += part;
  }
  return path;
}

}  // namespace

std::optional<RegKeyName> RegKeyName::parse(std::string_view text) {
  const auto slash = text.find('\\');
  const auto root = foldName(text.substr(0, slash));
  for (const auto& spelling : kRoots) {
    if (root != spelling.name) continue;
    RegKeyName name;
    name.hive = spelling.hive;
    if (slash != std::string_view::npos) name.path = joinPath(splitKeyPath(text.substr(slash + 1)));
    return name;
  }
  return std::nullopt;
}

std::string RegKeyName::fullName() const {
  std::string full(rootName(hive));
  if (!path.empty()) full += '\\' + path;
  return full;
}

RegKeyName RegKeyName::child(std::string_view name) const {
  RegKeyName sub{hive, path};
  if (!sub.path.empty()) sub.path += '\\';
  sub.path += name;
  return sub;
}

std::string_view rootName(Hive hive) { return hive == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE"; }

std::optional<std::string> storedKeyPath(Registry& registry, Hive hive, std::string_view path) {
  std::vector<std::string> stored;
  std::string parentPath;
  for (const auto& part : splitKeyPath(path)) {
    std::unique_ptr<RegKey> parent;
    if (registry.openKey(hive, parentPath, KeyAccess::Read, parent) != 0) return std::nullopt;
    const auto wanted = foldName(part);
    std::optional<std::string> match;
    std::string name;
    for (std::uint32_t index = 0; parent->enumKey(index, name) == 0; ++index) {
      if (foldName(name) == wanted) {
        match = name;
        break;
      }
    }
    if (!match) return std::nullopt;
    stored.push_back(*match);
    if (!parentPath.empty()) parentPath += '\\';
    parentPath += *match;
  }
  return joinPath(stored);
}

}  // namespace kip
