#include "platform/registry_values.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace kip {

std::optional<std::string> readText(RegKey& key, std::string_view name, bool allowExpand, std::uint32_t bufferSize) {
  RegValue value;
  if (key.queryValue(name, bufferSize, value) != 0) return std::nullopt;
  if (value.type != RegType::Sz && !(allowExpand && value.type == RegType::ExpandSz)) return std::nullopt;
  const auto* begin = reinterpret_cast<const char*>(value.data.data());
  std::string text(begin, value.data.size());
  if (auto nul = text.find('\0'); nul != std::string::npos) {
    text.resize(nul);
  } else if (text.size() >= bufferSize) {
    return std::nullopt;  // no room left for the terminator
  }
  return text;
}

std::uint32_t dwordFromBytes(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::optional<std::int32_t> readDword(RegKey& key, std::string_view name) {
  RegValue value;
  if (key.queryValue(name, 4, value) != 0) return std::nullopt;
  if (value.type != RegType::Dword || value.data.size() != 4) return std::nullopt;
  return static_cast<std::int32_t>(dwordFromBytes(value.data.data()));
}

std::optional<double> readDouble(RegKey& key, std::string_view name) {
  RegValue value;
  if (key.queryValue(name, 8, value) != 0) return std::nullopt;
  if (value.type != RegType::Binary || value.data.size() != 8) return std::nullopt;
  std::array<std::uint8_t, 8> bytes{};
  std::memcpy(bytes.data(), value.data.data(), 8);
  if constexpr (std::endian::native == std::endian::big) std::reverse(bytes.begin(), bytes.end());
  return std::bit_cast<double>(bytes);
}

RegCode writeText(RegKey& key, std::string_view name, std::string_view text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  return key.setValue(name, RegType::Sz, {bytes, text.size()});
}

RegCode writeDword(RegKey& key, std::string_view name, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const std::array<std::uint8_t, 4> bytes{static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                                          static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
  return key.setValue(name, RegType::Dword, bytes);
}

RegCode writeDouble(RegKey& key, std::string_view name, double value) {
  auto bytes = std::bit_cast<std::array<std::uint8_t, 8>>(value);
  if constexpr (std::endian::native == std::endian::big) std::reverse(bytes.begin(), bytes.end());
  return key.setValue(name, RegType::Binary, bytes);
}

}  // namespace kip
