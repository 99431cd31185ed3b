#include "ctl/reg_file_reader.h"

#include <algorithm>
#include <memory>

#include "base/win_error.h"
#include "ctl/reg_code_text.h"

namespace kip {

RegImportOutcome RegFileReader::import(std::span<const std::uint8_t> bytes, unsigned codePage) {
  RegImportOutcome outcome;
  RegFileParser parser(bytes, codePage);
  outcome.codePage = parser.codePageUsed();
  RegFileSection section;
  while (parser.next(section)) {
    outcome.ignored.insert(outcome.ignored.end(), section.ignored.begin(), section.ignored.end());
    if (section.problems.empty()) {
      if (auto problem = apply(section)) section.problems.push_back(std::move(*problem));
    }
    if (!section.problems.empty()) {
      ++outcome.sectionsSkipped;
      for (auto& problem : section.problems) {
        problem.message += " (its key section is skipped)";
        outcome.problems.push_back(std::move(problem));
      }
      continue;
    }
    ++outcome.sectionsImported;
  }
  if (const auto& unreadable = parser.problem())
    outcome.problems.push_back({unreadable->line, unreadable->message + " (nothing was imported)"});
  for (const auto& stray : parser.strayLines())
    outcome.problems.push_back({stray.line, stray.message + " (the line is skipped)"});
  std::stable_sort(outcome.problems.begin(), outcome.problems.end(),
                   [](const RegFileProblem& a, const RegFileProblem& b) { return a.line < b.line; });
  return outcome;
}

std::optional<RegFileProblem> RegFileReader::apply(const RegFileSection& section) {
  const auto hive = section.key.hive;
  if (const auto code = m_registry.beginBatch(hive); code != 0)
    return RegFileProblem{
        section.line, "cannot write " + std::string(rootName(hive)) + ": " + describeRegCode(code, m_registry, hive)};
  auto problem = applyValues(section);
  const auto endCode = m_registry.endBatch(hive, !problem);
  if (!problem && endCode != 0)
    problem = RegFileProblem{
        section.line, "cannot store " + section.key.fullName() + ": " + describeRegCode(endCode, m_registry, hive)};
  return problem;
}

std::optional<RegFileProblem> RegFileReader::applyValues(const RegFileSection& section) {
  const auto hive = section.key.hive;
  const auto describe = [&](RegCode code) { return describeRegCode(code, m_registry, hive); };
  if (section.removeTree) {
    const auto code = m_registry.deleteTree(hive, section.key.path);
    if (code == 0 || code == win::kFileNotFound) return std::nullopt;
    return RegFileProblem{section.line, "cannot delete " + section.key.fullName() + ": " + describe(code)};
  }
  std::unique_ptr<RegKey> key;
  if (const auto code = m_registry.createKey(hive, section.key.path, key); code != 0)
    return RegFileProblem{section.line, "cannot create " + section.key.fullName() + ": " + describe(code)};
  for (const auto& value : section.values) {
    if (value.remove) {
      const auto code = key->deleteValue(value.name);
      if (code == 0 || code == win::kFileNotFound) continue;
      return RegFileProblem{value.line, "cannot delete " + describeValueName(value.name) + " of " +
                                            section.key.fullName() + ": " + describe(code)};
    }
    if (const auto code = key->setValue(value.name, value.value.type, value.value.data); code != 0)
      return RegFileProblem{value.line, "cannot write " + describeValueName(value.name) + " of " +
                                            section.key.fullName() + ": " + describe(code)};
  }
  return std::nullopt;
}

}  // namespace kip
