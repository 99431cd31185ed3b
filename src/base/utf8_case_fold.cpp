#include "base/utf8_case_fold.h"

#include <algorithm>

#include "base/utf8.h"
#include "base/utf8_case_fold_table.h"

namespace kip {

std::uint32_t foldCodePoint(std::uint32_t c) {
  if (c >= 0x80) {
    const CaseFoldRun* const end = kCaseFoldRuns + kCaseFoldRunCount;
    const auto after = std::upper_bound(kCaseFoldRuns, end, c,
                                        [](std::uint32_t value, const CaseFoldRun& run) { return value < run.first; });
    if (after != kCaseFoldRuns) {
      const CaseFoldRun& run = *(after - 1);
      const std::uint32_t offset = c - run.first;
      if (offset % run.stride == 0 && offset / run.stride < run.count)
        c = static_cast<std::uint32_t>(static_cast<std::int64_t>(c) + run.delta);
    }
  }
  // Some letters fold into ASCII (the Kelvin sign, the long s); they take the ASCII representative too.
  return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

std::string foldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::uint32_t c = 0;
    if (decodeUtf8(text, pos, c)) {
      appendUtf8(out, foldCodePoint(c));
    } else {
      out += text[pos++];
    }
  }
  return out;
}

}  // namespace kip
