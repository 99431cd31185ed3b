#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/desktop_entry.h"
#include "model/definition_store.h"
#include "platform/prompts.h"
#include "platform/registry.h"

namespace kip {

// The folders the desktop takes autostart entries from, the user's first.
struct XdgAutostartFolders {
  std::string user;                 // $XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart
  std::vector<std::string> system;  // each of $XDG_CONFIG_DIRS + /autostart, else /etc/xdg/autostart
};

// The folders from the values of XDG_CONFIG_HOME, XDG_CONFIG_DIRS and HOME (null when unset). Relative paths
// are ignored, as the base directory rules ask.
XdgAutostartFolders xdgAutostartFolders(const char* configHome, const char* configDirs, const char* home);

// Whether the desktop starts an entry at logon.
enum class AutostartVerdict {
  Starts,
  Malformed,   // problems, no Exec, or a command a definition cannot hold
  NotStarted,  // Hidden, X-GNOME-Autostart-enabled=false, no Type=Application
};

// One autostart entry: the file that takes precedence for its name.
struct AutostartEntry {
  std::string id;        // the file name; a per-user file hides a system file of the same name
  std::string path;      // the file read
  bool perUser = false;  // it lies in the user's folder
  DesktopEntry entry;
  AutostartVerdict verdict = AutostartVerdict::Starts;
  // Why it does not start (the problem for a malformed one), empty for one that starts.
  std::string reason;
  std::size_t reasonLine = 0;                 // the line of the problem of a malformed entry, 0 for the file
  std::optional<StartDefinition> definition;  // what it becomes, for one that starts
};

// Reads the *.desktop files of the folders, keeps for each file name the first found (the user's folder first,
// then the system folders in order) and decides whether the desktop ever starts it. What the desktop decides
// at each logon (OnlyShowIn, NotShowIn, TryExec, AutostartCondition and X-KDE-autostart-condition) becomes
// the definition's conditions, tested at every run. installed finds the terminal emulator for Terminal=true.
// When some entry belongs to an X-GNOME-Autostart-Phase before Applications, every entry's phase becomes its
// Sequence (EarlyInitialization 1 ... Desktop 7, Applications and the rest 8).
// Sorted by file name.
std::vector<AutostartEntry> scanXdgAutostart(const XdgAutostartFolders& folders, const ProgramInstalled& installed);

// What became of one entry that starts: on a dry run Added means it would be added and Clash that the
// overwrite question would be asked; Unchanged, that the list holds it as the entry gives it already.
enum class AutostartImport { Added, Overwritten, Kept, Clash, Unchanged, NotReached };

struct XdgImportResult {
  std::vector<AutostartImport> actions;  // one per entry given, in order
  std::vector<std::string> names;        // the definition name each entry has (or would have) in the list
  bool cancelled = false;
  std::optional<SaveOutcome> save;  // nullopt on a dry run or when the hives were not touched
  // Why nothing, or not everything, could be read or saved, in words for the user; empty otherwise.
  std::string message;
};

// Turns the entries that start into definitions of one scope. An entry is matched with the definition an
// earlier import made from the same file, else with a definition of its name that came from no file; one
// without a match is added under the next free name, so two entries of one name never become one definition.
// A match that differs asks the overwrite question (Yes overwrites the command, folder and the conditions
// that the exchange file carries; No keeps the stored one; Cancel stops, what came before stays); one that
// holds the entry already is left alone. Then saves through the definition store; stored definitions are
// never removed. A dry run asks nothing and saves nothing. Nothing is read or saved when a hive involved
// reports a problem.
XdgImportResult importXdgAutostart(Registry& registry, Hive scope, const std::vector<AutostartEntry>& entries,
                                   Prompts& prompts, bool dryRun);

// The text of an entry with Hidden=true set in its [Desktop Entry] group (replacing a Hidden line there, else
// right after the group's header), every other line kept; nullopt when the text has no such group.
std::optional<std::string> withHiddenTrue(std::string_view text);

}  // namespace kip
