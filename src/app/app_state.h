#pragma once

#include <cstdint>
#include <vector>

#include "model/environment_snapshot.h"
#include "model/preferences.h"
#include "model/run_mode_state.h"
#include "model/start_definition.h"

namespace kip {

// Everything the program keeps in memory between start-up and close.
struct AppState {
  Preferences prefs;
  Preferences savedPrefs;  // the running preferences as last saved
  EnvironmentSnapshot env;
  NetworkResults net;
  RunModeState run;
  std::vector<DefinitionPtr> definitions;  // load order: edit scope first
  std::vector<DefinitionPtr> deleted;      // newest last
  std::vector<DefinitionPtr> hidden;       // other-scope definitions kept out of the list

  [[nodiscard]] Hive editScope() const { return run.GlobalEdit ? Hive::LocalMachine : Hive::CurrentUser; }
  [[nodiscard]] Hive otherScope() const { return run.GlobalEdit ? Hive::CurrentUser : Hive::LocalMachine; }
};

}  // namespace kip
