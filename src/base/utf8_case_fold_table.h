#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace kip {

// count code points from first on, stride apart, that fold to the code point delta away.
struct CaseFoldRun {
  std::uint32_t first;
  std::uint16_t count;
  std::uint8_t stride;
  std::int32_t delta;
};

// The simple case folding of every code point above ASCII that has one, in ascending order of first.
extern const CaseFoldRun kCaseFoldRuns[];
extern const std::size_t kCaseFoldRunCount;

}  // namespace kip
