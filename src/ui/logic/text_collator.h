#pragma once

#include <string_view>

namespace kip {

// The locale-aware text comparison the list's sort uses; the window supplies the desktop's collation.
class TextCollator {
 public:
  virtual ~TextCollator() = default;
  // Negative, zero or positive as a sorts before, with or after b (case-sensitive).
  [[nodiscard]] virtual int compare(std::string_view a, std::string_view b) const = 0;
};

// Byte order: the collation where no locale is at hand.
class ByteCollator final : public TextCollator {
 public:
  [[nodiscard]] int compare(std::string_view a, std::string_view b) const override { return a.compare(b); }
};

}  // namespace kip
