#include "exchange/scope_definition_list.h"

#include "model/unique_name.h"
#include "platform/registry.h"

namespace kip {

ScopeDefinitionList::ScopeDefinitionList(const std::vector<DefinitionPtr>& definitions) {
  m_rows.reserve(definitions.size());
  for (const auto& def : definitions) AddRow(def);
}

DefinitionPtr ScopeDefinitionList::itemDefinition(std::size_t index) const {
  return index < m_rows.size() ? m_rows[index].def : nullptr;
}

std::optional<std::size_t> ScopeDefinitionList::findItem(std::string_view name) const {
  const auto it = m_byCaption.find(foldName(name));
  if (it == m_byCaption.end()) return std::nullopt;
  return it->second;
}

void ScopeDefinitionList::AddRow(const DefinitionPtr& def) {
  if (!def) return;
  def->Name = uniqueName(def->Name, [this](std::string_view candidate) {
    return m_byCaption.find(foldName(candidate)) != m_byCaption.end();
  });
  m_rows.push_back({def, def->Name});
  indexCaption(m_rows.size() - 1);
}

void ScopeDefinitionList::RefreshRow(std::size_t index) {
  if (index >= m_rows.size() || !m_rows[index].def) return;
  Row& row = m_rows[index];
  if (row.caption == row.def->Name) return;
  unindexCaption(index);
  row.caption = row.def->Name;
  indexCaption(index);
}

std::vector<DefinitionPtr> ScopeDefinitionList::definitions() const {
  std::vector<DefinitionPtr> out;
  out.reserve(m_rows.size());
  for (const auto& row : m_rows) out.push_back(row.def);
  return out;
}

void ScopeDefinitionList::indexCaption(std::size_t index) {
  auto [it, inserted] = m_byCaption.emplace(foldName(m_rows[index].caption), index);
  if (!inserted && index < it->second) it->second = index;
}

void ScopeDefinitionList::unindexCaption(std::size_t index) {
  const std::string folded = foldName(m_rows[index].caption);
  const auto it = m_byCaption.find(folded);
  if (it == m_byCaption.end() || it->second != index) return;
  m_byCaption.erase(it);
  // A rename may have left two rows with one caption; the next of them takes the entry.
  for (std::size_t other = index + 1; other < m_rows.size(); ++other) {
    if (foldName(m_rows[other].caption) == folded) {
      m_byCaption.emplace(folded, other);
      return;
    }
  }
}

}  // namespace kip
