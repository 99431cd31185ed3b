#pragma once

#include <cstddef>
#include <cstdint>
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

// The [Desktop Entry] group of a desktop entry file (".desktop"), as far as this program uses it: only the
// unlocalised value of each key (Name, not Name[de]), string escapes resolved, Exec taken apart into words.
// Keys that are absent keep the defaults below.
struct DesktopEntry {
  bool hasEntryGroup = false;  // the file has a [Desktop Entry] group
  std::string type;            // Type
  std::string name;            // Name
  std::string comment;         // Comment
  // Exec: the program, then its arguments, with the quoting resolved, the % field codes dropped (a word made
  // only of field codes goes with them) and %% turned into %. nullopt when there is no Exec.
  std::optional<std::vector<std::string>> exec;
  std::string tryExec;                  // TryExec
  std::string path;                     // Path: the working directory of the program
  std::string icon;                     // Icon: a theme icon name or an absolute file
  bool hidden = false;                  // Hidden: the entry counts as deleted
  bool autostartEnabled = true;         // X-GNOME-Autostart-enabled: false keeps it from starting at logon
  std::int32_t autostartDelay = 0;      // X-GNOME-Autostart-Delay, in seconds
  std::vector<std::string> onlyShowIn;  // OnlyShowIn: the desktops that may show it; empty means all
  std::vector<std::string> notShowIn;   // NotShowIn: the desktops that must not
  // Every malformed line and invalid value, in line order. An entry with problems is not to be used: what a
  // malformed line meant cannot be known.
  std::vector<DesktopEntryProblem> problems;
};

// Reads the text of a desktop entry file: comment and blank lines, [group] headers, key=value lines with
// blanks around "=" ignored. Every other line, a key outside any group, an invalid key name, a group or key
// given twice, and a value that its key cannot take (a boolean other than true/false, an Exec that cannot be
// taken apart) are reported with their line numbers; a file without a [Desktop Entry] group, at line 0.
DesktopEntry parseDesktopEntry(std::string_view text);

// The largest desktop entry file read, in bytes; desktop entries are a few kilobytes at most.
inline constexpr std::size_t kMaxDesktopEntrySize = 1 << 20;

// Reads and parses the regular file at path. A file that cannot be read, is not a regular file or is larger
// than kMaxDesktopEntrySize gives an entry with one problem at line 0 that says why.
DesktopEntry readDesktopEntryFile(const std::string& path);

// A string value with its escapes resolved: \s space, \n line feed, \t tab, \r carriage return, \\ backslash.
// Any other backslash is kept together with the character after it, for Exec's own quoting to resolve.
std::string unescapeDesktopValue(std::string_view value);

// Takes an Exec value (escapes already resolved) apart into words: blanks separate words outside double
// quotes; inside them a backslash escapes ", `, $ and \; outside them it escapes any character. Known field
// codes (%f %F %u %U %d %D %n %N %i %c %k %v %m) are dropped, %% gives %. nullopt, with the reason in error,
// for an unknown field code, an unclosed quote, a single quote outside double quotes (Exec quotes with double
// quotes only), a trailing backslash or %, or no program.
std::optional<std::vector<std::string>> splitDesktopExec(std::string_view exec, std::string& error);

// A start definition made from a desktop entry, as a dropped desktop entry becomes one: Exec's program as
// Module (in double quotes when it holds a blank), its arguments quoted into Parms so that the launcher
// splits them back into the same words, Path as Start Directory, Name (else Comment, else fallbackName) as
// the name, and X-GNOME-Autostart-Delay as Delay; every other field keeps its default. nullopt, with the
// reason in error, when the entry has problems or no Exec, when the program holds a double quote, or when
// Module, Parms or Start Directory would be longer than a registry text holds (their tail would be lost).
// A name that long is cut at a character boundary.
std::optional<StartDefinition> definitionFromDesktopEntry(const DesktopEntry& entry, std::string_view fallbackName,
                                                          std::string& error);

// True when path names a desktop entry, the shortcut of this desktop.
bool isDesktopEntryPath(std::string_view path);

}  // namespace kip
