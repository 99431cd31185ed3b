#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ctl/reg_file_parser.h"
#include "platform/registry.h"

namespace kip {

// What an import did.
struct RegImportOutcome {
  std::size_t sectionsImported = 0;
  std::size_t sectionsSkipped = 0;
  // Each bad line and failed write, in line order; empty when everything was imported. When the file
  // cannot be read at all (its encoding or header), this one problem says why.
  std::vector<RegFileProblem> problems;
  // Lines that were ignored without costing anything.
  std::vector<RegFileProblem> ignored;
  // The Windows code page an 8-bit file was read in; nullopt for Unicode text.
  std::optional<unsigned> codePage;
};

// Imports a registry editor's text file into the registry, one key section at a time, each in its own
// batch: a section is applied whole or, when a line of it is bad or a write fails, not at all, and the
// import goes on with the next section.
class RegFileReader {
 public:
  explicit RegFileReader(Registry& registry) : m_registry(registry) {}

  // Reads and applies the file's bytes; codePage is for an 8-bit REGEDIT4 file that is not UTF-8.
  RegImportOutcome import(std::span<const std::uint8_t> bytes, unsigned codePage = 1252);

 private:
  std::optional<RegFileProblem> apply(const RegFileSection& section);
  std::optional<RegFileProblem> applyValues(const RegFileSection& section);

  Registry& m_registry;
};

}  // namespace kip
