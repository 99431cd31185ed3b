#include "base/utf8.h"

namespace kip {

namespace {

// The length of the UTF-8 sequence a lead byte opens; 0 for a byte that opens none.
std::size_t sequenceLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

bool isHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void appendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

bool decodeUtf8(std::string_view text, std::size_t& pos, std::uint32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    codePoint = lead;
    ++pos;
    return true;
  }
  const std::size_t length = sequenceLength(lead);
  if (length == 0 || pos + length > text.size()) return false;
  static constexpr std::uint32_t kLeadBits[] = {0, 0, 0x1F, 0x0F, 0x07};
  static constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  std::uint32_t c = lead & kLeadBits[length];
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return false;
    c = (c << 6) | (next & 0x3Fu);
  }
  if (c < kShortest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  codePoint = c;
  pos += length;
  return true;
}

std::size_t findInvalidUtf8(std::string_view text) {
  std::uint32_t codePoint = 0;
  for (std::size_t pos = 0; pos < text.size();)
    if (!decodeUtf8(text, pos, codePoint)) return pos;
  return std::string_view::npos;
}

std::string utf8Repaired(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::uint32_t codePoint = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t start = pos;
    if (decodeUtf8(text, pos, codePoint)) {
      out.append(text.substr(start, pos - start));
    } else {
      appendUtf8(out, kReplacementCharacter);
      ++pos;
    }
  }
  return out;
}

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

bool Utf16Decoder::push(std::uint32_t unit, std::string& out) {
  bool whole = true;
  if (m_high != 0) {
    const std::uint32_t high = m_high;
    m_high = 0;
    if (isLowSurrogate(unit)) {
      appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
      return true;
    }
    appendUtf8(out, kReplacementCharacter);
    whole = false;
  }
  if (isHighSurrogate(unit)) {
    m_high = unit;
  } else if (isLowSurrogate(unit)) {
    appendUtf8(out, kReplacementCharacter);
    whole = false;
  } else {
    appendUtf8(out, unit);
  }
  return whole;
}

bool Utf16Decoder::finish(std::string& out) {
  if (m_high == 0) return true;
  m_high = 0;
  appendUtf8(out, kReplacementCharacter);
  return false;
}

std::optional<std::string> utf16LeToUtf8(std::span<const std::uint8_t> bytes, std::size_t* badOffset) {
  const auto fail = [badOffset](std::size_t offset) -> std::optional<std::string> {
    if (badOffset) *badOffset = offset;
    return std::nullopt;
  };
  if (bytes.size() % 2 != 0) return fail(bytes.size() - 1);
  std::string out;
  out.reserve(bytes.size() / 2);
  Utf16Decoder decoder;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const bool waited = decoder.pending();
    const auto unit = static_cast<std::uint32_t>(bytes[i]) | (static_cast<std::uint32_t>(bytes[i + 1]) << 8);
    // A broken pair is reported at its high surrogate, a lone low surrogate where it stands.
    if (!decoder.push(unit, out)) return fail(waited ? i - 2 : i);
  }
  if (!decoder.finish(out)) return fail(bytes.size() - 2);
  return out;
}

}  // namespace kip
