#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kip {

// Buffer size for texts kept in the registry: 259 characters and room for a terminator.
inline constexpr std::uint32_t kTextBuffer = 260;

// A buffer size that takes a text of any length.
inline constexpr std::uint32_t kWholeText = 0xFFFFFFFFu;

// Typed reads that accept a value only when its type and size are right.
// A text of type REG_SZ (or REG_EXPAND_SZ when allowed) that fits the buffer together with its terminating
// NUL, ending early at a NUL: with the 260-byte buffer a stored text of 259 bytes is read, one of 260 is not
// (unless a NUL ends it inside the buffer).
std::optional<std::string> readText(RegKey& key, std::string_view name, bool allowExpand = false,
                                    std::uint32_t bufferSize = kTextBuffer);
// A REG_DWORD of exactly four bytes, as a signed number.
std::optional<std::int32_t> readDword(RegKey& key, std::string_view name);
// A REG_BINARY of exactly eight bytes, as a double.
std::optional<double> readDouble(RegKey& key, std::string_view name);

// Typed writes; a text is stored without a terminating NUL.
RegCode writeText(RegKey& key, std::string_view name, std::string_view text);
RegCode writeDword(RegKey& key, std::string_view name, std::int32_t value);
RegCode writeDouble(RegKey& key, std::string_view name, double value);

// The four-byte little-endian form of a REG_DWORD and back.
std::uint32_t dwordFromBytes(const std::uint8_t* bytes);

}  // namespace kip
