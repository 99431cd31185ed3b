#include "ctl/reg_file_parser.h"

#include <algorithm>

#include "base/blank_trim.h"
#include "base/utf8.h"
#include "ctl/code_page.h"
#include "ctl/reg_value_text.h"

namespace kip {

namespace {

constexpr std::string_view kRegedit4Header = "REGEDIT4";
constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderHint = "(expected REGEDIT4 or Windows Registry Editor Version 5.00)";
constexpr std::size_t kExcerptBytes = 40;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && foldName(text.substr(0, prefix.size())) == foldName(prefix);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A whole-line comment: ";" as the registry editor writes it, "#" as some other editors do.
bool isComment(std::string_view trimmed) {
  return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

// What follows complete data may only be blanks or a comment.
bool onlyCommentLeft(std::string_view rest) {
  rest = trimLeft(rest);
  return rest.empty() || rest.front() == ';';
}

// A piece of the file quoted for a message, cut short when long.
std::string excerpt(std::string_view text) {
  auto shown = utf8Truncate(text, kExcerptBytes);
  if (shown.size() < text.size()) shown += "...";
  return "\"" + shown + "\"";
}

// The whole UTF-8 character at offset, for naming a bad character.
std::string characterText(std::string_view text, std::size_t offset) {
  std::size_t end = offset + 1;
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  return std::string(text.substr(offset, end - offset));
}

std::string characterAt(std::string_view text, std::size_t offset) {
  // Built by appending: GCC 12 at -O3 reports a false -Wrestrict in a chain of concatenations here.
  std::string quoted(1, '"');
  quoted += characterText(text, offset);
  quoted += '"';
  return quoted;
}

int lineOfOffset(std::string_view text, std::size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

}  // namespace

std::string describeValueName(std::string_view name) {
  if (name.empty()) return "the default value";
  return "the value " + excerpt(name);
}

RegFileParser::RegFileParser(std::span<const std::uint8_t> bytes, unsigned codePage) {
  if (!decode(bytes, codePage)) return;
  splitLines();
  readHeader();
}

bool RegFileParser::fail(int line, std::string message) {
  if (m_sink)
    m_sink->push_back(RegFileProblem{line, std::move(message)});
  else if (!m_problem)
    m_problem = RegFileProblem{line, std::move(message)};
  return false;
}

bool RegFileParser::decode(std::span<const std::uint8_t> bytes, unsigned codePage) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    const auto units = bytes.subspan(2);
    std::size_t bad = 0;
    auto text = utf16LeToUtf8(units, &bad);
    if (!text) {
      int line = 1;
      for (std::size_t i = 0; i + 1 < bad; i += 2)
        if (units[i] == '\n' && units[i + 1] == 0) ++line;
      return fail(line, "the UTF-16 text is damaged (an odd byte count or an unpaired surrogate)");
    }
    m_text = std::move(*text);
  } else if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    return fail(1, "UTF-16 big-endian files are not supported; save the file as UTF-16LE or UTF-8");
  } else {
    const bool bom = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    m_text.assign(bytes.begin() + (bom ? 3 : 0), bytes.end());
    if (const auto bad = findInvalidUtf8(m_text); bad != std::string::npos) {
      // Windows writes REGEDIT4 files in the machine's 8-bit code page.
      const auto first = m_text.find_first_not_of(" \t\r\n");
      if (bom || first == std::string::npos || !std::string_view(m_text).substr(first).starts_with(kRegedit4Header))
        return fail(lineOfOffset(m_text, bad),
                    "the text is not valid UTF-8 (save the file as UTF-8, or as UTF-16LE with a byte order mark)");
      auto converted = codePageToUtf8(m_text, codePage);
      if (!converted)
        return fail(lineOfOffset(m_text, bad), "the text is neither UTF-8 nor valid in code page " +
                                                   std::to_string(codePage) + " (name another with /cp)");
      m_text = std::move(*converted);
      m_codePageUsed = codePage;
    }
  }
  if (const auto nul = m_text.find('\0'); nul != std::string::npos) {
    const bool looksUtf16 = bytes.size() >= 2 && bytes[1] == 0 && bytes[0] != 0;
    return fail(lineOfOffset(m_text, nul), looksUtf16
                                               ? "the text holds NUL characters: a UTF-16 file needs a byte order mark"
                                               : "the text holds a NUL character");
  }
  return true;
}

void RegFileParser::splitLines() {
  std::string_view rest = m_text;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    auto line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    m_lines.push_back(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

bool RegFileParser::readHeader() {
  while (m_nextLine < m_lines.size() && trimLeft(m_lines[m_nextLine]).empty()) ++m_nextLine;
  if (m_nextLine == m_lines.size()) return fail(1, "the file is empty " + std::string(kHeaderHint));
  const auto header = trimRight(trimLeft(m_lines[m_nextLine]));
  const int line = static_cast<int>(m_nextLine) + 1;
  ++m_nextLine;
  if (header == kRegedit4Header) {
    m_format = Format::Regedit4;
  } else if (header == kVersion5Header) {
    m_format = Format::Version5;
  } else {
    return fail(line, "unknown header line " + excerpt(header) + " " + std::string(kHeaderHint));
  }
  return true;
}

bool RegFileParser::next(RegFileSection& section) {
  if (m_problem) return false;
  const std::string unrecognised = " (expected [key], \"name\"=data, @=data or a ; comment)";
  // Lines before the first key line belong to no section.
  m_sink = &m_stray;
  bool found = false;
  while (!found && m_nextLine < m_lines.size()) {
    const int line = static_cast<int>(m_nextLine) + 1;
    const auto text = trimLeft(m_lines[m_nextLine++]);
    if (text.empty() || isComment(text)) continue;
    if (text.front() == '"' || text.front() == '@') {
      fail(line, "a value line before any [key] line");
      continue;
    }
    if (text.front() != '[') {
      fail(line, "unrecognised line " + excerpt(text) + unrecognised);
      continue;
    }
    section = RegFileSection{};
    m_sink = &section.problems;
    parseKeyLine(text, line, section);
    found = true;
  }
  if (!found) {
    m_sink = nullptr;
    return false;
  }
  while (m_nextLine < m_lines.size()) {
    const int line = static_cast<int>(m_nextLine) + 1;
    const auto text = trimLeft(m_lines[m_nextLine]);
    if (!text.empty() && text.front() == '[') break;
    ++m_nextLine;
    if (text.empty() || isComment(text)) continue;
    if (text.front() != '"' && text.front() != '@') {
      fail(line, "unrecognised line " + excerpt(text) + unrecognised);
      continue;
    }
    RegFileValueLine value;
    value.line = line;
    if (section.removeTree) {
      // Read whole (continuation lines included) and dropped: the key it would belong to is deleted.
      std::vector<RegFileProblem> dropped;
      m_sink = &dropped;
      parseValueLine(text, value);
      m_sink = &section.problems;
      section.ignored.push_back(RegFileProblem{line, "a value line below a [-key] line belongs to no key; ignored"});
      continue;
    }
    if (parseValueLine(text, value)) section.values.push_back(std::move(value));
  }
  m_sink = nullptr;
  return true;
}

bool RegFileParser::parseKeyLine(std::string_view text, int line, RegFileSection& section) {
  section.line = line;
  const auto close = text.rfind(']');
  if (close == std::string_view::npos) return fail(line, "the key line " + excerpt(text) + " has no closing ]");
  if (!trimRight(text.substr(close + 1)).empty())
    return fail(line, "unexpected text after the ] of the key line " + excerpt(text));
  auto inner = text.substr(1, close - 1);
  if (!inner.empty() && inner.front() == '-') {
    section.removeTree = true;
    inner.remove_prefix(1);
  }
  if (inner.empty()) return fail(line, "the key line names no key");
  auto key = RegKeyName::parse(inner);
  if (!key)
    return fail(line, "unknown root " + excerpt(inner.substr(0, inner.find('\\'))) +
                          " (expected HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE)");
  if (section.removeTree && key->path.empty())
    return fail(line, "a whole hive (" + std::string(rootName(key->hive)) + ") cannot be deleted");
  section.key = std::move(*key);
  return true;
}

namespace {

// A quoted text starting at text[start] == '"', with \\ and \" unescaped; end is set past the closing quote.
// Another escape keeps its backslash when keepUnknownEscapes (as REGEDIT4 files are read), else is refused.
std::optional<std::string> parseQuoted(std::string_view text, std::size_t start, std::size_t& end, std::string& problem,
                                       bool keepUnknownEscapes) {
  std::string out;
  for (std::size_t i = start + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      end = i + 1;
      return out;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (i + 1 == text.size()) break;
    const char escaped = text[++i];
    if (escaped != '\\' && escaped != '"' && keepUnknownEscapes) {
      out += '\\';
    } else if (escaped != '\\' && escaped != '"') {
      problem = "unknown escape \\" + characterText(text, i) + " in the text " + excerpt(text.substr(start)) +
                " (a backslash is written \\\\)";
      return std::nullopt;
    }
    out += escaped;
  }
  problem = "unterminated string " + excerpt(text.substr(start)) + " (no closing \")";
  return std::nullopt;
}

}  // namespace

bool RegFileParser::parseValueLine(std::string_view text, RegFileValueLine& value) {
  const int line = value.line;
  std::size_t pos = 1;
  if (text.front() == '"') {
    std::string problem;
    auto name = parseQuoted(text, 0, pos, problem, m_format == Format::Regedit4);
    if (!name) return fail(line, problem);
    value.name = std::move(*name);
  }
  const auto who = describeValueName(value.name);
  auto rest = trimLeft(text.substr(pos));
  if (rest.empty() || rest.front() != '=') return fail(line, "expected = after the name of " + who);
  const auto data = trimLeft(rest.substr(1));
  if (data.empty()) return fail(line, "no data after the = of " + who);

  if (data.front() == '"') {
    std::string problem;
    std::size_t end = 0;
    auto textData = parseQuoted(data, 0, end, problem, m_format == Format::Regedit4);
    if (!textData) return fail(line, problem);
    if (!onlyCommentLeft(data.substr(end))) return fail(line, "unexpected text after the closing quote of " + who);
    value.value = RegValue{RegType::Sz, std::vector<std::uint8_t>(textData->begin(), textData->end())};
    return true;
  }
  if (data.front() == '-') {
    if (!onlyCommentLeft(data.substr(1))) return fail(line, "unexpected text after the =- of " + who);
    value.remove = true;
    return true;
  }
  if (startsWithNoCase(data, "dword:")) {
    const auto digits = data.substr(6);
    std::size_t count = 0;
    std::uint32_t bits = 0;
    while (count < digits.size() && hexValue(digits[count]) >= 0) {
      bits = (bits << 4) | static_cast<std::uint32_t>(hexValue(digits[count]));
      ++count;
    }
    if (count > 8) return fail(line, "the dword data of " + who + " has more than 8 hexadecimal digits");
    if (count < digits.size() && !onlyCommentLeft(digits.substr(count)))
      return fail(line, "bad hex digit " + characterAt(digits, count) + " in the dword data of " + who);
    if (count == 0) return fail(line, "the dword data of " + who + " needs 1 to 8 hexadecimal digits");
    value.value = RegValue{RegType::Dword,
                           {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)}};
    return true;
  }
  if (startsWithNoCase(data, "hex:"))
    return parseHexData(data.substr(4), static_cast<std::uint32_t>(RegType::Binary), value);
  if (startsWithNoCase(data, "hex(")) {
    const auto close = data.find(')');
    const auto digits = data.substr(4, close == std::string_view::npos ? 0 : close - 4);
    const bool allHex = std::all_of(digits.begin(), digits.end(), [](char c) { return hexValue(c) >= 0; });
    if (close == std::string_view::npos || digits.empty() || digits.size() > 8 || !allHex)
      return fail(line, "hex(N) of " + who + " needs a type number of 1 to 8 hexadecimal digits in parentheses");
    if (close + 1 >= data.size() || data[close + 1] != ':')
      return fail(line, "expected : after hex(" + std::string(digits) + ") of " + who);
    std::uint32_t type = 0;
    for (char c : digits) type = (type << 4) | static_cast<std::uint32_t>(hexValue(c));
    return parseHexData(data.substr(close + 2), type, value);
  }
  return fail(line,
              "unknown data " + excerpt(data) + " for " + who + " (expected \"text\", dword:, hex:, hex(N): or -)");
}

bool RegFileParser::parseHexData(std::string_view firstPart, std::uint32_t type, RegFileValueLine& value) {
  const auto who = describeValueName(value.name);
  // The data may continue over lines that end in "\"; the pieces are joined, each remembering its line.
  std::string joined;
  std::vector<std::pair<std::size_t, int>> pieceLines;
  int line = value.line;
  auto piece = firstPart;
  for (;;) {
    if (const auto semicolon = piece.find(';'); semicolon != std::string_view::npos) piece = piece.substr(0, semicolon);
    piece = trimRight(piece);
    const bool continues = !piece.empty() && piece.back() == '\\';
    if (continues) piece.remove_suffix(1);
    pieceLines.emplace_back(joined.size(), line);
    joined += piece;
    if (!continues) break;
    for (;;) {
      if (m_nextLine >= m_lines.size())
        return fail(line, "the data of " + who + " continues (\\) past the end of the file");
      const auto next = trimLeft(m_lines[m_nextLine]);
      line = static_cast<int>(m_nextLine) + 1;
      ++m_nextLine;
      if (isComment(next)) continue;
      if (next.empty()) return fail(line, "the data of " + who + " continues (\\) onto an empty line");
      piece = next;
      break;
    }
  }
  const auto lineAt = [&pieceLines](std::size_t offset) {
    int found = pieceLines.front().second;
    for (const auto& [start, pieceLine] : pieceLines)
      if (start <= offset) found = pieceLine;
    return found;
  };

  std::vector<std::uint8_t> bytes;
  const std::string_view all = joined;
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < all.size() && isSpaceOrTab(all[i])) ++i;
  };
  skipBlanks();
  bool expectByte = i < all.size();
  while (expectByte) {
    skipBlanks();
    if (i == all.size()) return fail(lineAt(all.size() - 1), "a comma ends the hex data of " + who);
    const auto start = i;
    int byte = 0;
    for (; i < all.size() && hexValue(all[i]) >= 0; ++i)
      if (i - start < 2) byte = byte * 16 + hexValue(all[i]);
    if (i == start) return fail(lineAt(i), "bad hex digit " + characterAt(all, i) + " in the data of " + who);
    if (i - start > 2)
      return fail(lineAt(start),
                  "the hex byte " + excerpt(all.substr(start, i - start)) + " of " + who + " has more than two digits");
    bytes.push_back(static_cast<std::uint8_t>(byte));
    skipBlanks();
    if (i == all.size()) break;
    if (all[i] != ',') {
      if (hexValue(all[i]) >= 0)
        return fail(lineAt(i), "expected , between the hex bytes of " + who + ", found " + characterAt(all, i));
      return fail(lineAt(i), "bad hex digit " + characterAt(all, i) + " in the data of " + who);
    }
    ++i;
  }
  value.value = RegValue{static_cast<RegType>(type), std::move(bytes)};
  return convertTextBytes(type, value);
}

bool RegFileParser::convertTextBytes(std::uint32_t type, RegFileValueLine& value) {
  const bool text = type == kRegSz || type == kRegExpandSz;
  auto& data = value.value.data;
  if ((text || type == kRegMultiSz) && m_format == Format::Version5) {
    auto utf8 = utf16LeToUtf8(data);
    if (!utf8)
      return fail(value.line, "the hex(" + std::to_string(type) + ") data of " + describeValueName(value.name) +
                                  " is not UTF-16LE text, as a version 5.00 file holds it");
    data.assign(utf8->begin(), utf8->end());
  }
  // Texts are kept without the terminating NUL that the registry editor writes.
  if (text && !data.empty() && data.back() == 0) data.pop_back();
  return true;
}

}  // namespace kip
