// Feeds arbitrary bytes to the version section reader, first as a whole program file and then as section
// contents, and checks that every text it gives back is trimmed and within the length limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "ui/logic/exe_version.h"

namespace {

void checkTexts(const std::map<std::string, std::string, std::less<>>& table) {
  for (const auto& [name, text] : table) {
    if (name.empty() || text.size() > 259) std::abort();
    if (!text.empty() &&
        (static_cast<unsigned char>(text.front()) <= ' ' || static_cast<unsigned char>(text.back()) <= ' '))
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream file(bytes);
  if (const auto contents = kip::readElfSection(file, kip::kVersionSectionName))
    checkTexts(kip::parseVersionSection(*contents));
  checkTexts(kip::parseVersionSection(bytes));
  return 0;
}
