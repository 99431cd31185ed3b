#include "model/preferences.h"

#include <algorithm>
#include <cstdint>

#include "model/registry_layout.h"
#include "platform/registry_values.h"

namespace kip {

std::int32_t encodeRun(bool autostartEnabled, std::int32_t startupDelay) {
  // A negative delay means none; stored as it is, it would flip the switch that the sign carries.
  if (startupDelay < 0) startupDelay = 0;
  if (autostartEnabled) return startupDelay == INT32_MAX ? INT32_MAX : startupDelay + 1;
  return -startupDelay;
}

void decodeRun(std::int32_t run, bool& autostartEnabled, std::int32_t& startupDelay) {
  autostartEnabled = run > 0;
  // -INT32_MIN does not exist; such a hand-made value keeps the longest delay there is.
  startupDelay = run > 0 ? run - 1 : (run == INT32_MIN ? INT32_MAX : -run);
}

std::string autostartStatusText(bool autostartEnabled, std::int32_t startupDelay) {
  const std::int32_t delay = std::max(startupDelay, 0);
  return std::string(autostartEnabled ? "on" : "off") + ", start-up delay " + std::to_string(delay) +
         (delay == 1 ? " second" : " seconds");
}

bool readSplashAtEntry(Registry& registry) {
  std::unique_ptr<RegKey> key;
  if (registry.openKey(Hive::CurrentUser, kPreferencesKey, KeyAccess::Read, key) != 0) return true;
  if (auto value = readDword(*key, "Splash")) return *value != 0;
  return true;
}

namespace {
void readFlag(RegKey& key, std::string_view name, bool& field) {
  if (auto value = readDword(key, name)) field = *value != 0;
}
void readNumber(RegKey& key, std::string_view name, std::int32_t& field) {
  if (auto value = readDword(key, name)) field = *value;
}
// Preference texts have no length limit: they are read whole, so that a long one survives the next write.
void readString(RegKey& key, std::string_view name, std::string& field) {
  if (auto value = readText(key, name, true, kWholeText)) field = std::move(*value);
}
}  // namespace

void readPreferences(Registry& registry, Preferences& prefs) {
  std::unique_ptr<RegKey> key;
  if (registry.openKey(Hive::CurrentUser, kPreferencesKey, KeyAccess::Read, key) != 0) return;
  if (auto run = readDword(*key, "Run")) decodeRun(*run, prefs.AutostartEnabled, prefs.StartupDelay);
  readFlag(*key, "Splash", prefs.Splash);
  readFlag(*key, "Global", prefs.Global);
  readFlag(*key, "AboutNet", prefs.AboutNet);
  readString(*key, "Network", prefs.Network);
  readString(*key, "Proxy", prefs.Proxy);
  readString(*key, "Port", prefs.Port);
  readNumber(*key, "Height", prefs.Height);
  readNumber(*key, "Width", prefs.Width);
  readNumber(*key, "Top", prefs.Top);
  readNumber(*key, "Left", prefs.Left);
  readNumber(*key, "SortCol", prefs.SortCol);
  readNumber(*key, "PgmTop", prefs.PgmTop);
  readNumber(*key, "PgmLeft", prefs.PgmLeft);
  for (std::size_t col = 0; col < prefs.ColWidths.size(); ++col) {
    auto width = readDword(*key, "Col-" + std::to_string(col));
    if (!width) break;
    prefs.ColWidths[col] = *width;
  }
}

bool writeRunningPreferences(Registry& registry, const Preferences& prefs, const PreferenceFilter& only) {
  std::unique_ptr<RegKey> key;
  if (registry.createKey(Hive::CurrentUser, kPreferencesKey, key) != 0) return false;
  RegBatch batch(registry, Hive::CurrentUser);
  const auto picked = [&only](std::string_view name) { return !only || only(name); };
  if (picked("Run")) writeDword(*key, "Run", encodeRun(prefs.AutostartEnabled, prefs.StartupDelay));
  if (picked("Splash")) writeDword(*key, "Splash", prefs.Splash ? 1 : 0);
  if (picked("Global")) writeDword(*key, "Global", prefs.Global ? 1 : 0);
  if (picked("AboutNet")) writeDword(*key, "AboutNet", prefs.AboutNet ? 1 : 0);
  if (picked("Network")) writeText(*key, "Network", prefs.Network);
  if (picked("Proxy")) writeText(*key, "Proxy", prefs.Proxy);
  if (picked("Port")) writeText(*key, "Port", prefs.Port);
  return true;
}

bool writePreferences(Registry& registry, const Preferences& prefs, bool windowOpened) {
  std::unique_ptr<RegKey> key;
  if (registry.createKey(Hive::CurrentUser, kPreferencesKey, key) != 0) return false;
  RegBatch batch(registry, Hive::CurrentUser);
  if (windowOpened) {
    writeDword(*key, "Height", prefs.Height);
    writeDword(*key, "Width", prefs.Width);
    writeDword(*key, "Top", prefs.Top);
    writeDword(*key, "Left", prefs.Left);
    writeDword(*key, "SortCol", prefs.SortCol);
    writeDword(*key, "PgmTop", prefs.PgmTop);
    writeDword(*key, "PgmLeft", prefs.PgmLeft);
    writeDword(*key, "Global", prefs.Global ? 1 : 0);
    writeDword(*key, "AboutNet", prefs.AboutNet ? 1 : 0);
    writeText(*key, "Network", prefs.Network);
    writeText(*key, "Proxy", prefs.Proxy);
    writeText(*key, "Port", prefs.Port);
    for (std::size_t col = 0; col < prefs.ColWidths.size(); ++col)
      writeDword(*key, "Col-" + std::to_string(col), prefs.ColWidths[col]);
  }
  writeDword(*key, "Run", encodeRun(prefs.AutostartEnabled, prefs.StartupDelay));
  writeDword(*key, "Splash", prefs.Splash ? 1 : 0);
  return true;
}

}  // namespace kip
