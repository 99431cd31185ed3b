#include "model/environment_snapshot.h"

#include <cstdio>

#include "model/registry_layout.h"
#include "platform/registry_values.h"

namespace kip {

void readPreviousStart(Registry& registry, EnvironmentSnapshot& env) {
  std::unique_ptr<RegKey> key;
  if (registry.openKey(Hive::LocalMachine, kPreviousStartKey, KeyAccess::Read, key) != 0) return;
  if (auto text = readText(*key, "PrevConfig")) env.PrevConfig = *text;
  if (auto text = readText(*key, "PrevUser")) env.PrevUser = *text;
  if (auto number = readDword(*key, "PrevPower")) env.PrevPower = *number;
}

void writePreviousStart(Registry& registry, const EnvironmentSnapshot& env) {
  std::unique_ptr<RegKey> key;
  if (registry.createKey(Hive::LocalMachine, kPreviousStartKey, key) != 0) return;
  RegBatch batch(registry, Hive::LocalMachine);
  writeText(*key, "PrevConfig", env.ConfigName);
  writeText(*key, "PrevUser", env.UserName);
  writeDword(*key, "PrevPower", env.PowerState);
}

std::string readConfigName(Registry& registry, bool isNT) {
  std::unique_ptr<RegKey> db;
  if (registry.openKey(Hive::LocalMachine, kIdConfigDbKey, KeyAccess::Read, db) != 0) return {};
  if (isNT) {
    auto current = readDword(*db, "CurrentConfig");
    if (!current) return {};
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "\\%04i", *current);
    std::unique_ptr<RegKey> profile;
    if (registry.openKey(Hive::LocalMachine, std::string(kHardwareProfilesKey) + suffix, KeyAccess::Read, profile) != 0)
      return {};
    return readText(*profile, "FriendlyName").value_or("");
  }
  auto current = readText(*db, "CurrentConfig");
  if (!current) return {};
  return readText(*db, "FriendlyName" + *current).value_or("");
}

std::string readUserName(SystemInfo& system) {
  auto name = system.userName();
  // A name that does not fit is not taken: a cut one could match another user's User condition.
  if (!name || name->size() > kMaxUserName) return {};
  return *name;
}

std::int32_t powerStateFrom(const std::optional<PowerStatus>& status) {
  if (!status) return -1;
  if (status->acLineStatus == 0) return status->batteryLifePercent;
  return 0;
}

}  // namespace kip
