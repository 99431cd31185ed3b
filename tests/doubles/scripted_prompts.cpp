#include "scripted_prompts.h"

namespace kip::test {

namespace {
std::optional<std::string> next(std::deque<std::optional<std::string>>& names) {
  if (names.empty()) return std::nullopt;
  auto name = std::move(names.front());
  names.pop_front();
  return name;
}
}  // namespace

ScriptedPrompts::ScriptedPrompts(std::deque<Answer> answers, Answer whenEmpty)
    : m_answers(std::move(answers)), m_whenEmpty(whenEmpty) {}

void ScriptedPrompts::message(std::string_view text, MessageIcon icon) {
  messages.push_back({std::string(text), icon});
}

Answer ScriptedPrompts::question(std::string_view text) {
  questions.emplace_back(text);
  if (m_answers.empty()) return m_whenEmpty;
  const Answer answer = m_answers.front();
  m_answers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedPrompts::saveFileName(const FileDialogOptions& options) {
  saveDialogs.push_back(options);
  return next(saveNames);
}

std::optional<std::string> ScriptedPrompts::openFileName(const FileDialogOptions& options) {
  openDialogs.push_back(options);
  return next(openNames);
}

std::optional<std::string> ScriptedPrompts::folderName(const FileDialogOptions& options) {
  folderDialogs.push_back(options);
  return next(folderNames);
}

void ScriptedPrompts::queue(std::initializer_list<Answer> more) { m_answers.insert(m_answers.end(), more); }

std::vector<std::string> ScriptedPrompts::messageTexts() const {
  std::vector<std::string> texts;
  for (const auto& m : messages) texts.push_back(m.text);
  return texts;
}

}  // namespace kip::test
