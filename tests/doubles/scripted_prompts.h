#pragma once

#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "platform/prompts.h"

namespace kip::test {
// Prompts that answer from a script and record everything they were asked and told.
class ScriptedPrompts final : public Prompts {
 public:
  struct Message {
    std::string text;
    MessageIcon icon;
  };

  // answers: for question(), in order; whenEmpty once they are used up.
  explicit ScriptedPrompts(std::deque<Answer> answers = {}, Answer whenEmpty = Answer::Cancel);

  void message(std::string_view text, MessageIcon icon) override;
  Answer question(std::string_view text) override;
  // The next scripted file name, or nullopt (cancelled) when none is left.
  std::optional<std::string> saveFileName(const FileDialogOptions& options) override;
  std::optional<std::string> openFileName(const FileDialogOptions& options) override;
  std::optional<std::string> folderName(const FileDialogOptions& options) override;

  void queue(std::initializer_list<Answer> more);

  // The texts of the messages shown, in order.
  [[nodiscard]] std::vector<std::string> messageTexts() const;

  std::vector<Message> messages;
  std::vector<std::string> questions;
  std::deque<std::optional<std::string>> saveNames;  // nullopt entries cancel
  std::deque<std::optional<std::string>> openNames;
  std::deque<std::optional<std::string>> folderNames;
  std::vector<FileDialogOptions> saveDialogs;
  std::vector<FileDialogOptions> openDialogs;
  std::vector<FileDialogOptions> folderDialogs;

 private:
  std::deque<Answer> m_answers;
  Answer m_whenEmpty;
};

}  // namespace kip::test
