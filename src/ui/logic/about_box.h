#pragma once

#include <optional>
#include <string>

#include "conditions/network_probe.h"
#include "model/environment_snapshot.h"
#include "model/preferences.h"
#include "platform/system_info.h"
#include "ui/logic/exe_version.h"

namespace kip {

// The version texts the about box shows.
struct VersionTexts {
  std::string ProductName;
  std::string ProductVersion;
  std::string FileVersion;
  std::string Comments;
  std::string LegalCopyright;
};

VersionTexts versionTextsOf(const TExeVersion& version);

// The texts of the about box's labels.
struct AboutBoxLines {
  std::string ProductName;
  std::string Version;
  std::string Copyright;
  std::string Power;
  std::string Configuration;
  std::string User;
  std::string Network;
};

// The power line of a power status (nullopt: the status cannot be read).
std::string powerLine(const std::optional<PowerStatus>& status);

// The network line; with AboutNet on and no known result it first refreshes the network state, which
// stores the probe's outcome as the last network result.
std::string networkLine(const Preferences& prefs, NetworkResults& results, NetworkProbe& probe);

// Every line of the about box, as its activation fills them.
AboutBoxLines aboutBoxLines(const VersionTexts& version, const EnvironmentSnapshot& env, const Preferences& prefs,
                            const std::optional<PowerStatus>& power, NetworkResults& results, NetworkProbe& probe);

}  // namespace kip
