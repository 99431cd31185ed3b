#include "exchange/exchange_writer.h"

#include <string_view>
#include <vector>

#include "exchange/exchange_format.h"
#include "platform/file_replace.h"

namespace kip {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool holdsLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string lineBreakMessage(std::string_view what) {
  return std::string(what) + " holds a line break, which the file cannot carry";
}

void appendLine(std::string& out, std::string_view keyword, std::string_view value) {
  out += keyword;
  out += '=';
  out += value;
  out += kLineEnd;
}

void appendNumberLine(std::string& out, std::string_view keyword, std::int32_t value) {
  out += keyword;
  out += '=';
  appendExchangeNumber(out, value);
  out += kLineEnd;
}

// The preference lines; a text that holds a line break is left out (an import then keeps its current value)
// and named in leftOut.
void appendPreferences(std::string& out, const Preferences& prefs, std::vector<std::string>& leftOut) {
  for (const auto& keyword : kPreferenceKeywords) {
    switch (keyword.kind) {
      case ExchangeValueKind::Text:
        if (holdsLineBreak(prefs.*keyword.text)) {
          leftOut.push_back(lineBreakMessage("the preference " + std::string(keyword.written)));
          break;
        }
        appendLine(out, keyword.written, prefs.*keyword.text);
        break;
      case ExchangeValueKind::Number:
        appendNumberLine(out, keyword.written, prefs.*keyword.number);
        break;
      case ExchangeValueKind::Flag:
        appendLine(out, keyword.written, prefs.*keyword.flag ? "1" : "0");
        break;
    }
  }
  out += kLineEnd;
}

// A definition's name for a one-line message, its line breaks spelled \r and \n.
std::string shownName(std::string_view name) {
  std::string shown = "\"";
  for (const char c : name) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  return shown + "\"";
}

std::string appendDefinition(std::string& out, const StartDefinition& def) {
  if (holdsLineBreak(def.Name)) return lineBreakMessage("the name of " + shownName(def.Name));
  out += '[';
  out += def.Name;
  out += ']';
  out += kLineEnd;
  for (const auto& keyword : kDefinitionKeywords) {
    switch (keyword.kind) {
      case ExchangeValueKind::Text:
        if (!keyword.writtenWhenEmpty && (def.*keyword.text).empty()) break;
        if (holdsLineBreak(def.*keyword.text))
          return lineBreakMessage("the " + std::string(keyword.written) + " of " + shownName(def.Name));
        appendLine(out, keyword.written, def.*keyword.text);
        break;
      case ExchangeValueKind::Number:
        appendNumberLine(out, keyword.written, def.*keyword.number);
        break;
      case ExchangeValueKind::Flag:
        appendLine(out, keyword.written, def.*keyword.flag ? "1" : "0");
        break;
    }
  }
  out += kLineEnd;
  return {};
}

std::string cannotWrite(const std::string& path, std::string_view reason) {
  return "Cannot write \"" + path + "\": " + std::string(reason);
}

}  // namespace

ExportResult composeExchangeText(const Preferences& prefs, const ExchangeList& list, std::string& out) {
  ExportResult result;
  out.clear();
  out.reserve(256 + list.itemCount() * 400);
  std::vector<std::string> leftOut;
  appendPreferences(out, prefs, leftOut);
  for (std::size_t index = 0; index < list.itemCount(); ++index) {
    const DefinitionPtr def = list.itemDefinition(index);
    if (!def || def->OtherScope) continue;
    const std::size_t sectionStart = out.size();
    if (auto problem = appendDefinition(out, *def); !problem.empty()) {
      // One text a line cannot carry costs its own section only.
      out.resize(sectionStart);
      leftOut.push_back(std::move(problem));
      continue;
    }
    ++result.definitions;
  }
  for (const auto& problem : leftOut) {
    result.message += result.message.empty() ? "Not exported: " : "; ";
    result.message += problem;
  }
  result.written = true;
  return result;
}

ExportResult exportExchangeFile(const std::string& path, const Preferences& prefs, const ExchangeList& list) {
  std::string text;
  ExportResult result = composeExchangeText(prefs, list, text);
  if (auto problem = replaceFile(path, text); !problem.empty()) {
    result.written = false;
    result.definitions = 0;
    result.message = cannotWrite(path, problem);
  }
  return result;
}

}  // namespace kip
