#include "platform/linux/command_line_split.h"

namespace kip {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t skipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && isBlank(text[at])) ++at;
  return at;
}

}  // namespace

std::vector<std::string> splitArguments(std::string_view text) {
  std::vector<std::string> out;
  std::size_t i = skipBlanks(text, 0);
  while (i < text.size()) {
    std::string arg;
    bool quoted = false;
    while (i < text.size()) {
      const char c = text[i];
      if (!quoted && isBlank(c)) break;
      if (c == '\\') {
        const std::size_t start = i;
        while (i < text.size() && text[i] == '\\') ++i;
        const std::size_t count = i - start;
        if (i < text.size() && text[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(count, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
        continue;
      }
      arg += c;
      ++i;
    }
    out.push_back(std::move(arg));
    i = skipBlanks(text, i);
  }
  return out;
}

SplitCommand splitCommandLine(std::string_view text, const ExecutableLookup& lookup) {
  SplitCommand split;
  const std::size_t begin = skipBlanks(text, 0);
  if (begin >= text.size()) return split;

  std::size_t restAt = text.size();
  if (text[begin] == '"') {
    const std::size_t close = text.find('"', begin + 1);
    const std::size_t end = close == std::string_view::npos ? text.size() : close;
    split.program = std::string(text.substr(begin + 1, end - begin - 1));
    restAt = close == std::string_view::npos ? text.size() : close + 1;
    if (!split.program.empty() && lookup) split.resolved = lookup(split.program);
  } else {
    std::optional<std::size_t> firstEnd;
    std::size_t at = begin;
    while (at < text.size()) {
      std::size_t end = at;
      while (end < text.size() && !isBlank(text[end])) ++end;
      if (!firstEnd) firstEnd = end;
      const auto candidate = text.substr(begin, end - begin);
      if (lookup) {
        if (auto found = lookup(candidate)) {
          split.program = std::string(candidate);
          split.resolved = std::move(found);
          restAt = end;
          break;
        }
      }
      at = skipBlanks(text, end);
    }
    if (!split.resolved) {
      split.program = std::string(text.substr(begin, *firstEnd - begin));
      restAt = *firstEnd;
    }
  }
  split.arguments = splitArguments(text.substr(restAt));
  return split;
}

}  // namespace kip
