#include "conditions/desktop_conditions.h"

#include <vector>

#include "base/blank_trim.h"

namespace kip {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> items;
  while (!text.empty()) {
    const auto at = text.find(separator);
    const std::string_view item = trimRight(trimLeft(text.substr(0, at)));
    if (!item.empty()) items.push_back(item);
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  return items;
}

bool listed(std::string_view list, std::string_view desktop) {
  for (const auto item : split(list, ';'))
    if (item == desktop) return true;
  return false;
}

std::optional<bool> parseFlag(std::string_view value) {
  value = trimRight(trimLeft(value));
  if (value == "true" || value == "1") return true;
  if (value == "false" || value == "0") return false;
  return std::nullopt;
}

struct Condition {
  std::string_view kind;
  std::string_view argument;
};

Condition parse(std::string_view condition) {
  condition = trimRight(trimLeft(condition));
  const auto blank = condition.find_first_of(" \t");
  if (blank == std::string_view::npos) return {condition, {}};
  return {condition.substr(0, blank), trimLeft(condition.substr(blank + 1))};
}

// "FILE:GROUP:KEY:DEFAULT" split into its four parts; false when it has not four.
bool kdeParts(std::string_view argument, std::string_view (&parts)[4]) {
  for (int i = 0; i < 3; ++i) {
    const auto colon = argument.find(':');
    if (colon == std::string_view::npos) return false;
    parts[i] = argument.substr(0, colon);
    argument.remove_prefix(colon + 1);
  }
  parts[3] = argument;
  return !parts[0].empty() && !parts[2].empty() && parseFlag(parts[3]).has_value();
}

}  // namespace

bool shownInDesktops(std::string_view onlyShowIn, std::string_view notShowIn, std::string_view currentDesktops) {
  for (const auto desktop : split(currentDesktops, ':')) {
    if (listed(onlyShowIn, desktop)) return true;
    if (listed(notShowIn, desktop)) return false;
  }
  return split(onlyShowIn, ';').empty();
}

std::optional<std::string> configValue(std::string_view text, std::string_view group, std::string_view key) {
  bool inGroup = false;
  std::optional<std::string> found;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = trimRight(trimLeft(text.substr(0, end)));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line.size() >= 2 && line.back() == ']' && line.substr(1, line.size() - 2) == group;
      continue;
    }
    const auto equals = line.find('=');
    if (!inGroup || equals == std::string_view::npos) continue;
    std::string_view name = trimRight(line.substr(0, equals));
    if (name.ends_with("[$e]") || name.ends_with("[$i]")) name.remove_suffix(4);
    if (name == key) found = std::string(trimLeft(line.substr(equals + 1)));
  }
  return found;
}

bool isKnownAutostartCondition(std::string_view condition) {
  const auto [kind, argument] = parse(condition);
  if (kind == "GSettings") return split(argument, ' ').size() == 2;
  if (kind == "if-exists" || kind == "unless-exists") return !argument.empty();
  if (kind == "KDE") {
    std::string_view parts[4];
    return kdeParts(argument, parts);
  }
  return false;
}

std::optional<bool> autostartConditionHolds(std::string_view condition, SystemInfo& system) {
  if (!isKnownAutostartCondition(condition)) return std::nullopt;
  const auto [kind, argument] = parse(condition);
  if (kind == "GSettings") {
    const auto words = split(argument, ' ');
    return system.settingsBoolean(words[0], words[1]).value_or(false);
  }
  if (kind == "if-exists" || kind == "unless-exists")
    return system.configFile(argument).has_value() == (kind == "if-exists");
  std::string_view parts[4];
  kdeParts(argument, parts);
  const bool fallback = *parseFlag(parts[3]);
  const auto text = system.configFile(parts[0]);
  if (!text) return fallback;
  const auto value = configValue(*text, parts[1], parts[2]);
  if (!value) return fallback;
  return parseFlag(*value).value_or(fallback);
}

std::string desktopConditionsText(const StartDefinition& def) {
  std::string text;
  const auto add = [&](std::string_view part, std::string_view value) {
    if (trimRight(trimLeft(value)).empty()) return;
    if (!text.empty()) text += ", ";
    text += part;
    text += trimRight(trimLeft(value));
  };
  add("only in ", def.OnlyShowIn);
  add("not in ", def.NotShowIn);
  if (!trimRight(trimLeft(def.TryExec)).empty()) add("if installed: ", def.TryExec);
  add("if ", def.AutostartCondition);
  return text;
}

}  // namespace kip
