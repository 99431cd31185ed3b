#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/prompts.h"
#include "verbs.h"

namespace kip::ctl {

// Puts the overwrite question to the terminal, or answers it the same way every time; messages go to
// standard error.
class TerminalPrompts final : public Prompts {
 public:
  TerminalPrompts(Io& io, std::optional<Answer> fixed) : m_io(io), m_fixed(fixed) {}

  void message(std::string_view text, MessageIcon) override;
  // Asks on standard output and reads y, n or c (or yes, no, cancel) from standard input until one comes;
  // the end of the input answers Cancel.
  Answer question(std::string_view text) override;
  std::optional<std::string> saveFileName(const FileDialogOptions&) override { return std::nullopt; }
  std::optional<std::string> openFileName(const FileDialogOptions&) override { return std::nullopt; }

 private:
  Io& m_io;
  std::optional<Answer> m_fixed;
};

}  // namespace kip::ctl
