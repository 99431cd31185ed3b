#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ctl/reg_key_name.h"
#include "platform/registry.h"

namespace kip {

// Writes a key tree in the registry editor's REGEDIT4 text format (UTF-8, CR LF line ends).
class RegFileWriter {
 public:
  explicit RegFileWriter(Registry& registry) : m_registry(registry) {}

  // The whole file for key and everything below it, depth-first in enumeration order; nullopt with
  // problem set when the key is missing or cannot be read. A name the format cannot carry (a line break)
  // leaves out only its value or key, named in problem beside the text returned.
  std::optional<std::string> exportTree(const RegKeyName& key, std::string& problem);

 private:
  Registry& m_registry;
};

// One value as REGEDIT4 writes it, including continuation lines and the final CR LF; nullopt when the
// name holds a line break or a NUL, which the format cannot carry.
std::optional<std::string> formatRegFileValue(std::string_view name, const RegValue& value);

}  // namespace kip
