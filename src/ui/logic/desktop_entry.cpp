#include "ui/logic/desktop_entry.h"

#include <map>

namespace kip {

namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// Undoes the escapes of a string value: \s \n \t \r \\ (any other backslash stays as written).
std::string unescapeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += value[i];
    }
  }
  return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

}  // namespace

std::vector<std::string> splitExec(std::string_view exec) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  bool fieldCodeOnly = false;  // the word so far is one field code, which removes the whole word
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size()) {
        word += exec[++i];
      } else {
        word += c;
      }
      continue;
    }
    if (isBlank(c)) {
      if (inWord && !fieldCodeOnly) words.push_back(word);
      word.clear();
      inWord = false;
      fieldCodeOnly = false;
      continue;
    }
    const bool startsWord = !inWord;
    inWord = true;
    if (c == '"') {
      quoted = true;
      fieldCodeOnly = false;
    } else if (c == '%' && i + 1 < exec.size()) {
      const char code = exec[++i];
      if (code == '%') {
        word += '%';
        fieldCodeOnly = false;
      } else {
        fieldCodeOnly = startsWord;
      }
    } else {
      word += c;
      fieldCodeOnly = false;
    }
  }
  if (inWord && !fieldCodeOnly) words.push_back(word);
  return words;
}

std::string quoteArgument(std::string_view argument) {
  const bool plain = !argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos;
  if (plain) return std::string(argument);
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote itself escaped.
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
  std::map<std::string, std::string, std::less<>> keys;
  bool inGroup = false;
  bool sawGroup = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == "[Desktop Entry]";
      sawGroup = sawGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string key(trim(line.substr(0, eq)));
    // The first of a repeated key counts.
    keys.emplace(key, unescapeValue(trim(line.substr(eq + 1))));
  }
  if (!sawGroup) return std::nullopt;
  const auto exec = keys.find("Exec");
  if (exec == keys.end()) return std::nullopt;
  const auto words = splitExec(exec->second);
  if (words.empty() || words.front().empty()) return std::nullopt;
  DesktopEntry entry;
  entry.program = words.front();
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (i > 1) entry.parameters += ' ';
    entry.parameters += quoteArgument(words[i]);
  }
  if (const auto it = keys.find("Path"); it != keys.end()) entry.directory = it->second;
  if (const auto it = keys.find("Name"); it != keys.end() && !it->second.empty())
    entry.description = it->second;
  else if (const auto c = keys.find("Comment"); c != keys.end())
    entry.description = c->second;
  if (const auto it = keys.find("Icon"); it != keys.end()) entry.icon = it->second;
  return entry;
}

bool isDesktopEntryPath(std::string_view path) {
  constexpr std::string_view kSuffix = ".desktop";
  return path.size() > kSuffix.size() && path.substr(path.size() - kSuffix.size()) == kSuffix;
}

}  // namespace kip
