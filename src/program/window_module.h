#pragma once

#include <memory>
#include <string>

#include "platform/prompts.h"
#include "program/window_module_api.h"

namespace kip {

// The window module loaded from beside the program or from its installed folder.
class WindowModule {
 public:
  // Loads the module; false with the loader's words in error when it cannot.
  bool load(std::string& error);
  // Loads the module from one folder only.
  bool loadFrom(const std::string& folder, std::string& error);

  WindowRunFunction run = nullptr;
  WindowAskToRaiseFunction askToRaise = nullptr;
  WindowPromptsFunction prompts = nullptr;
};

// Prompts that load the window module and start the toolkit only when something is to be shown, so that
// a start-up that shows nothing needs neither.
class ToolkitPrompts final : public Prompts {
 public:
  ToolkitPrompts(WindowModule& module, int& argc, char** argv) : m_module(module), m_argc(argc), m_argv(argv) {}

  void message(std::string_view text, MessageIcon icon = MessageIcon::None) override;
  Answer question(std::string_view text) override;
  std::optional<std::string> saveFileName(const FileDialogOptions& options) override;
  std::optional<std::string> openFileName(const FileDialogOptions& options) override;
  std::optional<std::string> folderName(const FileDialogOptions& options) override;

 private:
  Prompts& toolkit();

  WindowModule& m_module;
  int& m_argc;
  char** m_argv;
};

}  // namespace kip
