#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kip {

// The code page a Windows machine writes 8-bit registry files in when none is named.
inline constexpr unsigned kDefaultCodePage = 1252;

// True when text in the Windows code page (1250, 1251, 1252, 936, ...) can be read here.
bool isKnownCodePage(unsigned codePage);

// Bytes written in a Windows code page as UTF-8; nullopt when the code page is unknown here or the bytes
// are not valid in it.
std::optional<std::string> codePageToUtf8(std::string_view bytes, unsigned codePage);

}  // namespace kip
