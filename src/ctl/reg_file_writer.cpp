#include "ctl/reg_file_writer.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "base/utf8.h"
#include "ctl/reg_code_text.h"
#include "platform/registry_values.h"

namespace kip {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The registry editor breaks hex data once a line reaches this many columns.
constexpr std::size_t kHexWrapColumn = 77;

bool holdsLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

// Hex bytes after a prefix already on the line, wrapped with "\" and two blanks as the editor does.
std::string hexList(std::size_t column, const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char digits[3];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned>(bytes[i]));
    out += digits;
    if (i + 1 == bytes.size()) break;
    out += ',';
    column += 3;
    if (column >= kHexWrapColumn) {
      out += "\\";
      out += kLineEnd;
      out += "  ";
      column = 2;
    }
  }
  return out;
}

std::string hexValueLine(std::string prefix, std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
  if (type == static_cast<std::uint32_t>(RegType::Binary)) {
    prefix += "hex:";
  } else {
    char tag[24];
    std::snprintf(tag, sizeof tag, "hex(%x):", static_cast<unsigned>(type));
    prefix += tag;
  }
  return prefix + hexList(prefix.size(), bytes);
}

// A text that can stand between quotes: one line of well-formed UTF-8.
bool quotable(const std::vector<std::uint8_t>& data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  return !holdsLineBreakOrNul(text) && findInvalidUtf8(text) == std::string_view::npos;
}

// A key or value name a line carries and the reader gives back as it is: no line break or NUL, UTF-8 only.
bool writableName(std::string_view name) {
  return !holdsLineBreakOrNul(name) && findInvalidUtf8(name) == std::string_view::npos;
}

// Texts in this file are built by appending: GCC 12 at -O3 reports a false -Wrestrict for "literal" + string.
std::string keyLine(const RegKeyName& key) {
  std::string line(1, '[');
  line += key.fullName();
  line += ']';
  line += kLineEnd;
  return line;
}

// A name for a one-line message, its line breaks and NULs spelled out.
std::string shown(std::string_view name) {
  std::string out(1, '"');
  for (const char c : utf8Repaired(name))
    out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\0' ? "\\0" : std::string(1, c);
  out += '"';
  return out;
}

std::string valuePrefix(std::string_view name) {
  if (name.empty()) return "@=";
  std::string prefix(1, '"');
  prefix += escaped(name);
  prefix += "\"=";
  return prefix;
}

}  // namespace

std::optional<std::string> formatRegFileValue(std::string_view name, const RegValue& value) {
  if (!writableName(name)) return std::nullopt;
  const std::string prefix = valuePrefix(name);
  const auto type = static_cast<std::uint32_t>(value.type);
  const auto& data = value.data;
  std::string line;
  if (value.type == RegType::Sz && quotable(data)) {
    line = prefix + "\"" + escaped(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())) + "\"";
  } else if (value.type == RegType::Dword && data.size() == 4) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(dwordFromBytes(data.data())));
    line = prefix + digits;
  } else if (value.type == RegType::Sz || value.type == RegType::ExpandSz) {
    // Texts written as bytes carry the terminating NUL that the registry editor expects.
    auto withNul = data;
    withNul.push_back(0);
    line = hexValueLine(prefix, type, withNul);
  } else {
    line = hexValueLine(prefix, type, data);
  }
  return line + std::string(kLineEnd);
}

std::optional<std::string> RegFileWriter::exportTree(const RegKeyName& key, std::string& problem) {
  const auto stored = storedKeyPath(m_registry, key.hive, key.path);
  if (!stored) {
    problem = m_registry.hiveProblem(key.hive);
    if (problem.empty()) problem = "the key " + key.fullName() + " does not exist";
    return std::nullopt;
  }
  std::vector<std::string> leftOut;
  std::string out = "REGEDIT4";
  out += kLineEnd;
  out += kLineEnd;
  // Depth-first without recursion, so that a very deep tree cannot exhaust the stack.
  std::vector<RegKeyName> pending{RegKeyName{key.hive, *stored}};
  while (!pending.empty()) {
    const auto current = std::move(pending.back());
    pending.pop_back();
    // A name a line cannot carry costs only itself (a key with everything below it); the rest is written.
    if (!writableName(current.path)) {
      leftOut.push_back("the key " + shown(current.fullName()));
      continue;
    }
    std::unique_ptr<RegKey> handle;
    if (const auto code = m_registry.openKey(key.hive, current.path, KeyAccess::Read, handle); code != 0) {
      problem = "cannot read " + current.fullName() + ": " + describeRegCode(code, m_registry, key.hive);
      return std::nullopt;
    }
    out += keyLine(current);
    std::string name;
    RegValue value;
    for (std::uint32_t index = 0; handle->enumValue(index, name, value) == 0; ++index) {
      if (auto line = formatRegFileValue(name, value))
        out += *line;
      else
        leftOut.push_back("the value " + shown(name) + " of " + shown(current.fullName()));
    }
    out += kLineEnd;
    std::vector<std::string> children;
    for (std::uint32_t index = 0; handle->enumKey(index, name) == 0; ++index) children.push_back(name);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(current.child(*it));
  }
  problem.clear();
  for (const auto& item : leftOut)
    problem +=
        (problem.empty() ? "not exported (a line break, a NUL or bytes that are no UTF-8 in the name): " : ", ") + item;
  return out;
}

}  // namespace kip
