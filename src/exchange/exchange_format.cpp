#include "exchange/exchange_format.h"

#include <charconv>

namespace kip {

namespace {

constexpr DefinitionKeyword text(std::string_view written, std::string_view folded,
                                 std::string StartDefinition::*field) {
  return {written, folded, ExchangeValueKind::Text, field, nullptr, nullptr, true};
}
constexpr DefinitionKeyword optionalText(std::string_view written, std::string_view folded,
                                         std::string StartDefinition::*field) {
  return {written, folded, ExchangeValueKind::Text, field, nullptr, nullptr, false};
}
constexpr DefinitionKeyword number(std::string_view written, std::string_view folded,
                                   std::int32_t StartDefinition::*field) {
  return {written, folded, ExchangeValueKind::Number, nullptr, field, nullptr, true};
}
constexpr DefinitionKeyword flag(std::string_view written, std::string_view folded, bool StartDefinition::*field) {
  return {written, folded, ExchangeValueKind::Flag, nullptr, nullptr, field, true};
}

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

const std::array<DefinitionKeyword, kDefinitionKeywordCount> kDefinitionKeywords = {{
    text("Module", "MODULE", &StartDefinition::Module),
    text("Parms", "PARMS", &StartDefinition::Parms),
    text("StartDirectory", "STARTDIRECTORY", &StartDefinition::StartDirectory),
    text("Configuration", "CONFIGURATION", &StartDefinition::Configuration),
    text("User", "USER", &StartDefinition::User),
    text("Group", "GROUP", &StartDefinition::Group),
    number("Window", "WINDOW", &StartDefinition::Window),
    number("Apm", "APM", &StartDefinition::Apm),
    number("Net", "NET", &StartDefinition::Net),
    number("Dun", "DUN", &StartDefinition::Dun),
    number("NetTest", "NETTEST", &StartDefinition::NetTest),
    text("NetResource", "NETRESOURCE", &StartDefinition::NetResource),
    number("Days", "DAYS", &StartDefinition::Days),
    number("Dates", "DATES", &StartDefinition::Dates),
    number("From", "FROM", &StartDefinition::From),
    number("To", "TO", &StartDefinition::To),
    number("Frequency", "FREQUENCY", &StartDefinition::Frequency),
    number("Units", "UNITS", &StartDefinition::Units),
    number("Changes", "CHANGES", &StartDefinition::Changes),
    number("Delay", "DELAY", &StartDefinition::Delay),
    number("Msg", "MSG", &StartDefinition::Msg),
    number("MsgID", "MSGID", &StartDefinition::MsgID),
    number("Wait", "WAIT", &StartDefinition::Wait),
    number("WaitType", "WAITTYPE", &StartDefinition::WaitType),
    flag("Disable", "DISABLE", &StartDefinition::Disable),
    optionalText("OnlyShowIn", "ONLYSHOWIN", &StartDefinition::OnlyShowIn),
    optionalText("NotShowIn", "NOTSHOWIN", &StartDefinition::NotShowIn),
    optionalText("TryExec", "TRYEXEC", &StartDefinition::TryExec),
    optionalText("AutostartCondition", "AUTOSTARTCONDITION", &StartDefinition::AutostartCondition),
}};

const std::array<PreferenceKeyword, kPreferenceKeywordCount> kPreferenceKeywords = {{
    {"Network", "NETWORK", ExchangeValueKind::Text, &Preferences::Network, nullptr, nullptr},
    {"Run", "RUN", ExchangeValueKind::Number, nullptr, &Preferences::StartupDelay, nullptr},
    {"Splash", "SPLASH", ExchangeValueKind::Flag, nullptr, nullptr, &Preferences::Splash},
    {"AboutNet", "ABOUTNET", ExchangeValueKind::Flag, nullptr, nullptr, &Preferences::AboutNet},
    {"Global", "GLOBAL", ExchangeValueKind::Flag, nullptr, nullptr, &Preferences::Global},
    {"Proxy", "PROXY", ExchangeValueKind::Text, &Preferences::Proxy, nullptr, nullptr},
    {"Port", "PORT", ExchangeValueKind::Text, &Preferences::Port, nullptr, nullptr},
}};

const DefinitionKeyword* findDefinitionKeyword(std::string_view folded) {
  for (const auto& keyword : kDefinitionKeywords)
    if (keyword.folded == folded) return &keyword;
  return nullptr;
}

const PreferenceKeyword* findPreferenceKeyword(std::string_view folded) {
  for (const auto& keyword : kPreferenceKeywords)
    if (keyword.folded == folded) return &keyword;
  return nullptr;
}

std::int32_t parseExchangeNumber(std::string_view value) {
  std::size_t at = 0;
  while (at < value.size() && isWhiteSpace(value[at])) ++at;
  bool negative = false;
  if (at < value.size() && (value[at] == '+' || value[at] == '-')) {
    negative = value[at] == '-';
    ++at;
  }
  // Unsigned arithmetic wraps by definition; the conversion back to signed is modular in C++20.
  std::uint32_t magnitude = 0;
  for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at)
    magnitude = magnitude * 10U + static_cast<std::uint32_t>(value[at] - '0');
  if (negative) magnitude = 0U - magnitude;
  return static_cast<std::int32_t>(magnitude);
}

bool parseExchangeFlag(std::string_view value) { return parseExchangeNumber(value) == 1; }

void appendExchangeNumber(std::string& out, std::int32_t number) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, end);
}

void copyExchangeFields(const StartDefinition& from, StartDefinition& to) {
  to.Name = from.Name;
  for (const auto& keyword : kDefinitionKeywords) {
    switch (keyword.kind) {
      case ExchangeValueKind::Text:
        to.*keyword.text = from.*keyword.text;
        break;
      case ExchangeValueKind::Number:
        to.*keyword.number = from.*keyword.number;
        break;
      case ExchangeValueKind::Flag:
        to.*keyword.flag = from.*keyword.flag;
        break;
    }
  }
}

bool sameExchangeFields(const StartDefinition& a, const StartDefinition& b) {
  if (a.Name != b.Name) return false;
  for (const auto& keyword : kDefinitionKeywords) {
    switch (keyword.kind) {
      case ExchangeValueKind::Text:
        if (a.*keyword.text != b.*keyword.text) return false;
        break;
      case ExchangeValueKind::Number:
        if (a.*keyword.number != b.*keyword.number) return false;
        break;
      case ExchangeValueKind::Flag:
        if (a.*keyword.flag != b.*keyword.flag) return false;
        break;
    }
  }
  return true;
}

}  // namespace kip
