#pragma once

#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kip {

// The ELF section that carries a program's version information, and the tag its contents start with.
// After the tag come NUL-terminated texts in pairs, a name and its value, ended by an empty name.
inline constexpr std::string_view kVersionSectionName = ".kipversion";
inline constexpr std::string_view kVersionSectionTag = "KIPVERSION1";

// Reads the named texts of the version section of a program file (by default the running program).
// Every getter gives its text with leading and trailing blanks and control characters removed, at
// most 259 bytes read, or the empty text when the file, the section or the name is missing.
class TExeVersion {
 public:
  explicit TExeVersion(std::string file = "/proc/self/exe", std::string section = std::string(kVersionSectionName));

  [[nodiscard]] std::string GetCompanyName() const { return value("CompanyName"); }
  [[nodiscard]] std::string GetFileDescription() const { return value("FileDescription"); }
  [[nodiscard]] std::string GetFileVersion() const { return value("FileVersion"); }
  [[nodiscard]] std::string GetInternalName() const { return value("InternalName"); }
  [[nodiscard]] std::string GetLegalCopyright() const { return value("LegalCopyright"); }
  [[nodiscard]] std::string GetLegalTrademarks() const { return value("LegalTrademarks"); }
  [[nodiscard]] std::string GetOriginalFilename() const { return value("OriginalFilename"); }
  [[nodiscard]] std::string GetProductName() const { return value("ProductName"); }
  [[nodiscard]] std::string GetProductVersion() const { return value("ProductVersion"); }
  [[nodiscard]] std::string GetComments() const { return value("Comments"); }

  // One named text, trimmed; empty when missing.
  [[nodiscard]] std::string value(std::string_view name) const;

 private:
  // The section's texts, read on first use.
  const std::map<std::string, std::string, std::less<>>& table() const;

  std::string m_file;
  std::string m_section;
  mutable std::optional<std::map<std::string, std::string, std::less<>>> m_table;
};

// The contents of a named section of an ELF file (32 or 64 bit, the host's byte order); nullopt when
// the file cannot be read, is no such ELF file, or lacks the section.
std::optional<std::string> readElfSection(const std::string& file, std::string_view section);
std::optional<std::string> readElfSection(std::istream& in, std::string_view section);

// The name/value pairs of version section contents; empty when the tag is missing.
std::map<std::string, std::string, std::less<>> parseVersionSection(std::string_view contents);

}  // namespace kip
