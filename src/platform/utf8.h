#pragma once

#include <string>
#include <string_view>

namespace kip {

// The longest prefix of text of at most maxBytes bytes that does not cut a UTF-8 character in two.
std::string utf8Truncate(std::string_view text, std::size_t maxBytes);

}  // namespace kip
