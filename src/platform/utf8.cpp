#include "platform/utf8.h"

namespace kip {

namespace {
// The length of the UTF-8 sequence a lead byte opens; 0 for a byte that opens none.
std::size_t sequenceLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}
}  // namespace

std::string utf8Truncate(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  // Step back over at most three continuation bytes (10xxxxxx) to the lead byte of the character the limit
  // falls into; when there is no such lead byte the text is not UTF-8 there and is cut at the limit.
  std::size_t start = maxBytes;
  while (start > 0 && maxBytes - start < 3 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  if (start == maxBytes) return std::string(text.substr(0, maxBytes));
  const auto length = sequenceLength(static_cast<unsigned char>(text[start]));
  const bool cutsCharacter = length != 0 && start + length > maxBytes;
  return std::string(text.substr(0, cutsCharacter ? start : maxBytes));
}

}  // namespace kip
