#include "exchange/desktop_entry.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>

#include "base/blank_trim.h"
#include "base/utf8.h"
#include "exchange/argument_quoting.h"

namespace kip {

namespace {

constexpr std::string_view kEntryGroup = "Desktop Entry";
constexpr std::string_view kFieldCodes = "fFuUdDnNickvm";

bool isKeyCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// A key is letters, digits and "-", optionally followed by a locale in brackets ("Name[de_DE]").
bool isValidKey(std::string_view key, bool& localised) {
  const auto open = key.find('[');
  const std::string_view base = key.substr(0, open);
  if (base.empty()) return false;
  for (const char c : base)
    if (!isKeyCharacter(c)) return false;
  localised = open != std::string_view::npos;
  if (!localised) return true;
  const std::string_view locale = key.substr(open + 1);
  return locale.size() >= 2 && locale.back() == ']' && locale.find_first_of("[]") == locale.size() - 1;
}

bool isValidGroupName(std::string_view name) {
  for (const char c : name)
    if (c == '[' || c == ']' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

std::optional<bool> parseBoolean(std::string_view value) {
  if (value == "true" || value == "1") return true;
  if (value == "false" || value == "0") return false;
  return std::nullopt;
}

std::optional<std::int32_t> parseSeconds(std::string_view value) {
  if (value.empty()) return std::nullopt;
  std::int64_t seconds = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + (c - '0');
    if (seconds > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  }
  return static_cast<std::int32_t>(seconds);
}

// A list value: items end at ";" (the last one may lack it), "\;" is a ";" inside an item, and each item's
// string escapes are resolved; empty items are dropped.
std::vector<std::string> parseList(std::string_view value) {
  std::vector<std::string> items;
  std::string item;
  const auto finish = [&] {
    if (!item.empty()) items.push_back(unescapeDesktopValue(item));
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
  DesktopEntry run(std::string_view text) {
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
    return std::move(m_entry);
  }

 private:
  enum class Group { None, Entry, Other };

  void problem(std::size_t line, std::string message) { m_entry.problems.push_back({line, std::move(message)}); }

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
    if (!m_keys.insert(std::string(key)).second) {
      problem(number, "key " + quoted(key) + " is given twice in its group");
      return;
    }
    if (m_group == Group::Entry && !localised) entryValue(number, key, value);
  }

  void header(std::size_t number, std::string_view line) {
    if (line.size() < 2 || line.back() != ']' || !isValidGroupName(line.substr(1, line.size() - 2))) {
      problem(number, "malformed [group] header");
      m_group = Group::Other;  // its keys belong to no group this program reads
      m_keys.clear();
      return;
    }
    const std::string_view name = line.substr(1, line.size() - 2);
    if (!m_groups.insert(std::string(name)).second) problem(number, "group [" + std::string(name) + "] is given twice");
    const bool entry = name == kEntryGroup && !m_entry.hasEntryGroup;
    if (entry) m_entry.hasEntryGroup = true;
    m_group = entry ? Group::Entry : Group::Other;
    m_keys.clear();
  }

  void entryValue(std::size_t number, std::string_view key, std::string_view value) {
    if (key == "Type") {
      m_entry.type = unescapeDesktopValue(value);
    } else if (key == "Name") {
      m_entry.name = unescapeDesktopValue(value);
    } else if (key == "Comment") {
      m_entry.comment = unescapeDesktopValue(value);
    } else if (key == "TryExec") {
      m_entry.tryExec = unescapeDesktopValue(value);
    } else if (key == "Path") {
      m_entry.path = unescapeDesktopValue(value);
    } else if (key == "Icon") {
      m_entry.icon = unescapeDesktopValue(value);
    } else if (key == "Exec") {
      std::string error;
      m_entry.exec = splitDesktopExec(unescapeDesktopValue(value), error);
      if (!m_entry.exec) problem(number, "Exec: " + error);
    } else if (key == "Hidden" || key == "X-GNOME-Autostart-enabled") {
      const auto flag = parseBoolean(value);
      if (!flag)
        problem(number, std::string(key) + ": " + quoted(value) + " is not true or false");
      else
        (key == "Hidden" ? m_entry.hidden : m_entry.autostartEnabled) = *flag;
    } else if (key == "X-GNOME-Autostart-Delay") {
      const auto seconds = parseSeconds(value);
      if (!seconds)
        problem(number, std::string(key) + ": " + quoted(value) + " is not a number of seconds");
      else
        m_entry.autostartDelay = *seconds;
    } else if (key == "OnlyShowIn") {
      m_entry.onlyShowIn = parseList(value);
    } else if (key == "NotShowIn") {
      m_entry.notShowIn = parseList(value);
    }
  }

  DesktopEntry m_entry;
  Group m_group = Group::None;
  std::set<std::string> m_groups;
  std::set<std::string> m_keys;  // the keys of the current group
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

std::optional<std::vector<std::string>> splitDesktopExec(std::string_view exec, std::string& error) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool kept = false;  // the word has a character or a pair of quotes, so it stays even when empty
  bool inQuotes = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (!inQuotes && (isSpaceOrTab(c) || c == '\n')) {
      if (kept) words.push_back(std::move(word));
      word.clear();
      inWord = kept = false;
      continue;
    }
    inWord = true;
    if (c == '"') {
      inQuotes = !inQuotes;
      kept = true;
    } else if (c == '\\') {
      if (i + 1 == exec.size()) {
        error = "it ends in a backslash";
        return std::nullopt;
      }
      const char next = exec[i + 1];
      if (!inQuotes || std::string_view("\"`$\\").find(next) != std::string_view::npos) {
        word += next;
        ++i;
      } else {
        word += c;
      }
      kept = true;
    } else if (c == '%') {
      if (i + 1 == exec.size()) {
        error = "it ends in a lone %";
        return std::nullopt;
      }
      const char code = exec[++i];
      if (code == '%') {
        word += '%';
        kept = true;
      } else if (kFieldCodes.find(code) == std::string_view::npos) {
        error = std::string("unknown field code %") + code;
        return std::nullopt;
      }
    } else if (c == '\'' && !inQuotes) {
      error = "a single quote outside double quotes (Exec quotes with double quotes only)";
      return std::nullopt;
    } else {
      word += c;
      kept = true;
    }
  }
  if (inQuotes) {
    error = "a double quote is not closed";
    return std::nullopt;
  }
  if (inWord && kept) words.push_back(std::move(word));
  if (words.empty() || words.front().empty()) {
    error = "it names no program";
    return std::nullopt;
  }
  return words;
}

DesktopEntry parseDesktopEntry(std::string_view text) { return EntryParser().run(text); }

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
  return parseDesktopEntry(text);
}

std::optional<StartDefinition> definitionFromDesktopEntry(const DesktopEntry& entry, std::string_view fallbackName,
                                                          std::string& error) {
  if (!entry.problems.empty()) {
    error = entry.problems.front().message;
    return std::nullopt;
  }
  if (!entry.exec) {
    error = "there is no Exec key";
    return std::nullopt;
  }
  const std::string& program = entry.exec->front();
  if (program.find('"') != std::string::npos) {
    error = "the program's name holds a double quote, which a command line cannot carry";
    return std::nullopt;
  }
  StartDefinition def;
  def.Module = program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
  def.Parms = quoteArguments(std::span(entry.exec->begin() + 1, entry.exec->end()));
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
