#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "ctl/reg_file_parser.h"
#include "platform/registry.h"

namespace kip {

// What an import did: the sections it applied and the problem that stopped it, if any.
struct RegImportOutcome {
  std::size_t sectionsImported = 0;
  std::optional<RegFileProblem> problem;
};

// Imports a registry editor's text file into the registry, one key section at a time, each in its own
// batch: a section is applied whole or, when a line of it is bad or a write fails, not at all, and the
// import stops there with the sections before it kept.
class RegFileReader {
 public:
  explicit RegFileReader(Registry& registry) : m_registry(registry) {}

  // Reads and applies the file's bytes.
  RegImportOutcome import(std::span<const std::uint8_t> bytes);

 private:
  std::optional<RegFileProblem> apply(const RegFileSection& section);
  std::optional<RegFileProblem> applyValues(const RegFileSection& section);

  Registry& m_registry;
};

}  // namespace kip
