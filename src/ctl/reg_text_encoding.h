#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kip {

// Appends a code point as UTF-8.
void appendUtf8(std::string& out, std::uint32_t codePoint);

// Offset of the first byte that does not belong to a well-formed UTF-8 character (overlong forms,
// surrogates and code points above U+10FFFF included); npos when the whole text is well formed.
std::size_t findInvalidUtf8(std::string_view text);

// UTF-16LE code units converted to UTF-8. Fails on an odd byte count or an unpaired surrogate and then
// sets badOffset (when given) to the byte offset of the offending unit.
std::optional<std::string> utf16LeToUtf8(std::span<const std::uint8_t> bytes, std::size_t* badOffset = nullptr);

}  // namespace kip
