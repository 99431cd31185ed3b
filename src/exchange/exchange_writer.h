#pragma once

#include <cstddef>
#include <string>

#include "exchange/exchange_list.h"
#include "model/preferences.h"

namespace kip {

// What an export did.
struct ExportResult {
  bool written = false;
  std::string message;          // why nothing was written, in words for the user; empty when written
  std::size_t definitions = 0;  // sections written
};

// The exchange text into out: the seven preference lines, an empty line, then for every row's definition of
// the edit scope, in display order, its header, its 25 keyword lines and an empty line; CR LF line ends and
// values exactly as held. Refused, with out left empty, when a text holds a line break, which a line cannot
// carry.
ExportResult composeExchangeText(const Preferences& prefs, const ExchangeList& list, std::string& out);

// Writes the exchange text to the file at path (replacing it) through a temporary file beside it, so that a
// failed export leaves the old file, or none, and never a part of the new one.
ExportResult exportExchangeFile(const std::string& path, const Preferences& prefs, const ExchangeList& list);

}  // namespace kip
