#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "exchange/exchange_list.h"

namespace kip {

// The definitions of one scope standing for the rows of the definition list, in load order, for kipctl:
// each row's caption is its definition's Name, and rows are only ever appended.
class ScopeDefinitionList final : public ExchangeList {
 public:
  // Adds every definition as a row, as the window does at its first showing.
  explicit ScopeDefinitionList(const std::vector<DefinitionPtr>& definitions);

  [[nodiscard]] std::size_t itemCount() const override { return m_rows.size(); }
  [[nodiscard]] DefinitionPtr itemDefinition(std::size_t index) const override;
  [[nodiscard]] std::optional<std::size_t> findItem(std::string_view name) const override;
  void AddRow(const DefinitionPtr& def) override;
  void RefreshRow(std::size_t index) override;

  // The rows' definitions in row order, as the save walks them.
  [[nodiscard]] std::vector<DefinitionPtr> definitions() const;
  // The row's caption.
  [[nodiscard]] const std::string& caption(std::size_t index) const { return m_rows.at(index).caption; }

 private:
  struct Row {
    DefinitionPtr def;
    std::string caption;
  };

  void indexCaption(std::size_t index);
  void unindexCaption(std::size_t index);

  std::vector<Row> m_rows;
  // Folded caption to the first row that has it, so that searches stay quick with thousands of rows.
  std::unordered_map<std::string, std::size_t> m_byCaption;
};

}  // namespace kip
