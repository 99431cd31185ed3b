#include "terminal_prompts.h"

#include "ctl/one_line.h"

#include <istream>
#include <ostream>

namespace kip::ctl {

namespace {

std::optional<Answer> parseAnswer(std::string reply) {
  const auto first = reply.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::nullopt;
  reply = reply.substr(first, reply.find_last_not_of(" \t\r") - first + 1);
  for (auto& c : reply) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (reply == "y" || reply == "yes") return Answer::Yes;
  if (reply == "n" || reply == "no") return Answer::No;
  if (reply == "c" || reply == "cancel") return Answer::Cancel;
  return std::nullopt;
}

}  // namespace

void TerminalPrompts::message(std::string_view text, MessageIcon) { m_io.err << oneLine(text) << '\n' << std::flush; }

Answer TerminalPrompts::question(std::string_view text) {
  if (m_fixed) return *m_fixed;
  for (;;) {
    m_io.out << text << " [y/n/c] " << std::flush;
    std::string reply;
    // Without an answer there is nobody to ask: stop, as Cancel does.
    if (!std::getline(m_io.in, reply)) {
      m_io.out << '\n';
      return Answer::Cancel;
    }
    if (const auto answer = parseAnswer(reply)) return *answer;
    m_io.out << "Please answer y (yes), n (no) or c (cancel).\n";
  }
}

}  // namespace kip::ctl
