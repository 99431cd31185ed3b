#include "exchange/exchange_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string_view>

#include "exchange/exchange_format.h"

namespace kip {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

bool holdsLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string lineBreakMessage(std::string_view what) {
  return "Cannot export: " + std::string(what) + " holds a line break, which the file cannot carry";
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

// The preference lines, or the reason they cannot be written.
std::string appendPreferences(std::string& out, const Preferences& prefs) {
  for (const auto& keyword : kPreferenceKeywords) {
    switch (keyword.kind) {
      case ExchangeValueKind::Text:
        if (holdsLineBreak(prefs.*keyword.text))
          return lineBreakMessage("the preference " + std::string(keyword.written));
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
  return {};
}

std::string appendDefinition(std::string& out, const StartDefinition& def) {
  if (holdsLineBreak(def.Name)) return lineBreakMessage("the name of \"" + def.Name + "\"");
  out += '[';
  out += def.Name;
  out += ']';
  out += kLineEnd;
  for (const auto& keyword : kDefinitionKeywords) {
    switch (keyword.kind) {
      case ExchangeValueKind::Text:
        if (holdsLineBreak(def.*keyword.text))
          return lineBreakMessage("the " + std::string(keyword.written) + " of \"" + def.Name + "\"");
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

// A new file beside target with a name no other file has; null with errno set when none could be created.
FileHandle createTemporary(const std::filesystem::path& target, std::filesystem::path& tempPath) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(random()));
    tempPath = target;
    tempPath += suffix;
    tempPath += ".tmp";
    // "x" refuses an existing file, so a file of the same name is never truncated.
    if (FileHandle file(std::fopen(tempPath.c_str(), "wbx")); file) return file;
    if (errno != EEXIST) return nullptr;
  }
  errno = EEXIST;
  return nullptr;
}

}  // namespace

ExportResult composeExchangeText(const Preferences& prefs, const ExchangeList& list, std::string& out) {
  ExportResult result;
  out.clear();
  out.reserve(256 + list.itemCount() * 400);
  if (auto problem = appendPreferences(out, prefs); !problem.empty()) {
    out.clear();
    result.message = std::move(problem);
    return result;
  }
  for (std::size_t index = 0; index < list.itemCount(); ++index) {
    const DefinitionPtr def = list.itemDefinition(index);
    if (!def || def->OtherScope) continue;
    if (auto problem = appendDefinition(out, *def); !problem.empty()) {
      out.clear();
      result.message = std::move(problem);
      result.definitions = 0;
      return result;
    }
    ++result.definitions;
  }
  result.written = true;
  return result;
}

ExportResult exportExchangeFile(const std::string& path, const Preferences& prefs, const ExchangeList& list) {
  std::string text;
  ExportResult result = composeExchangeText(prefs, list, text);
  if (!result.written) return result;
  result.written = false;

  std::filesystem::path target(path);
  std::error_code ec;
  // Replacing a symbolic link's target keeps the link.
  if (std::filesystem::is_symlink(target, ec)) {
    if (auto resolved = std::filesystem::canonical(target, ec); !ec) target = resolved;
  }
  if (std::filesystem::is_directory(target, ec)) {
    result.message = cannotWrite(path, "it is a folder");
    return result;
  }

  std::filesystem::path tempPath;
  FileHandle file = createTemporary(target, tempPath);
  if (!file) {
    result.message = cannotWrite(path, std::strerror(errno));
    return result;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  int error = ok ? 0 : errno;
  if (ok && std::fflush(file.get()) != 0) {
    ok = false;
    error = errno;
  }
  if (std::fclose(file.release()) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok) {
    std::filesystem::rename(tempPath, target, ec);
    if (ec) {
      ok = false;
      error = ec.value();
    }
  }
  if (!ok) {
    std::filesystem::remove(tempPath, ec);
    result.message = cannotWrite(path, std::strerror(error));
    return result;
  }
  result.written = true;
  return result;
}

}  // namespace kip
