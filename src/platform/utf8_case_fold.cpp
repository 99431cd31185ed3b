#include "platform/utf8_case_fold.h"

#include <algorithm>

#include "platform/utf8_case_fold_table.h"

namespace kip {

namespace {

// Decodes the character at text[pos] and advances pos past it; nothing for a byte that does not begin a
// well-formed character (overlong forms and surrogates included), which is then passed over alone.
bool decode(std::string_view text, std::size_t& pos, std::uint32_t& c) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  if (lead < 0x80) {
    c = lead;
    ++pos;
    return true;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
    c = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
    c = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    minimum = 0x10000;
    c = lead & 0x07u;
  } else {
    return false;
  }
  if (pos + length > text.size()) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return false;
    c = (c << 6) | (next & 0x3Fu);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  pos += length;
  return true;
}

void encode(std::uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::uint32_t foldCodePoint(std::uint32_t c) {
  if (c >= 0x80) {
    const CaseFoldRun* const end = kCaseFoldRuns + kCaseFoldRunCount;
    const auto after = std::upper_bound(kCaseFoldRuns, end, c,
                                        [](std::uint32_t value, const CaseFoldRun& run) { return value < run.first; });
    if (after != kCaseFoldRuns) {
      const CaseFoldRun& run = *(after - 1);
      const std::uint32_t offset = c - run.first;
      if (offset % run.stride == 0 && offset / run.stride < run.count)
        c = static_cast<std::uint32_t>(static_cast<std::int64_t>(c) + run.delta);
    }
  }
  // Some letters fold into ASCII (the Kelvin sign, the long s); they take the ASCII representative too.
  return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

std::string foldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::uint32_t c = 0;
    if (decode(text, pos, c)) {
      encode(foldCodePoint(c), out);
    } else {
      out += text[pos++];
    }
  }
  return out;
}

}  // namespace kip
