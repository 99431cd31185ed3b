#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/start_definition.h"
#include "platform/system_info.h"

namespace kip {

// Whether a desktop shows an entry with these OnlyShowIn and NotShowIn lists (";"-separated) when its
// current desktops are currentDesktops (":"-separated, most specific first): the first current desktop
// that either list names decides; when none is named, only an entry without OnlyShowIn is shown.
bool shownInDesktops(std::string_view onlyShowIn, std::string_view notShowIn, std::string_view currentDesktops);

// The value of KEY in [GROUP] of an ini-style configuration text (the KDE form: "[Group]" headers, "key=value"
// lines, "#" comments, localised keys ignored); nullopt when it is not there.
std::optional<std::string> configValue(std::string_view text, std::string_view group, std::string_view key);

// Whether an autostart condition holds, asking system for what it needs:
//   "GSettings SCHEMA KEY"      the boolean key is true;
//   "if-exists FILE"            the file exists in the configuration folder;
//   "unless-exists FILE"        it does not;
//   "KDE FILE:GROUP:KEY:DEFAULT" the boolean KEY of [GROUP] in that configuration file is true, DEFAULT
//                               ("true" or "false") when the file or key is missing.
// nullopt for a text of no such form (it holds nowhere: the desktops do not start such an entry).
std::optional<bool> autostartConditionHolds(std::string_view condition, SystemInfo& system);

// True when condition has one of the forms above.
bool isKnownAutostartCondition(std::string_view condition);

// The desktop conditions of a definition in words ("only in KDE, if orca is installed, if GSettings S K"),
// joined with ", "; empty when it has none.
std::string desktopConditionsText(const StartDefinition& def);

}  // namespace kip
