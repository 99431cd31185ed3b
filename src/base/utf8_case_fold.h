#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kip {

// The one representative of a code point's case class: its Unicode simple case folding, except that the
// ASCII letters are represented by their capitals (so that names keep the order they have always had).
std::uint32_t foldCodePoint(std::uint32_t c);

// A text with every UTF-8 character folded as foldCodePoint does; bytes that are not UTF-8 stay as they are.
// Two names are the same name without regard to case when their folded forms are equal.
std::string foldCase(std::string_view text);

}  // namespace kip
