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

// What is wrong with a line of a registry file, at its 1-based number.
struct RegFileProblem {
  int line = 0;
  std::string message;
};

// A [KEY] line with the value lines below it, or a [-KEY] line.
struct RegFileSection {
  int line = 0;
  RegKeyName key;
  bool removeTree = false;
  std::vector<RegFileValueLine> values;
  // Its bad lines: a section with any is to be skipped whole.
  std::vector<RegFileProblem> problems;
  // Lines that were ignored (values below a [-KEY] line, which belong to no key).
  std::vector<RegFileProblem> ignored;
};

// Reads the registry editor's text files section by section: "REGEDIT4" or "Windows Registry Editor
// Version 5.00", UTF-8 with or without a byte order mark or UTF-16LE with one, CR LF or LF line ends,
// ";" and "#" comments. A REGEDIT4 file that is not UTF-8 is read in a Windows code page, as Windows
// writes it. A bad line costs only the section that holds it.
class RegFileParser {
 public:
  enum class Format { Regedit4, Version5 };

  // Decodes the bytes and reads the header; a bad encoding or header shows up in problem() at once.
  // codePage is the Windows code page of an 8-bit REGEDIT4 file that is not UTF-8.
  explicit RegFileParser(std::span<const std::uint8_t> bytes, unsigned codePage = 1252);

  // Reads the next section, good or bad; false at the end of the file or when problem() is set.
  bool next(RegFileSection& section);
  // Why the file cannot be read at all (its encoding or header); nothing is delivered then.
  [[nodiscard]] const std::optional<RegFileProblem>& problem() const { return m_problem; }
  // Bad lines outside any section (before the first [KEY] line).
  [[nodiscard]] const std::vector<RegFileProblem>& strayLines() const { return m_stray; }
  [[nodiscard]] Format format() const { return m_format; }
  // The code page the file was read in; nullopt for Unicode text.
  [[nodiscard]] std::optional<unsigned> codePageUsed() const { return m_codePageUsed; }

 private:
  bool decode(std::span<const std::uint8_t> bytes, unsigned codePage);
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
  std::vector<RegFileProblem> m_stray;
  // Where fail() records a line's problem; null while the file as a whole is read.
  std::vector<RegFileProblem>* m_sink = nullptr;
  std::optional<unsigned> m_codePageUsed;
};

// The text of a value name as error messages show it: "name" in quotes, or "the default value".
std::string describeValueName(std::string_view name);

}  // namespace kip
