#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kip {

// A JSON document as the desktops' window interfaces answer with it: read once, looked at, thrown away.
class JsonValue {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  // The document the text holds; nullopt when the text is not JSON or nests deeper than 256 levels.
  static std::optional<JsonValue> parse(std::string_view text);

  [[nodiscard]] Kind kind() const { return m_kind; }
  [[nodiscard]] bool isObject() const { return m_kind == Kind::Object; }
  // The member's value, or null when this is no object or has no such member.
  [[nodiscard]] const JsonValue& operator[](const std::string& member) const;
  // The items of an array; empty for anything else.
  [[nodiscard]] const std::vector<JsonValue>& items() const { return m_items; }
  // The value as a number, a truth value or a text; the fallback for another kind.
  [[nodiscard]] double number(double fallback = 0) const { return m_kind == Kind::Number ? m_number : fallback; }
  [[nodiscard]] bool boolean(bool fallback = false) const { return m_kind == Kind::Bool ? m_bool : fallback; }
  [[nodiscard]] const std::string& text() const { return m_text; }

 private:
  friend class JsonReader;
  Kind m_kind = Kind::Null;
  bool m_bool = false;
  double m_number = 0;
  std::string m_text;
  std::vector<JsonValue> m_items;
  std::map<std::string, JsonValue, std::less<>> m_members;
};

}  // namespace kip
