#pragma once

#include <string>

#include "conditions/network_probe.h"
#include "model/environment_snapshot.h"
#include "model/preferences.h"
#include "platform/prompts.h"
#include "ui/logic/options_form_state.h"

namespace kip {

// The line under the delay: "The logon run is on; kipctl autostart off switches it off."
std::string logonRunText(bool autostartEnabled);

// Loads every control from the running preferences.
void FormShow(OptionsFormState& form, const Preferences& prefs);

// Stores the controls into the running preferences; the last network result is cleared only when the
// network test text changes.
void OkButtonClick(const OptionsFormState& form, Preferences& prefs, NetworkResults& results);

// NetTest is enabled and shown exactly while "Resource Test" is chosen.
void RG_netClick(OptionsFormState& form);

// The proxy labels and edits are enabled exactly while CB_proxy is ticked; the edits keep their texts.
void CB_proxyClick(OptionsFormState& form);

// The network test text the controls describe: empty, "DUN" or NetTest as typed.
std::string networkTestText(const OptionsFormState& form);

struct NetworkTestMessage {
  std::string text;
  MessageIcon icon = MessageIcon::None;
};

// "Test now...": probes the dialog's test text with the dialog's proxy (trimmed, or none when CB_proxy
// is clear) and reports the outcome. Neither the running preferences nor the last network result change.
NetworkTestMessage TestButtonClick(const OptionsFormState& form, NetworkProbe& probe);

}  // namespace kip
