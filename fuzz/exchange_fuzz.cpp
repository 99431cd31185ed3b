// Feeds arbitrary bytes to the exchange file reader against a small definition list, answering the overwrite
// questions from the first input byte, and checks that what was imported survives an export and a re-import
// unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "exchange/exchange_format.h"
#include "exchange/exchange_reader.h"
#include "exchange/exchange_writer.h"
#include "exchange/scope_definition_list.h"
#include "platform/prompts.h"

namespace {

// Answers questions in the pattern given by a byte, two bits per question; counts what it is asked and told.
class PatternPrompts final : public kip::Prompts {
 public:
  explicit PatternPrompts(std::uint8_t pattern, bool alwaysYes = false) : m_pattern(pattern), m_alwaysYes(alwaysYes) {}
  void message(std::string_view, kip::MessageIcon) override { ++messages; }
  kip::Answer question(std::string_view) override {
    ++questions;
    if (m_alwaysYes) return kip::Answer::Yes;
    const unsigned bits = (m_pattern >> (2 * (questions % 4))) & 3U;
    return bits == 1 ? kip::Answer::No : bits == 2 ? kip::Answer::Cancel : kip::Answer::Yes;
  }
  std::optional<std::string> saveFileName(const kip::FileDialogOptions&) override { return std::nullopt; }
  std::optional<std::string> openFileName(const kip::FileDialogOptions&) override { return std::nullopt; }

  std::size_t questions = 0;
  std::size_t messages = 0;

 private:
  std::uint8_t m_pattern;
  bool m_alwaysYes;
};

void require(bool condition) {
  if (!condition) std::abort();
}

kip::DefinitionPtr definition(std::string name, std::string module) {
  auto def = std::make_shared<kip::StartDefinition>();
  def->Name = std::move(name);
  def->Module = std::move(module);
  return def;
}

bool linesFit(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find("\r\n", start);
    if (end - start > kip::kMaxExchangeLine) return false;
    start = end + 2;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  kip::ScopeDefinitionList list({definition("Backup", "/usr/bin/backup"), definition("Mail", ""), definition("", "x")});
  kip::Preferences prefs;
  PatternPrompts prompts(data[0]);
  kip::ExchangeReader reader(list, prefs, prompts);
  const kip::ImportResult result = reader.importBytes(bytes);

  require(result.status != kip::ImportStatus::ReadFailed);
  require(list.itemCount() == 3 + result.added);
  require(prefs.StartupDelay >= 0);
  for (std::size_t i = 0; i < list.itemCount(); ++i) {
    const auto def = list.itemDefinition(i);
    require(def != nullptr);
    require(list.findItem(def->Name).has_value());
    require(def->Name.find('\0') == std::string::npos && def->Module.find('\0') == std::string::npos);
  }

  // What the list now holds must come back unchanged through the file, unless the file cannot carry it.
  std::string exported;
  if (!kip::composeExchangeText(prefs, list, exported).written || !linesFit(exported)) return 0;
  PatternPrompts yes(0, true);
  kip::ExchangeReader again(list, prefs, yes);
  const kip::ImportResult second = again.importBytes(exported);
  require(second.status == kip::ImportStatus::Completed);
  require(second.added == 0 && second.overwritten == list.itemCount());
  require(yes.messages == 0 && yes.questions == list.itemCount());
  std::string reexported;
  require(kip::composeExchangeText(prefs, list, reexported).written);
  require(reexported == exported);
  return 0;
}
