#pragma once

#include <cstddef>
#include <string>

#include "exchange/exchange_list.h"
#include "model/preferences.h"

namespace kip {

// What an export did.
struct ExportResult {
  bool written = false;
  // Why nothing was written, or (when written) what was left out, in words for the user; empty when the
  // file holds everything.
  std::string message;
  std::size_t definitions = 0;  // sections written
};

// The exchange text into out: the seven preference lines, an empty line, then for every row's definition of
// the edit scope, in display order, its header, its 25 keyword lines and an empty line; CR LF line ends and
// values exactly as held. A text that holds a line break, which a line cannot carry, costs only its own
// definition (or preference line), which the message names.
ExportResult composeExchangeText(const Preferences& prefs, const ExchangeList& list, std::string& out);

// Writes the exchange text to the file at path as replaceFile does, so that a failed export leaves the old
// file, or none, and never a part of the new one.
ExportResult exportExchangeFile(const std::string& path, const Preferences& prefs, const ExchangeList& list);

}  // namespace kip
