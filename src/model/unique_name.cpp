#include "model/unique_name.h"

#include <algorithm>

#include "base/utf8_case_fold.h"

namespace kip {

bool sameCaption(std::string_view a, std::string_view b) { return foldCase(a) == foldCase(b); }

std::string uniqueName(std::string_view name, const std::function<bool(std::string_view)>& captionTaken) {
  std::string result(name);
  // Each round takes a new number, so the loop ends once the number passes the count of rows.
  for (unsigned long long counter = 2; captionTaken(result); ++counter) {
    if (!result.empty() && result.back() == ')') {
      if (const auto open = result.rfind('('); open != std::string::npos) result.erase(open);
    }
    result += '(';
    result += std::to_string(counter);
    result += ')';
  }
  return result;
}

std::string uniqueName(std::string_view name, std::span<const std::string> captions) {
  return uniqueName(name, [captions](std::string_view candidate) {
    return std::any_of(captions.begin(), captions.end(),
                       [candidate](const std::string& caption) { return sameCaption(caption, candidate); });
  });
}

}  // namespace kip
