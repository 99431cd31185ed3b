#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/exchange_list.h"
#include "model/preferences.h"
#include "model/start_definition.h"
#include "platform/prompts.h"

namespace kip {

class ExchangeLineReader;
struct ExchangeLine;

enum class ImportStatus {
  Completed,   // read to the end of the file
  Cancelled,   // stopped by Cancel at an overwrite question
  ReadFailed,  // the file could not be opened, or not read to its end
};

// What an import did.
struct ImportResult {
  ImportStatus status = ImportStatus::Completed;
  bool opened = true;           // false when the file could not be opened, so nothing was read or changed
  std::string message;          // why reading failed, in words for the user; empty otherwise
  std::size_t added = 0;        // definitions added as new rows
  std::size_t overwritten = 0;  // existing definitions overwritten after Yes
  std::size_t skipped = 0;      // sections skipped after No
  std::size_t refused = 0;      // sections not taken because a text is too long for the registry
  // The value names of the preferences the file set ("Run", "Splash", ...), each once, in file order.
  std::vector<std::string_view> preferencesSet;
};

// Reads an exchange file into the definition list and the running preferences. Preference lines set the
// preferences at once; each section adds a new definition, or overwrites the shown definition of that name
// after the overwrite question is answered Yes, marking it Changed. Cancel stops at once; what was finished
// before stays. A line longer than 499 bytes is never applied: it is reported and ignored, and when it is a
// section header the section it begins is skipped. A section with a text the registry cannot hold (over 259
// bytes) is reported and not taken. A failure to read leaves the section being read unapplied.
class ExchangeReader {
 public:
  ExchangeReader(ExchangeList& list, Preferences& prefs, Prompts& prompts);
  ~ExchangeReader();
  ExchangeReader(const ExchangeReader&) = delete;
  ExchangeReader& operator=(const ExchangeReader&) = delete;

  // Reads the regular file at path.
  ImportResult importFile(const std::string& path);
  // Reads a byte stream to its end; a stream that goes bad counts as a read failure.
  ImportResult importStream(std::istream& in);
  // Reads bytes held in memory.
  ImportResult importBytes(std::string_view bytes);

 private:
  ImportResult run(ExchangeLineReader& lines);
  bool handle(const ExchangeLine& line);
  bool handleTooLong(const ExchangeLine& line);
  bool header(std::string_view name);
  void keyword(std::string_view keyword, std::string_view value);
  void finishCurrent();

  ExchangeList& m_list;
  Preferences& m_prefs;
  Prompts& m_prompts;
  // State of one run.
  ImportResult m_result;
  bool m_inPreferences = true;
  bool m_skipping = false;
  bool m_haveCurrent = false;
  std::optional<std::size_t> m_target;                // the row of the definition being overwritten
  StartDefinition m_current;                          // the name and fields read so far for the current section
  std::optional<std::string_view> m_overlongKeyword;  // the first of its texts too long to be stored
};

// "Definition for \"NAME\" already exists. Overwrite ?"
std::string overwriteQuestion(std::string_view name);
// "Unrecognised keyword \"KEY\" while processing definition of \"NAME\""
std::string unrecognisedKeywordMessage(std::string_view keyword, std::string_view name);
// The report of a line longer than 499 bytes; definitionName is the current section's, none in the preference
// block.
std::string lineTooLongMessage(std::size_t lineNumber, std::optional<std::string_view> definitionName);
// The report of a section header longer than 499 bytes, whose section is skipped.
std::string headerTooLongMessage(std::size_t lineNumber);
// The report of a definition not taken because the text of one field is too long to be stored.
std::string textTooLongMessage(std::string_view definitionName, std::string_view field);

}  // namespace kip
