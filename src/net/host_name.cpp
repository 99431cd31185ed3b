#include "net/host_name.h"

#include "net/ip_address.h"

namespace kip {

namespace {

bool isLabelByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c >= 0x80;
}

}  // namespace

bool isValidHostName(std::string_view text) {
  if (text.empty()) return false;
  if (IpAddress::parse(text)) return true;
  if (text.back() == '.') text.remove_suffix(1);
  if (text.empty() || text.size() > 253) return false;
  std::size_t labelLength = 0;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '.') {
      if (labelLength == 0) return false;
      labelLength = 0;
      continue;
    }
    if (!isLabelByte(c) || ++labelLength > 63) return false;
  }
  return labelLength > 0;
}

}  // namespace kip
