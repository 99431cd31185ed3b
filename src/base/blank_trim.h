#pragma once

#include <string_view>

namespace kip {

// Blanks as the text formats read here know them: space and tab.
inline bool isSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

// text without its leading blanks.
inline std::string_view trimLeft(std::string_view text) {
  while (!text.empty() && isSpaceOrTab(text.front())) text.remove_prefix(1);
  return text;
}

// text without its trailing blanks.
inline std::string_view trimRight(std::string_view text) {
  while (!text.empty() && isSpaceOrTab(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace kip
