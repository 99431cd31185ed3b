#include <ostream>

#include "ctl/reg_code_text.h"
#include "model/preferences.h"
#include "model/registry_layout.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/registry_values.h"
#include "verbs.h"

namespace kip::ctl {

namespace {

void printStatus(std::ostream& out, const Preferences& prefs) {
  out << autostartStatusText(prefs.AutostartEnabled, prefs.StartupDelay) << '\n';
}

}  // namespace

// kipctl autostart on | off | status: the logon run's switch, kept in the sign of "Run" beside the start-up
// delay, which either way stays as it is.
int runAutostart(const std::vector<std::string>& args, Io& io) {
  if (args.size() != 1 || (args[0] != "on" && args[0] != "off" && args[0] != "status")) {
    io.err << "kipctl autostart: expected one of on, off, status (usage: kipctl autostart on | off | status)\n";
    return 1;
  }
  auto registry = SqliteRegistry::fromEnvironment();
  Preferences prefs;
  readPreferences(*registry, prefs);
  if (args[0] == "status") {
    if (const auto problem = registry->hiveProblem(Hive::CurrentUser); !problem.empty()) {
      io.err << "kipctl autostart: " << problem << '\n';
      return 1;
    }
    printStatus(io.out, prefs);
    return 0;
  }

  prefs.AutostartEnabled = args[0] == "on";
  std::unique_ptr<RegKey> key;
  RegCode code = registry->createKey(Hive::CurrentUser, kPreferencesKey, key);
  if (code == 0) code = writeDword(*key, "Run", encodeRun(prefs.AutostartEnabled, prefs.StartupDelay));
  if (code != 0) {
    io.err << "kipctl autostart: cannot store the switch: " << describeRegCode(code, *registry, Hive::CurrentUser)
           << '\n';
    return 1;
  }
  printStatus(io.out, prefs);
  return 0;
}

}  // namespace kip::ctl
