#include "ctl/reg_value_text.h"

#include <array>
#include <cstdio>

#include "platform/registry_values.h"

namespace kip {

namespace {

constexpr std::array<std::string_view, 12> kTypeNames{"REG_NONE",
                                                      "REG_SZ",
                                                      "REG_EXPAND_SZ",
                                                      "REG_BINARY",
                                                      "REG_DWORD",
                                                      "REG_DWORD_BIG_ENDIAN",
                                                      "REG_LINK",
                                                      "REG_MULTI_SZ",
                                                      "REG_RESOURCE_LIST",
                                                      "REG_FULL_RESOURCE_DESCRIPTOR",
                                                      "REG_RESOURCE_REQUIREMENTS_LIST",
                                                      "REG_QWORD"};

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict for "literal" + string.
std::string quoted(std::string_view text) {
  std::string out(1, '"');
  out += text;
  out += '"';
  return out;
}

// Digits in the given base up to limit; nullopt for no digits, a non-digit, or a value above limit.
std::optional<std::uint64_t> parseUnsigned(std::string_view digits, int base, std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    const int digit = hexDigitValue(c);
    if (digit < 0 || digit >= base) return std::nullopt;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (value > limit) return limit + 1;
  }
  return value;
}

std::optional<std::vector<std::uint8_t>> parseDwordData(std::string_view text, std::string& problem) {
  constexpr std::uint64_t kMaxUnsigned = 0xFFFFFFFFu;
  constexpr std::uint64_t kMaxNegative = 0x80000000u;
  std::optional<std::uint64_t> magnitude;
  bool negative = false;
  std::uint64_t limit = kMaxUnsigned;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    magnitude = parseUnsigned(text.substr(2), 16, limit);
  } else if (!text.empty() && text[0] == '-') {
    negative = true;
    limit = kMaxNegative;
    magnitude = parseUnsigned(text.substr(1), 10, limit);
  } else {
    magnitude = parseUnsigned(text, 10, limit);
  }
  if (!magnitude) {
    problem = quoted(text) + " is not a REG_DWORD number (decimal, negative decimal or 0x hexadecimal)";
    return std::nullopt;
  }
  if (*magnitude > limit) {
    problem = quoted(text) + " is out of range for REG_DWORD (-2147483648 to 4294967295, or 0x0 to 0xffffffff)";
    return std::nullopt;
  }
  auto bits = static_cast<std::uint32_t>(*magnitude);
  if (negative) bits = static_cast<std::uint32_t>(0u - bits);
  return std::vector<std::uint8_t>{static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                                   static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

std::optional<std::vector<std::uint8_t>> parseBinaryData(std::string_view text, std::string& problem) {
  if (text.size() % 2 != 0) {
    problem = "REG_BINARY data must be an even number of hexadecimal digits, not " + std::to_string(text.size());
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = hexDigitValue(text[i]);
    const int low = hexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) {
      const char bad = high < 0 ? text[i] : text[i + 1];
      problem = "REG_BINARY data may hold only hexadecimal digits, not " + quoted(std::string_view(&bad, 1));
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

}  // namespace

std::string regTypeName(RegType type) {
  const auto number = static_cast<std::uint32_t>(type);
  if (number < kTypeNames.size()) return std::string(kTypeNames[number]);
  return "REG_UNKNOWN_" + std::to_string(number);
}

std::optional<RegType> parseAddType(std::string_view name) {
  const auto folded = foldName(name);
  for (const auto type : {RegType::Sz, RegType::ExpandSz, RegType::Binary, RegType::Dword})
    if (folded == regTypeName(type)) return type;
  return std::nullopt;
}

std::string hexDigitsUpper(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const auto byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

std::string formatQueryData(const RegValue& value) {
  const auto number = static_cast<std::uint32_t>(value.type);
  const auto& data = value.data;
  const std::string text(data.begin(), data.end());
  if (value.type == RegType::Sz || value.type == RegType::ExpandSz) return text.substr(0, text.find('\0'));
  if (value.type == RegType::Dword && data.size() == 4) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", static_cast<unsigned>(dwordFromBytes(data.data())));
    return buffer;
  }
  if (number == kRegQword && data.size() == 8) {
    const auto high = static_cast<std::uint64_t>(dwordFromBytes(data.data() + 4));
    const auto bits = (high << 32) | dwordFromBytes(data.data());
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(bits));
    return buffer;
  }
  if (number == kRegMultiSz) {
    std::string joined;
    std::size_t start = 0;
    bool first = true;
    while (start < text.size()) {
      auto end = text.find('\0', start);
      if (end == std::string::npos) end = text.size();
      if (end == start) break;
      if (!first) joined += "\\0";
      joined += text.substr(start, end - start);
      first = false;
      start = end + 1;
    }
    return joined;
  }
  return hexDigitsUpper(data);
}

std::optional<std::vector<std::uint8_t>> parseAddData(RegType type, std::string_view text, std::string& problem) {
  switch (type) {
    case RegType::Dword:
      return parseDwordData(text, problem);
    case RegType::Binary:
      return parseBinaryData(text, problem);
    case RegType::Sz:
    case RegType::ExpandSz:
      break;
  }
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace kip
