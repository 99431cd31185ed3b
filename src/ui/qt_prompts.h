#pragma once

#include "platform/prompts.h"

class QWidget;

namespace kip {

// Message boxes and file dialogs captioned "Kip Launch Manager", owned by a parent window when given.
class QtPrompts final : public Prompts {
 public:
  explicit QtPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
  void setParent(QWidget* parent) { m_parent = parent; }

  void message(std::string_view text, MessageIcon icon = MessageIcon::None) override;
  Answer question(std::string_view text) override;
  std::optional<std::string> saveFileName(const FileDialogOptions& options) override;
  std::optional<std::string> openFileName(const FileDialogOptions& options) override;
  std::optional<std::string> folderName(const FileDialogOptions& options) override;

 private:
  QWidget* m_parent;
};

}  // namespace kip
