#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace kip {

// Value types beyond the four the program writes, which files from other machines may carry.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// "REG_SZ", "REG_DWORD", ... for the types Windows names; "REG_UNKNOWN_<n>" for any other number.
std::string regTypeName(RegType type);

// The types "add /t" accepts (REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY), in any case.
std::optional<RegType> parseAddType(std::string_view name);

// The data column of a query line: DWORD as 0x and lower-case hex, texts up to their first NUL,
// multi-strings joined by "\0", everything else as upper-case hex digits.
std::string formatQueryData(const RegValue& value);

// The bytes "add /d" stores for a type: texts as given, a DWORD from decimal, negative decimal or
// 0x hex, binary from an even count of hex digits. On bad data returns nullopt and sets problem.
std::optional<std::vector<std::uint8_t>> parseAddData(RegType type, std::string_view text, std::string& problem);

// Upper-case hex digits of bytes, two per byte, without separators.
std::string hexDigitsUpper(const std::vector<std::uint8_t>& bytes);

}  // namespace kip
