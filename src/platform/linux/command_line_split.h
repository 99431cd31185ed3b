#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kip {

// A command text taken apart into the program and its arguments.
struct SplitCommand {
  // The program as written in the command text (without its quotes); empty when there is none.
  std::string program;
  // The executable file the program names, when the lookup found one.
  std::optional<std::string> resolved;
  std::vector<std::string> arguments;
};

// Finds the executable file a program text names; nullopt when it names none.
using ExecutableLookup = std::function<std::optional<std::string>(std::string_view program)>;

// Splits a command text the way process creation on the original desktop does: a program in double
// quotes; else the shortest run of blank-separated words that the lookup accepts; else the first word.
// The rest is split into arguments by splitArguments.
SplitCommand splitCommandLine(std::string_view text, const ExecutableLookup& lookup);

// Splits arguments at blanks outside double quotes. Quotes group and are removed; inside quotes a
// doubled quote is a literal one; 2n backslashes before a quote give n backslashes, 2n+1 give n and a
// literal quote; other backslashes are literal.
std::vector<std::string> splitArguments(std::string_view text);

}  // namespace kip
