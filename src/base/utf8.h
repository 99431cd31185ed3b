#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kip {

// The character that stands in for what cannot be decoded.
inline constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

// Appends a code point as UTF-8.
void appendUtf8(std::string& out, std::uint32_t codePoint);

// Decodes the well-formed UTF-8 character at text[pos] and advances pos past it; false, with pos unchanged,
// for a byte that begins none (overlong forms, surrogates and code points above U+10FFFF included).
bool decodeUtf8(std::string_view text, std::size_t& pos, std::uint32_t& codePoint);

// Offset of the first byte that does not belong to a well-formed UTF-8 character; npos when the whole text
// is well formed.
std::size_t findInvalidUtf8(std::string_view text);

// text with every byte that begins no well-formed UTF-8 character replaced by U+FFFD.
std::string utf8Repaired(std::string_view text);

// The longest prefix of text of at most maxBytes bytes that does not cut a UTF-8 character in two.
std::string utf8Truncate(std::string_view text, std::size_t maxBytes);

// Joins UTF-16 code units into UTF-8 one unit at a time, so that a text read in pieces can be decoded as it
// comes. A surrogate without its partner becomes the replacement character.
class Utf16Decoder {
 public:
  // Appends what unit completes; false when it broke a pair (a replacement character was appended).
  bool push(std::uint32_t unit, std::string& out);
  // Ends the text; false when a high surrogate was left waiting for its partner (replaced).
  bool finish(std::string& out);
  // True while a high surrogate waits for the unit after it.
  [[nodiscard]] bool pending() const { return m_high != 0; }

 private:
  std::uint32_t m_high = 0;
};

// UTF-16LE code units converted to UTF-8. Fails on an odd byte count or an unpaired surrogate and then
// sets badOffset (when given) to the byte offset of the offending unit.
std::optional<std::string> utf16LeToUtf8(std::span<const std::uint8_t> bytes, std::size_t* badOffset = nullptr);

}  // namespace kip
