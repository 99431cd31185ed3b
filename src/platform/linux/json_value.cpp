#include "platform/linux/json_value.h"

#include <charconv>
#include <cstdint>

#include "base/utf8.h"

namespace kip {

namespace {
constexpr int kMaxDepth = 256;
}  // namespace

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : m_text(text) {}

  std::optional<JsonValue> document() {
    JsonValue value;
    if (!read(value, 0)) return std::nullopt;
    skipBlanks();
    if (m_at != m_text.size()) return std::nullopt;
    return value;
  }

 private:
  void skipBlanks() {
    while (m_at < m_text.size() &&
           (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n' || m_text[m_at] == '\r'))
      ++m_at;
  }

  bool take(char c) {
    skipBlanks();
    if (m_at < m_text.size() && m_text[m_at] == c) {
      ++m_at;
      return true;
    }
    return false;
  }

  bool word(std::string_view w) {
    if (m_text.substr(m_at, w.size()) != w) return false;
    m_at += w.size();
    return true;
  }

  bool hex4(std::uint32_t& unit) {
    if (m_at + 4 > m_text.size()) return false;
    const auto* begin = m_text.data() + m_at;
    const auto [end, ec] = std::from_chars(begin, begin + 4, unit, 16);
    if (ec != std::errc() || end != begin + 4) return false;
    m_at += 4;
    return true;
  }

  bool string(std::string& out) {
    if (!take('"')) return false;
    while (m_at < m_text.size()) {
      const char c = m_text[m_at++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (m_at >= m_text.size()) return false;
      const char e = m_text[m_at++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          std::uint32_t unit = 0;
          if (!hex4(unit)) return false;
          if (unit >= 0xD800 && unit < 0xDC00 && word("\\u")) {
            std::uint32_t low = 0;
            if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          } else if (unit >= 0xD800 && unit < 0xE000) {
            unit = 0xFFFD;
          }
          appendUtf8(out, unit);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  bool read(JsonValue& value, int depth) {
    if (depth > kMaxDepth) return false;
    skipBlanks();
    if (m_at >= m_text.size()) return false;
    const char c = m_text[m_at];
    if (c == '{') {
      ++m_at;
      value.m_kind = JsonValue::Kind::Object;
      if (take('}')) return true;
      do {
        std::string name;
        JsonValue member;
        if (!string(name) || !take(':') || !read(member, depth + 1)) return false;
        value.m_members.insert_or_assign(std::move(name), std::move(member));
      } while (take(','));
      return take('}');
    }
    if (c == '[') {
      ++m_at;
      value.m_kind = JsonValue::Kind::Array;
      if (take(']')) return true;
      do {
        JsonValue item;
        if (!read(item, depth + 1)) return false;
        value.m_items.push_back(std::move(item));
      } while (take(','));
      return take(']');
    }
    if (c == '"') {
      value.m_kind = JsonValue::Kind::String;
      return string(value.m_text);
    }
    if (word("true") || word("false")) {
      value.m_kind = JsonValue::Kind::Bool;
      value.m_bool = m_text[m_at - 2] == 'u';  // tr(u)e, fal(s)e
      return true;
    }
    if (word("null")) return true;
    const auto* begin = m_text.data() + m_at;
    const auto [end, ec] = std::from_chars(begin, m_text.data() + m_text.size(), value.m_number);
    if (ec != std::errc() || end == begin) return false;
    value.m_kind = JsonValue::Kind::Number;
    m_at += static_cast<std::size_t>(end - begin);
    return true;
  }

  std::string_view m_text;
  std::size_t m_at = 0;
};

std::optional<JsonValue> JsonValue::parse(std::string_view text) { return JsonReader(text).document(); }

const JsonValue& JsonValue::operator[](const std::string& member) const {
  static const JsonValue null;
  const auto found = m_members.find(member);
  return found == m_members.end() ? null : found->second;
}

}  // namespace kip
