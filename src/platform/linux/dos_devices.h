#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kip {

// Drive letters mapped like Wine's dosdevices: <folder>/x: is a symbolic link to the folder of drive X;
// z: is the root folder when it has no link of its own.
class DosDevices {
 public:
  explicit DosDevices(std::string folder) : m_folder(std::move(folder)) {}
  // $KIPLAUNCH_DOSDEVICES, else $XDG_CONFIG_HOME/kiplaunch/dosdevices (default ~/.config/...).
  static DosDevices fromEnvironment();

  [[nodiscard]] const std::string& folder() const { return m_folder; }

  // The Linux path of a drive path ("C:\dir\file", "c:"), "\" turned into "/"; nullopt when the
  // letter is not mapped or the text is no drive path.
  [[nodiscard]] std::optional<std::string> map(std::string_view drivePath) const;
  // The folder a drive's letter stands for (the link itself, or "/" for an unlinked z:); nullopt when
  // the letter is not mapped.
  [[nodiscard]] std::optional<std::string> driveFolder(char letter) const;

 private:
  std::string m_folder;
};

// True when the second character of text is ":".
bool isDrivePath(std::string_view text);

}  // namespace kip
