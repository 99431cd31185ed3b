#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/start_definition.h"

namespace kip {

// A fault found in a desktop entry file: the 1-based line it is on, 0 when it concerns the file as a whole.
struct DesktopEntryProblem {
  std::size_t line = 0;
  std::string message;
};

// Tells whether a program is installed: an absolute path that is an executable file, or a name without "/"
// found as one in PATH.
using ProgramInstalled = std::function<bool(std::string_view program)>;

// The [Desktop Entry] group of a desktop entry file (".desktop"), as far as this program uses it, read the way
// the desktops' own reader reads it: only the unlocalised value of each key (Name, not Name[de]), the last one
// when a key is given twice, string escapes resolved, texts that are no UTF-8 repaired with U+FFFD, Exec's
// field codes expanded and the result taken apart into words as a shell would. Keys that are absent, or whose
// value cannot be read, keep the defaults below.
struct DesktopEntry {
  std::string file;            // the file read, for %k; empty when the text came from elsewhere
  bool hasEntryGroup = false;  // the file has a [Desktop Entry] group
  std::string type;            // Type
  std::string name;            // Name
  std::string comment;         // Comment
  // Exec: the program, then its arguments. nullopt when there is no Exec.
  std::optional<std::vector<std::string>> exec;
  std::string tryExec;                  // TryExec
  std::string path;                     // Path: the working directory of the program
  std::string icon;                     // Icon: a theme icon name or an absolute file
  std::string startupWmClass;           // StartupWMClass: the class (on Wayland the app id) of its windows
  bool hidden = false;                  // Hidden: the entry counts as deleted
  bool terminal = false;                // Terminal: the program runs in a terminal window
  bool autostartEnabled = true;         // X-GNOME-Autostart-enabled: false keeps it from starting at logon
  std::int32_t autostartDelay = 0;      // X-GNOME-Autostart-Delay, in seconds (a negative one counts as 0)
  std::string autostartPhase;           // X-GNOME-Autostart-Phase
  std::string autostartCondition;       // AutostartCondition
  std::string kdeAutostartCondition;    // X-KDE-autostart-condition
  std::vector<std::string> onlyShowIn;  // OnlyShowIn: the desktops that may show it; empty means all
  std::vector<std::string> notShowIn;   // NotShowIn: the desktops that must not
  // Every malformed line and every Exec that cannot be taken apart, in line order. An entry with problems is
  // not to be used: the desktops refuse such a file, and what a malformed line meant cannot be known.
  std::vector<DesktopEntryProblem> problems;
  // Values that could not be read and were taken as absent ("Hidden: \"True\" is not true or false"); the
  // entry is used as the desktops use it.
  std::vector<DesktopEntryProblem> ignored;
};

// Reads the text of a desktop entry file: comment and blank lines, [group] headers (a group given twice
// continues the first), key=value lines with blanks around "=" ignored. Every other line, a key outside any
// group, an invalid key name and an Exec that cannot be taken apart are problems with their line numbers; a
// file without a [Desktop Entry] group, at line 0. A boolean other than true/false (blanks after it allowed)
// or a number that is not a whole one counts as absent and is noted in ignored. file is what %k gives.
DesktopEntry parseDesktopEntry(std::string_view text, std::string_view file = {});

// The largest desktop entry file read, in bytes; desktop entries are a few kilobytes at most.
inline constexpr std::size_t kMaxDesktopEntrySize = 1 << 20;

// Reads and parses the regular file at path. A file that cannot be read, is not a regular file or is larger
// than kMaxDesktopEntrySize gives an entry with one problem at line 0 that says why.
DesktopEntry readDesktopEntryFile(const std::string& path);

// A string value with its escapes resolved: \s space, \n line feed, \t tab, \r carriage return, \\ backslash.
// Any other backslash is kept together with the character after it.
std::string unescapeDesktopValue(std::string_view value);

// Takes an Exec value (escapes already resolved) apart into words as the desktops do: field codes first
// (%i gives --icon and the icon, %c the name, %k the file, each quoted; %% gives %; every other code, a file or
// URL one included, gives nothing), then the text is split as a shell splits words: blanks separate, single
// quotes keep everything, double quotes keep all but \ before $ ` " \ and a line break, a backslash outside
// quotes escapes any character, and # at the start of a word begins a comment. nullopt, with the reason in
// error, for an unclosed quote, a trailing backslash, or no program.
std::optional<std::vector<std::string>> splitDesktopExec(std::string_view exec, const DesktopEntry& entry,
                                                         std::string& error);

// The command that runs a program in the user's terminal emulator: xdg-terminal-exec where installed, else
// x-terminal-emulator -e; empty when neither is.
std::vector<std::string> terminalCommand(const ProgramInstalled& installed);

// A start definition made from a desktop entry, as a dropped desktop entry becomes one: Exec's program as
// Module (in double quotes when it holds a blank), its arguments quoted into Parms so that the launcher
// splits them back into the same words, Path as Start Directory, Name (else Comment, else fallbackName) as
// the name, and X-GNOME-Autostart-Delay as Delay; every other field keeps its default. An entry with
// Terminal=true runs in terminal (from terminalCommand). nullopt, with the reason in error, when the entry has
// problems or no Exec, when it needs a terminal and terminal is empty, when the program holds a double quote,
// or when Module, Parms or Start Directory would be longer than a registry text holds (their tail would be
// lost). A name that long is cut at a character boundary.
std::optional<StartDefinition> definitionFromDesktopEntry(const DesktopEntry& entry, std::string_view fallbackName,
                                                          std::string& error,
                                                          const std::vector<std::string>& terminal = {});

// True when path names a desktop entry, the shortcut of this desktop.
bool isDesktopEntryPath(std::string_view path);

}  // namespace kip
