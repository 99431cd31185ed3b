#include "base/utf8_case_fold.h"
#include "platform/registry.h"

namespace kip {

std::vector<std::string> splitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto end = path.find('\\', start);
    const auto part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!part.empty()) parts.emplace_back(part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

std::string foldName(std::string_view name) { return foldCase(name); }

}  // namespace kip
