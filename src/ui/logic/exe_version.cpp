#include "ui/logic/exe_version.h"

#include <elf.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <type_traits>

#include "base/utf8.h"
#include "conditions/condition_text.h"

namespace kip {
namespace {

// Larger sections than this are not version sections; the limit keeps a damaged file from asking
// for huge reads.
constexpr std::uint64_t kMaxSectionSize = 64 * 1024;
constexpr std::uint64_t kMaxSectionCount = 65535;
constexpr std::size_t kMaxTextBytes = 259;

bool readAt(std::istream& in, std::uint64_t offset, void* buffer, std::size_t size) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
  return in.gcount() == static_cast<std::streamsize>(size);
}

std::optional<std::string> readBytes(std::istream& in, std::uint64_t offset, std::uint64_t size) {
  if (size > kMaxSectionSize) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (size > 0 && !readAt(in, offset, bytes.data(), bytes.size())) return std::nullopt;
  return bytes;
}

template <typename Ehdr, typename Shdr>
std::optional<std::string> findSection(std::istream& in, std::string_view name) {
  Ehdr header;
  if (!readAt(in, 0, &header, sizeof header) || header.e_shentsize != sizeof(Shdr) || header.e_shnum == 0 ||
      header.e_shnum > kMaxSectionCount || header.e_shstrndx >= header.e_shnum)
    return std::nullopt;
  const auto sectionHeader = [&](std::uint64_t index) -> std::optional<Shdr> {
    Shdr section;
    if (!readAt(in, header.e_shoff + index * sizeof(Shdr), &section, sizeof section)) return std::nullopt;
    return section;
  };
  const auto names = sectionHeader(header.e_shstrndx);
  if (!names) return std::nullopt;
  const auto nameTable = readBytes(in, names->sh_offset, names->sh_size);
  if (!nameTable) return std::nullopt;
  for (std::uint64_t index = 0; index < header.e_shnum; ++index) {
    const auto section = sectionHeader(index);
    if (!section) return std::nullopt;
    if (section->sh_name >= nameTable->size()) continue;
    const char* start = nameTable->data() + section->sh_name;
    if (std::string_view(start, strnlen(start, nameTable->size() - section->sh_name)) != name) continue;
    if (section->sh_type == SHT_NOBITS) return std::nullopt;
    return readBytes(in, section->sh_offset, section->sh_size);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> readElfSection(const std::string& file, std::string_view section) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return readElfSection(in, section);
}

std::optional<std::string> readElfSection(std::istream& in, std::string_view section) {
  unsigned char ident[EI_NIDENT];
  if (!readAt(in, 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) return std::nullopt;
  const unsigned char hostOrder = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
  if (ident[EI_DATA] != hostOrder) return std::nullopt;
  if (ident[EI_CLASS] == ELFCLASS64) return findSection<Elf64_Ehdr, Elf64_Shdr>(in, section);
  if (ident[EI_CLASS] == ELFCLASS32) return findSection<Elf32_Ehdr, Elf32_Shdr>(in, section);
  return std::nullopt;
}

std::map<std::string, std::string, std::less<>> parseVersionSection(std::string_view contents) {
  std::map<std::string, std::string, std::less<>> table;
  if (contents.substr(0, kVersionSectionTag.size()) != kVersionSectionTag ||
      contents.size() <= kVersionSectionTag.size() || contents[kVersionSectionTag.size()] != '\0')
    return table;
  std::size_t position = kVersionSectionTag.size() + 1;
  // Each text runs to its NUL; a text cut off by the end of the section is dropped.
  const auto nextText = [&]() -> std::optional<std::string_view> {
    const std::size_t end = contents.find('\0', position);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view text = contents.substr(position, end - position);
    position = end + 1;
    return text;
  };
  while (const auto name = nextText()) {
    if (name->empty()) break;
    const auto text = nextText();
    if (!text) break;
    table.emplace(std::string(*name), trimBlanks(utf8Truncate(*text, kMaxTextBytes)));
  }
  return table;
}

TExeVersion::TExeVersion(std::string file, std::string section)
    : m_file(std::move(file)), m_section(std::move(section)) {}

std::string TExeVersion::value(std::string_view name) const {
  const auto& texts = table();
  const auto found = texts.find(name);
  return found == texts.end() ? std::string() : found->second;
}

const std::map<std::string, std::string, std::less<>>& TExeVersion::table() const {
  if (!m_table) {
    const auto contents = readElfSection(m_file, m_section);
    m_table = contents ? parseVersionSection(*contents) : std::map<std::string, std::string, std::less<>>{};
  }
  return *m_table;
}

}  // namespace kip
