// Feeds arbitrary bytes to the desktop entry reader and checks that every problem points at a line of the
// input, and that a definition made from the entry gives Exec's words back through the launcher's splitting.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "exchange/desktop_entry.h"
#include "platform/linux/command_line_split.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  if (!text.empty() && text.back() != '\n') ++lines;

  const kip::DesktopEntry entry = kip::parseDesktopEntry(text);
  for (const auto& problem : entry.problems) require(problem.line <= lines && !problem.message.empty());

  std::string error;
  const auto def = kip::definitionFromDesktopEntry(entry, "fallback", error);
  if (!def) {
    require(!error.empty());
    return 0;
  }
  require(entry.problems.empty() && entry.exec && !entry.exec->empty());
  require(def->Module.size() <= kip::kMaxTextLength && def->Parms.size() <= kip::kMaxTextLength);
  const auto split = kip::splitCommandLine(def->Module + (def->Parms.empty() ? "" : " " + def->Parms), {});
  require(split.program == entry.exec->front());
  require(split.arguments == std::vector<std::string>(entry.exec->begin() + 1, entry.exec->end()));
  return 0;
}
