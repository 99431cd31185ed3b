#include "program/window_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <stdexcept>

#include "base/shared_library.h"

namespace kip {

namespace {

// The folder of the running program file.
std::string programFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  const std::string file(path, static_cast<std::size_t>(length));
  const auto slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

}  // namespace

bool WindowModule::load(std::string& error) {
  // Beside the program first (the build tree), then where it is installed.
  for (const std::string& folder : {programFolder(), std::string(KIP_WINDOW_MODULE_DIR)})
    if (!folder.empty() && loadFrom(folder, error)) return true;
  return false;
}

bool WindowModule::loadFrom(const std::string& folder, std::string& error) {
  if (run) return true;
  const std::string file = folder + "/" + kWindowModuleFile;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error = why ? why : "cannot load " + file;
    return false;
  }
  if (resolveSymbol(handle, kWindowRunSymbol, run) && resolveSymbol(handle, kWindowAskToRaiseSymbol, askToRaise) &&
      resolveSymbol(handle, kWindowPromptsSymbol, prompts))
    return true;
  error = file + " lacks its entry points";
  run = nullptr;
  return false;
}

Prompts& ToolkitPrompts::toolkit() {
  std::string error;
  if (!m_module.load(error)) throw std::runtime_error(error);
  return *m_module.prompts(&m_argc, m_argv);
}

void ToolkitPrompts::message(std::string_view text, MessageIcon icon) { toolkit().message(text, icon); }
Answer ToolkitPrompts::question(std::string_view text) { return toolkit().question(text); }
std::optional<std::string> ToolkitPrompts::saveFileName(const FileDialogOptions& options) {
  return toolkit().saveFileName(options);
}
std::optional<std::string> ToolkitPrompts::openFileName(const FileDialogOptions& options) {
  return toolkit().openFileName(options);
}
std::optional<std::string> ToolkitPrompts::folderName(const FileDialogOptions& options) {
  return toolkit().folderName(options);
}

}  // namespace kip
