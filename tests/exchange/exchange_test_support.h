#pragma once

#include <deque>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "doubles/scripted_prompts.h"
#include "exchange/exchange_list.h"
#include "model/unique_name.h"
#include "platform/prompts.h"

namespace kip::test {

// A definition list as the window keeps it: rows that may lack a definition, captions that are only brought up
// to date by RefreshRow, and a record of every AddRow and RefreshRow.
class FakeList final : public ExchangeList {
 public:
  FakeList() = default;
  explicit FakeList(const std::vector<DefinitionPtr>& rows) {
    for (const auto& def : rows) {
      m_rows.push_back(def);
      m_captions.push_back(def ? def->Name : std::string());
    }
  }

  [[nodiscard]] std::size_t itemCount() const override { return m_rows.size(); }
  [[nodiscard]] DefinitionPtr itemDefinition(std::size_t index) const override { return m_rows.at(index); }
  [[nodiscard]] std::optional<std::size_t> findItem(std::string_view name) const override {
    for (std::size_t i = 0; i < m_rows.size(); ++i)
      if (m_rows[i] && sameCaption(m_captions[i], name)) return i;
    return std::nullopt;
  }
  void AddRow(const DefinitionPtr& def) override {
    def->Name = uniqueName(def->Name, m_captions);
    m_rows.push_back(def);
    m_captions.push_back(def->Name);
    added.push_back(def);
  }
  void RefreshRow(std::size_t index) override {
    m_captions.at(index) = m_rows.at(index)->Name;
    refreshed.push_back(index);
  }

  [[nodiscard]] const std::string& caption(std::size_t index) const { return m_captions.at(index); }

  std::vector<DefinitionPtr> added;
  std::vector<std::size_t> refreshed;

 private:
  std::vector<DefinitionPtr> m_rows;
  std::vector<std::string> m_captions;
};

inline DefinitionPtr makeDefinition(std::string name, std::string module = {}) {
  auto def = std::make_shared<StartDefinition>();
  def->Name = std::move(name);
  def->Module = std::move(module);
  return def;
}

}  // namespace kip::test
