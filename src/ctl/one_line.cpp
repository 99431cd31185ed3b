#include "ctl/one_line.h"

namespace kip {

std::string oneLine(std::string_view text) {
  std::string out;
  bool previousIndented = false;
  while (!text.empty()) {
    const auto end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const bool indented = !line.empty() && (line.front() == ' ' || line.front() == '\t');
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.empty()) continue;
    if (!out.empty()) out += out.back() == ':' ? " " : (indented && previousIndented) ? ", " : "; ";
    out += line;
    previousIndented = indented;
  }
  return out;
}

}  // namespace kip
