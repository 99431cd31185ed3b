#include "exchange/argument_quoting.h"

namespace kip {

std::string quoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) return std::string(argument);
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // 2n+1 backslashes before a quote give n backslashes and the quote itself.
      out.append(2 * backslashes + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  // Backslashes before the closing quote are doubled so that it still closes.
  out.append(2 * backslashes, '\\');
  out += '"';
  return out;
}

std::string quoteArguments(std::span<const std::string> arguments) {
  std::string out;
  for (const auto& argument : arguments) {
    if (!out.empty()) out += ' ';
    out += quoteArgument(argument);
  }
  return out;
}

}  // namespace kip
