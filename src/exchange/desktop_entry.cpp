#include "exchange/desktop_entry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>

#include "base/blank_trim.h"
#include "base/utf8.h"
#include "exchange/argument_quoting.h"

namespace kip {

namespace {

constexpr std::string_view kEntryGroup = "Desktop Entry";

// A key as the desktops' reader takes it: a name without "=", "[" or "]" that neither begins nor ends with a
// blank, optionally followed by a locale in brackets ("Name[de_DE]").
bool isValidKey(std::string_view key, bool& localised) {
  const auto open = key.find_first_of("[]");
  const std::string_view base = key.substr(0, open);
  if (base.empty() || base.front() == ' ' || base.back() == ' ') return false;
  localised = open != std::string_view::npos;
  if (!localised) return true;
  if (key[open] != '[') return false;
  const std::string_view locale = key.substr(open + 1);
  if (locale.empty() || locale.back() != ']') return false;
  for (const char c : locale.substr(0, locale.size() - 1)) {
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                         c == '_' || c == '.' || c == '@' || static_cast<unsigned char>(c) >= 0x80;
    if (!allowed) return false;
  }
  return true;
}

bool isValidGroupName(std::string_view name) {
  for (const char c : name)
    if (c == '[' || c == ']' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

std::optional<bool> parseBoolean(std::string_view value) {
  value = trimRight(value);
  if (value == "true" || value == "1") return true;
  if (value == "false" || value == "0") return false;
  return std::nullopt;
}

// A whole number with an optional sign and blanks around it, within 32 bits.
std::optional<std::int32_t> parseInteger(std::string_view value) {
  value = trimRight(trimLeft(value));
  bool negative = false;
  if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
    negative = value.front() == '-';
    value.remove_prefix(1);
  }
  if (value.empty()) return std::nullopt;
  std::int64_t number = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
    if (number > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  number = negative ? -number : number;
  if (number > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(number);
}

// A list value: items end at ";" (the last one may lack it), "\;" is a ";" inside an item, and each item's
// string escapes are resolved; empty items are dropped.
std::vector<std::string> parseList(std::string_view value) {
  std::vector<std::string> items;
  std::string item;
  const auto finish = [&] {
    if (!item.empty()) items.push_back(utf8Repaired(unescapeDesktopValue(item)));
    item.clear();
  };
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      if (value[i + 1] == ';') {
        item += ';';
      } else {
        item += c;
        item += value[i + 1];
      }
      ++i;
    } else if (c == ';') {
      finish();
    } else {
      item += c;
    }
  }
  finish();
  return items;
}

// The first backslash that is no string escape (\s \n \t \r \\); npos when there is none.
std::size_t findInvalidEscape(std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') continue;
    if (i + 1 == value.size() || std::string_view("sntr\\").find(value[i + 1]) == std::string_view::npos) return i;
    ++i;
  }
  return std::string_view::npos;
}

// A text in single quotes that a shell gives back unchanged.
std::string shellQuoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  out += '\'';
  return out;
}

// The icon name %i gives: a theme name loses a .png, .xpm or .svg ending, as the desktops' reader drops it.
std::string iconForFieldCode(std::string_view icon) {
  if (!icon.empty() && icon.front() != '/') {
    for (const std::string_view ending : {".png", ".xpm", ".svg"})
      if (icon.ends_with(ending)) return std::string(icon.substr(0, icon.size() - ending.size()));
  }
  return std::string(icon);
}

// The Exec text with its field codes expanded.
std::string expandFieldCodes(std::string_view exec, const DesktopEntry& entry) {
  std::string out;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] != '%' || i + 1 == exec.size()) {
      out += exec[i];
      continue;
    }
    switch (exec[++i]) {
      case '%':
        out += '%';
        break;
      case 'i':
        if (!entry.icon.empty()) out += "--icon " + shellQuoted(iconForFieldCode(entry.icon));
        break;
      case 'c':
        if (!entry.name.empty()) out += shellQuoted(entry.name);
        break;
      case 'k':
        if (!entry.file.empty()) out += shellQuoted(entry.file);
        break;
      default:  // no files or URLs are passed at logon, and the deprecated codes give nothing
        break;
    }
  }
  return out;
}

// Splits a command line into words as a shell does, without expanding anything.
std::optional<std::vector<std::string>> splitShellWords(std::string_view text, std::string& error) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else if (c == '#' && !inWord) {
      const auto end = text.find('\n', i);
      if (end == std::string_view::npos) break;
      i = end - 1;
    } else if (c == '\\') {
      if (i + 1 == text.size()) {
        error = "it ends in a backslash";
        return std::nullopt;
      }
      if (text[++i] != '\n') {
        word += text[i];
        inWord = true;
      }
    } else if (c == '\'') {
      const auto close = text.find('\'', i + 1);
      if (close == std::string_view::npos) {
        error = "a single quote is not closed";
        return std::nullopt;
      }
      word.append(text.substr(i + 1, close - i - 1));
      i = close;
      inWord = true;
    } else if (c == '"') {
      std::size_t j = i + 1;
      for (; j < text.size() && text[j] != '"'; ++j) {
        if (text[j] == '\\' && j + 1 < text.size() &&
            std::string_view("$`\"\\\n").find(text[j + 1]) != std::string_view::npos) {
          if (text[++j] != '\n') word += text[j];
        } else {
          word += text[j];
        }
      }
      if (j == text.size()) {
        error = "a double quote is not closed";
        return std::nullopt;
      }
      i = j;
      inWord = true;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  if (words.empty() || words.front().empty()) {
    error = "it names no program";
    return std::nullopt;
  }
  return words;
}

std::string quoted(std::string_view text) {
  // Appended rather than concatenated: GCC 12 at -O3 reports a false -Wrestrict for "..." + std::string.
  std::string out(1, '"');
  out += text;
  out += '"';
  return out;
}

// Reads the lines of one file into an entry.
class EntryParser {
 public:
  DesktopEntry run(std::string_view text, std::string_view file) {
    m_entry.file = std::string(file);
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::size_t number = 0;
    while (!text.empty()) {
      const auto end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
      if (line.ends_with('\r')) line.remove_suffix(1);
      handle(++number, trimLeft(line));
    }
    if (!m_entry.hasEntryGroup) m_entry.problems.push_back({0, "there is no [Desktop Entry] group"});
    // Read once every line is in: the last of a key given twice counts, and Exec's field codes need the name
    // and icon wherever they stand.
    for (const auto& [key, value] : m_values) entryValue(value.first, key, value.second);
    if (m_exec) {
      std::string error;
      const std::string_view exec = m_exec->second;
      if (const auto bad = findInvalidEscape(exec); bad != std::string_view::npos)
        error = "\"" + std::string(exec.substr(bad, 2)) + "\" is no escape a desktop entry value may hold";
      else
        m_entry.exec = splitDesktopExec(unescapeDesktopValue(exec), m_entry, error);
      if (!m_entry.exec) problem(m_exec->first, "Exec: " + error);
    }
    std::stable_sort(m_entry.problems.begin(), m_entry.problems.end(),
                     [](const auto& a, const auto& b) { return a.line < b.line; });
    return std::move(m_entry);
  }

 private:
  enum class Group { None, Entry, Other };

  void problem(std::size_t line, std::string message) { m_entry.problems.push_back({line, std::move(message)}); }
  void ignored(std::size_t line, std::string_view key, std::string_view value, std::string_view what) {
    m_entry.ignored.push_back({line, std::string(key) + ": " + quoted(trimRight(value)) + " is not " +
                                         std::string(what) + "; read as absent"});
  }

  void handle(std::size_t number, std::string_view line) {
    if (line.empty() || line.front() == '#') return;
    if (line.front() == '[') {
      header(number, trimRight(line));
      return;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
      problem(number, "not a key=value line, a [group] header or a comment");
      return;
    }
    const std::string_view key = trimRight(line.substr(0, equals));
    const std::string_view value = trimLeft(line.substr(equals + 1));
    bool localised = false;
    if (!isValidKey(key, localised)) {
      problem(number, "invalid key name " + quoted(key));
      return;
    }
    if (m_group == Group::None) {
      problem(number, "key " + quoted(key) + " comes before the first [group] header");
      return;
    }
    if (m_group != Group::Entry || localised) return;
    if (key == "Exec")
      m_exec.emplace(number, std::string(value));
    else
      m_values[std::string(key)] = {number, std::string(value)};
  }

  void header(std::size_t number, std::string_view line) {
    if (line.size() < 2 || line.back() != ']' || !isValidGroupName(line.substr(1, line.size() - 2))) {
      problem(number, "malformed [group] header");
      m_group = Group::Other;  // its keys belong to no group this program reads
      return;
    }
    const std::string_view name = line.substr(1, line.size() - 2);
    const bool entry = name == kEntryGroup;
    if (entry) m_entry.hasEntryGroup = true;
    m_group = entry ? Group::Entry : Group::Other;
  }

  static std::string text(std::string_view value) { return utf8Repaired(unescapeDesktopValue(value)); }

  void entryValue(std::size_t number, std::string_view key, std::string_view value) {
    if (key == "Type") {
      m_entry.type = text(value);
    } else if (key == "Name") {
      m_entry.name = text(value);
    } else if (key == "Comment") {
      m_entry.comment = text(value);
    } else if (key == "TryExec") {
      m_entry.tryExec = text(value);
    } else if (key == "Path") {
      m_entry.path = text(value);
    } else if (key == "Icon") {
      m_entry.icon = text(value);
    } else if (key == "StartupWMClass") {
      m_entry.startupWmClass = text(value);
    } else if (key == "X-GNOME-Autostart-Phase") {
      m_entry.autostartPhase = text(trimRight(value));
    } else if (key == "AutostartCondition") {
      m_entry.autostartCondition = text(trimRight(value));
    } else if (key == "X-KDE-autostart-condition") {
      m_entry.kdeAutostartCondition = text(trimRight(value));
    } else if (key == "Hidden" || key == "Terminal" || key == "X-GNOME-Autostart-enabled") {
      const auto flag = parseBoolean(value);
      if (!flag)
        ignored(number, key, value, "true or false");
      else
        (key == "Hidden" ? m_entry.hidden : key == "Terminal" ? m_entry.terminal : m_entry.autostartEnabled) = *flag;
    } else if (key == "X-GNOME-Autostart-Delay") {
      const auto seconds = parseInteger(value);
      if (!seconds)
        ignored(number, key, value, "a whole number of seconds");
      else
        m_entry.autostartDelay = std::max(*seconds, 0);
    } else if (key == "OnlyShowIn") {
      m_entry.onlyShowIn = parseList(value);
    } else if (key == "NotShowIn") {
      m_entry.notShowIn = parseList(value);
    }
  }

  DesktopEntry m_entry;
  Group m_group = Group::None;
  std::map<std::string, std::pair<std::size_t, std::string>> m_values;  // key -> line, value; the last given
  std::optional<std::pair<std::size_t, std::string>> m_exec;
};

}  // namespace

std::string unescapeDesktopValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c != '\\' || i + 1 == value.size()) {
      out += c;
      continue;
    }
    switch (value[i + 1]) {
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
        out += c;
        out += value[i + 1];
        break;
    }
    ++i;
  }
  return out;
}

std::optional<std::vector<std::string>> splitDesktopExec(std::string_view exec, const DesktopEntry& entry,
                                                         std::string& error) {
  return splitShellWords(expandFieldCodes(exec, entry), error);
}

std::vector<std::string> terminalCommand(const ProgramInstalled& installed) {
  if (installed("xdg-terminal-exec")) return {"xdg-terminal-exec"};
  if (installed("x-terminal-emulator")) return {"x-terminal-emulator", "-e"};
  return {};
}

DesktopEntry parseDesktopEntry(std::string_view text, std::string_view file) { return EntryParser().run(text, file); }

DesktopEntry readDesktopEntryFile(const std::string& path) {
  DesktopEntry failed;
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec) {
    failed.problems.push_back({0, "cannot be read: " + ec.message()});
    return failed;
  }
  // A pipe or device might never end; only a regular file is read.
  if (!std::filesystem::is_regular_file(status)) {
    failed.problems.push_back({0, "is not a regular file"});
    return failed;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    failed.problems.push_back({0, std::string("cannot be read: ") + std::strerror(errno)});
    return failed;
  }
  std::string text(kMaxDesktopEntrySize + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) {
    failed.problems.push_back({0, "cannot be read: input error"});
    return failed;
  }
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxDesktopEntrySize) {
    failed.problems.push_back({0, "is larger than " + std::to_string(kMaxDesktopEntrySize) + " bytes"});
    return failed;
  }
  return parseDesktopEntry(text, path);
}

std::optional<StartDefinition> definitionFromDesktopEntry(const DesktopEntry& entry, std::string_view fallbackName,
                                                          std::string& error,
                                                          const std::vector<std::string>& terminal) {
  if (!entry.problems.empty()) {
    error = entry.problems.front().message;
    return std::nullopt;
  }
  if (!entry.exec) {
    error = "there is no Exec key";
    return std::nullopt;
  }
  if (entry.terminal && terminal.empty()) {
    error =
        "it runs in a terminal (Terminal=true), and no terminal emulator is installed (xdg-terminal-exec or "
        "x-terminal-emulator)";
    return std::nullopt;
  }
  std::vector<std::string> words = entry.terminal ? terminal : std::vector<std::string>{};
  words.insert(words.end(), entry.exec->begin(), entry.exec->end());
  const std::string& program = words.front();
  if (program.find('"') != std::string::npos) {
    error = "the program's name holds a double quote, which a command line cannot carry";
    return std::nullopt;
  }
  StartDefinition def;
  def.Module = program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
  def.Parms = quoteArguments(std::span(words.begin() + 1, words.end()));
  def.StartDirectory = entry.path;
  for (const auto* text : {&def.Module, &def.Parms, &def.StartDirectory}) {
    if (text->size() > kMaxTextLength) {
      error = "the command or its folder is longer than the " + std::to_string(kMaxTextLength) +
              " bytes a definition holds";
      return std::nullopt;
    }
  }
  const std::string_view name = !entry.name.empty()      ? entry.name
                                : !entry.comment.empty() ? entry.comment
                                                         : fallbackName;
  def.Name = utf8Truncate(name, kMaxTextLength);
  def.Delay = entry.autostartDelay;
  return def;
}

bool isDesktopEntryPath(std::string_view path) {
  constexpr std::string_view kSuffix = ".desktop";
  return path.size() > kSuffix.size() && path.substr(path.size() - kSuffix.size()) == kSuffix;
}

}  // namespace kip
