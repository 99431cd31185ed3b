#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "model/definition_store.h"
#include "platform/logon_atom.h"
#include "platform/prompts.h"
#include "platform/registry.h"
#include "platform/system_info.h"

namespace kip {

// The run-mode switch given as the program's first argument.
enum class Switch { None, Run, Global };

// Only the first argument counts; it is lower-cased and compared whole.
Switch parseSwitch(const std::vector<std::string>& args);

struct StartupServices {
  Registry& registry;
  SystemInfo& system;
  LogonAtom& atom;
  Prompts& prompts;
};

inline constexpr std::string_view kAtomErrorMessage = "Error adding Atoms - autostart disabled";
inline constexpr std::string_view kGlobalRefusedMessage =
    "Insufficient authorisation to store changes - reverting to normal open";

// Runs the start-up sequence of the main window: environment, preferences, run mode and the load of both
// scopes. During an autostart run firstPass sees every enabled definition as it is loaded.
// firstPassDone is called after the load when firstPass was used.
// Sets state.run.autostartRun when the autostart run begins.
void runStartupSequence(AppState& state, const StartupServices& services, Switch sw,
                        const DefinitionStore::FirstPassHook& firstPass = {},
                        const std::function<void()>& firstPassDone = {});

// True when the machine-wide Start List key can be opened for writing (created when missing).
bool machineListWritable(Registry& registry);

}  // namespace kip
