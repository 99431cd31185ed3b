#include "conditions/condition_text.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace kip {

namespace {

locale_t utf8Locale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

// Decodes one UTF-8 character at text[pos]; an invalid byte comes back as itself, marked above 0x10FFFF.
std::uint32_t nextCodePoint(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || pos + length > text.size()) {
    ++pos;
    return 0x110000u + lead;
  }
  std::uint32_t value = length == 1 ? lead : lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return 0x110000u + lead;
    }
    value = (value << 6) | (next & 0x3Fu);
  }
  pos += length;
  return value;
}

std::uint32_t folded(std::uint32_t c) {
  if (c >= 0x110000u) return c;
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  const locale_t locale = utf8Locale();
  if (locale == static_cast<locale_t>(nullptr)) return c;
  return static_cast<std::uint32_t>(towlower_l(static_cast<wint_t>(c), locale));
}

}  // namespace

std::string trimBlanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return std::string(text.substr(begin, end - begin));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size())
    if (folded(nextCodePoint(a, i)) != folded(nextCodePoint(b, j))) return false;
  return i == a.size() && j == b.size();
}

}  // namespace kip
