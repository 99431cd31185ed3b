#pragma once

#include <string_view>

namespace kip {

// True when text can name a host: a numeric address, or dot-separated labels of letters, digits,
// "-" and "_" (and bytes of internationalised names), each 1 to 63 bytes, 253 bytes in all.
bool isValidHostName(std::string_view text);

}  // namespace kip
