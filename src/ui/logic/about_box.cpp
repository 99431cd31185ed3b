#include "ui/logic/about_box.h"

#include "conditions/network_report.h"

namespace kip {

VersionTexts versionTextsOf(const TExeVersion& version) {
  return {version.GetProductName(), version.GetProductVersion(), version.GetFileVersion(), version.GetComments(),
          version.GetLegalCopyright()};
}

std::string powerLine(const std::optional<PowerStatus>& status) {
  if (!status) return "APM not installed";
  if (status->acLineStatus == 1) return "Mains power";
  if (status->acLineStatus == 0) return "Battery power remaining = " + std::to_string(status->batteryLifePercent) + "%";
  return "Power status unknown";
}

std::string networkLine(const Preferences& prefs, NetworkResults& results, NetworkProbe& probe) {
  // Appended rather than concatenated: GCC 12 at -O3 reports a false -Wrestrict for "..." + std::string.
  std::string label(1, '(');
  label += networkTestLabel(prefs.Network);
  label += ')';
  if (!prefs.AboutNet) return "Not Tested " + label;
  if (results.lastNetwork == 0) refreshNetworkState(probe, prefs, results);
  if (results.lastNetwork > 0) return "Present " + label;
  if (results.lastNetwork == 0) return "detect failed " + label;
  return "No Rc" + std::to_string(results.lastNetwork) + label;
}

AboutBoxLines aboutBoxLines(const VersionTexts& version, const EnvironmentSnapshot& env, const Preferences& prefs,
                            const std::optional<PowerStatus>& power, NetworkResults& results, NetworkProbe& probe) {
  AboutBoxLines lines;
  lines.ProductName = version.ProductName;
  lines.Version = "Version " + version.ProductVersion + " (Build " + version.FileVersion + ") " + version.Comments;
  lines.Copyright = version.LegalCopyright;
  lines.Configuration = env.ConfigName;
  lines.Power = powerLine(power);
  lines.Network = networkLine(prefs, results, probe);
  lines.User = env.UserName.empty() ? std::string("<none>") : env.UserName;
  return lines;
}

}  // namespace kip
