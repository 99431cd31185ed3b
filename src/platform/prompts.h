#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kip {

enum class Answer { Yes, No, Cancel };
enum class MessageIcon { None, Information, Warning, Error };

struct FileDialogOptions {
  std::string title;
  std::string filter;             // "Text|*.txt|All Files|*.*"
  std::string defaultExtension;   // without the dot
  std::string fileName;           // preset name (a folder for folderName)
  bool executablesFirst = false;  // the first filter lists only executable files
};

// The questions and messages the program puts to the user, captioned "Kip Launch Manager".
class Prompts {
 public:
  virtual ~Prompts() = default;
  // A modal message with an OK button.
  virtual void message(std::string_view text, MessageIcon icon = MessageIcon::None) = 0;
  // A modal question with Yes, No and Cancel.
  virtual Answer question(std::string_view text) = 0;
  // A save-file dialog; nullopt when cancelled.
  virtual std::optional<std::string> saveFileName(const FileDialogOptions& options) = 0;
  // An open-file dialog for an existing file; nullopt when cancelled.
  virtual std::optional<std::string> openFileName(const FileDialogOptions& options) = 0;
  // A folder chooser offering existing folders only, starting at options.fileName; nullopt when cancelled.
  // Prompts without a chooser (a terminal) answer as cancelled.
  virtual std::optional<std::string> folderName(const FileDialogOptions& options) {
    (void)options;
    return std::nullopt;
  }
};

inline constexpr std::string_view kAppTitle = "Kip Launch Manager";

}  // namespace kip
