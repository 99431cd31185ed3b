#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ctl/reg_key_name.h"
#include "platform/registry.h"

namespace kip {

// One value line of a registry file: a value to set or, for "name"=-, to delete.
struct RegFileValueLine {
  int line = 0;
  // Empty for the default value (@).
  std::string name;
  bool remove = false;
  RegValue value;
};

// A [KEY] line with the value lines below it, or a [-KEY] line.
struct RegFileSection {
  int line = 0;
  RegKeyName key;
  bool removeTree = false;
  std::vector<RegFileValueLine> values;
};

// Why a registry file cannot be read further, at a 1-based line number.
struct RegFileProblem {
  int line = 0;
  std::string message;
};

// Reads the registry editor's text files section by section: "REGEDIT4" or "Windows Registry Editor
// Version 5.00", UTF-8 with or without a byte order mark or UTF-16LE with one, CR LF or LF line ends.
class RegFileParser {
 public:
  enum class Format { Regedit4, Version5 };

  // Decodes the bytes and reads the header; a bad encoding or header shows up in problem() at once.
  explicit RegFileParser(std::span<const std::uint8_t> bytes);

  // Reads the next section; false at the end of the file or when problem() is set.
  bool next(RegFileSection& section);
  // The first problem met, which ends the reading.
  [[nodiscard]] const std::optional<RegFileProblem>& problem() const { return m_problem; }
  [[nodiscard]] Format format() const { return m_format; }

 private:
  bool decode(std::span<const std::uint8_t> bytes);
  void splitLines();
  bool readHeader();
  bool parseKeyLine(std::string_view text, int line, RegFileSection& section);
  bool parseValueLine(std::string_view text, RegFileValueLine& value);
  bool parseHexData(std::string_view firstPart, std::uint32_t type, RegFileValueLine& value);
  bool convertTextBytes(std::uint32_t type, RegFileValueLine& value);
  bool fail(int line, std::string message);

  std::string m_text;
  std::vector<std::string_view> m_lines;
  std::size_t m_nextLine = 0;
  Format m_format = Format::Regedit4;
  std::optional<RegFileProblem> m_problem;
};

// The text of a value name as error messages show it: "name" in quotes, or "the default value".
std::string describeValueName(std::string_view name);

}  // namespace kip
