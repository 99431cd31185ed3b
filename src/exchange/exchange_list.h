#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "model/start_definition.h"

namespace kip {

// What the exchange file's reader and writer need of the definition list: its rows in display order.
// The window's list view provides one; kipctl provides one over the definitions of a scope.
class ExchangeList {
 public:
  virtual ~ExchangeList() = default;

  // How many rows the list shows.
  [[nodiscard]] virtual std::size_t itemCount() const = 0;
  // The definition shown by the row at index (below itemCount()), in display order; null for a row without one.
  [[nodiscard]] virtual DefinitionPtr itemDefinition(std::size_t index) const = 0;
  // The first row, in display order, that has a definition and whose caption is name as a whole, ASCII letters
  // compared without regard to case; nullopt when there is none.
  [[nodiscard]] virtual std::optional<std::size_t> findItem(std::string_view name) const = 0;
  // Appends def (not null) as a new row at the end, first making its Name unique among the rows' captions.
  virtual void AddRow(const DefinitionPtr& def) = 0;
  // Brings the row at index up to date with its changed definition: caption, cells and state image.
  virtual void RefreshRow(std::size_t index) = 0;

 protected:
  ExchangeList() = default;
  ExchangeList(const ExchangeList&) = default;
  ExchangeList& operator=(const ExchangeList&) = default;
};

}  // namespace kip
