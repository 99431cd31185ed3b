#include "app/hardware_profiles.h"

#include "model/registry_layout.h"
#include "platform/registry_values.h"

namespace kip {

std::vector<std::string> readHardwareProfileNames(Registry& registry, bool isNT) {
  std::vector<std::string> names;
  std::unique_ptr<RegKey> key;
  if (isNT) {
    if (registry.openKey(Hive::LocalMachine, kHardwareProfilesKey, KeyAccess::Read, key) != 0) return names;
    std::string subkey;
    for (std::uint32_t i = 0; key->enumKey(i, subkey) == 0; ++i) {
      std::unique_ptr<RegKey> profile;
      if (registry.openKey(Hive::LocalMachine, std::string(kHardwareProfilesKey) + "\\" + subkey, KeyAccess::Read,
                           profile) != 0)
        continue;
      if (auto name = readText(*profile, "FriendlyName")) names.push_back(*name);
    }
    return names;
  }
  if (registry.openKey(Hive::LocalMachine, kIdConfigDbKey, KeyAccess::Read, key) != 0) return names;
  std::string name;
  RegValue value;
  for (std::uint32_t i = 0; key->enumValue(i, name, value) == 0; ++i) {
    if (name.compare(0, 12, "FriendlyName") != 0 || name.size() < 12) continue;
    if (auto text = readText(*key, name)) names.push_back(*text);
  }
  return names;
}

}  // namespace kip
