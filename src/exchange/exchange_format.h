#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/preferences.h"
#include "model/start_definition.h"

namespace kip {

// The keywords of the exchange file, in the order the writer writes them, and how their values are read.

enum class ExchangeValueKind { Text, Number, Flag };

// A definition keyword and the field of the record it carries.
struct DefinitionKeyword {
  std::string_view written;  // mixed-case form, as written
  std::string_view folded;   // upper-case form, as compared when reading
  ExchangeValueKind kind;
  std::string StartDefinition::*text;
  std::int32_t StartDefinition::*number;
  bool StartDefinition::*flag;
  bool writtenWhenEmpty = true;  // false: a text most definitions lack, left out when empty
};

// A preference keyword and the running preference it carries.
struct PreferenceKeyword {
  std::string_view written;
  std::string_view folded;
  ExchangeValueKind kind;
  std::string Preferences::*text;
  std::int32_t Preferences::*number;
  bool Preferences::*flag;
};

inline constexpr std::size_t kDefinitionKeywordCount = 29;
inline constexpr std::size_t kPreferenceKeywordCount = 7;

extern const std::array<DefinitionKeyword, kDefinitionKeywordCount> kDefinitionKeywords;
extern const std::array<PreferenceKeyword, kPreferenceKeywordCount> kPreferenceKeywords;

// The keyword entry whose folded form is folded; null when there is none.
const DefinitionKeyword* findDefinitionKeyword(std::string_view folded);
const PreferenceKeyword* findPreferenceKeyword(std::string_view folded);

// Longest line the reader takes, in bytes, without its line end.
inline constexpr std::size_t kMaxExchangeLine = 499;

// A number value: leading white space skipped, an optional sign, then decimal digits up to the first other
// character; no digits read as 0. Digits beyond the range of a signed 32-bit number wrap around as the
// 32-bit number does, so 4294967295 reads as -1 and 2147483648 as -2147483648.
std::int32_t parseExchangeNumber(std::string_view value);
// A flag value: true only when it reads as the number 1.
bool parseExchangeFlag(std::string_view value);
// Appends a number in decimal, "-" when negative, no "+" and no leading zeros.
void appendExchangeNumber(std::string& out, std::int32_t number);

// Copies the name and the fields the file carries from one record to another, and nothing else.
void copyExchangeFields(const StartDefinition& from, StartDefinition& to);

// True when two records have the same name and the same values in the fields the file carries.
bool sameExchangeFields(const StartDefinition& a, const StartDefinition& b);

}  // namespace kip
