#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kip {

// What a desktop entry (.desktop file) says about the program it starts.
struct DesktopEntry {
  std::string program;      // the first word of Exec, unquoted
  std::string parameters;   // the other words of Exec, quoted back as the launcher splits them
  std::string directory;    // Path
  std::string description;  // Name, else Comment
  std::string icon;         // Icon
};

// Parses the text of a desktop entry: the keys of its [Desktop Entry] group, the escapes of string values
// undone, Exec split at blanks outside double quotes with its field codes dropped. nullopt when the text
// has no such group or no Exec program.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text);

// Splits an Exec value (its string escapes already undone) into words, dropping field codes ("%f", "%U",
// ...) and turning "%%" into "%".
std::vector<std::string> splitExec(std::string_view exec);

// One argument written so that the launcher's splitting gives it back unchanged.
std::string quoteArgument(std::string_view argument);

// True when path names a desktop entry, the shortcut of this desktop.
bool isDesktopEntryPath(std::string_view path);

}  // namespace kip
