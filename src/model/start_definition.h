#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/date_time.h"
#include "platform/registry.h"
#include "platform/started_process.h"

namespace kip {

// One program to start at logon, with its conditions, timing, after-action and last outcome.
// Persisted fields carry the names of the registry values that hold them.
struct StartDefinition {
  std::string StoredName;          // subkey last loaded from or saved under; empty when never saved
  std::optional<Hive> StoredHive;  // the hive that holds the subkey named StoredName
  // The values the subkey held when last loaded or saved, to tell whether another program changed it since.
  std::shared_ptr<const StartDefinition> Loaded;
  std::string Name;
  std::string Module;
  std::string Parms;
  std::string StartDirectory;  // "Start Directory"
  std::string Configuration;
  std::string User;
  std::string Group;
  std::string NetResource;
  // Conditions taken over from a desktop's autostart entries, tested at every run; empty means none.
  std::string OnlyShowIn;          // desktops (";"-separated) of which one must be current
  std::string NotShowIn;           // desktops (";"-separated) none of which may be current
  std::string TryExec;             // a program that must be installed
  std::string AutostartCondition;  // "GSettings SCHEMA KEY", "if-exists FILE", "unless-exists FILE",
                                   // "KDE FILE:GROUP:KEY:DEFAULT"
  // The file name of the desktop autostart entry the definition was imported from, so that importing the
  // same entry again finds it whatever its name; empty for one made otherwise.
  std::string DesktopEntryId;  // "Desktop Entry"
  std::int32_t Window = 0;
  std::int32_t Apm = 0;
  std::int32_t Net = 0;
  std::int32_t Dun = 0;
  std::int32_t Sequence = 0;
  std::int32_t Days = 127;
  std::int32_t Dates = 2147483647;
  std::int32_t From = 0;
  std::int32_t To = 2400;
  std::int32_t Frequency = 0;
  std::int32_t Units = 0;
  std::int32_t Changes = 0;
  std::int32_t Delay = 0;
  std::int32_t Msg = 0;
  std::int32_t Countdown = 0;
  std::int32_t Wait = 0;
  std::int32_t MsgID = 0;
  std::int32_t WaitType = 0;
  std::int32_t NetTest = 0;
  // The process started last; held while an after-action is pending.
  std::shared_ptr<StartedProcess> Process;
  std::string TimingSummary;
  std::string ConditionSummary;
  std::string StateSummary;
  // The file whose desktop icon stands for the definition (its large and small icon): taken from Module
  // when a row is added and by the dialog's program browse, so editing Module alone keeps the old icon.
  std::string IconSource;
  std::string Result;
  DateTime Executed = 0.0;
  DateTime Tested = 0.0;
  std::int32_t TestResult = 0;
  bool Changed = false;
  bool RunStateChanged = false;
  bool OtherScope = false;
  bool Disable = false;
};

using DefinitionPtr = std::shared_ptr<StartDefinition>;

// Longest text the registry keeps for a definition field or name, in bytes.
inline constexpr std::size_t kMaxTextLength = 259;

}  // namespace kip
