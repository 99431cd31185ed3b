#pragma once

#include <memory>
#include <string>

#include "app/run_engine.h"
#include "platform/prompts.h"

namespace kip {

// What the program's entry point hands to the window module.
struct WindowStart {
  int* argc;
  char** argv;
  const char* runtimePath;
  const CoreServices* services;
  // Started up before the toolkit was loaded; null when the window runs the start-up sequence itself,
  // which it does after the splash screen.
  RunEngine* engine;
  Switch sw;
  bool splash;
};

// The entry points of the window module, the part of the program that needs the toolkit.
extern "C" {
// Runs the window until the program ends; returns the exit status.
using WindowRunFunction = int (*)(const WindowStart* start);
// Asks the copy already running to raise its window.
using WindowAskToRaiseFunction = void (*)(int* argc, char** argv, const char* runtimePath);
// The toolkit's message boxes and file dialogs, the toolkit started if it was not.
using WindowPromptsFunction = Prompts* (*)(int* argc, char** argv);
}

// The window module loaded from beside the program or from its installed folder.
class WindowModule {
 public:
  // Loads the module; false with the loader's words in error when it cannot.
  bool load(std::string& error);

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
