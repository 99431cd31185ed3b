#include "exchange/exchange_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <istream>
#include <memory>
#include <utility>

#include "exchange/exchange_format.h"
#include "exchange/exchange_line_reader.h"
#include "model/definition_store.h"
#include "platform/registry.h"

namespace kip {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::string inQuotes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out += text;
  out += '"';
  return out;
}

std::string cannotRead(const std::string& path, std::string_view reason) {
  return "Cannot read " + inQuotes(path) + ": " + std::string(reason);
}

std::string stoppedReading(std::string_view what, std::size_t lines, std::string_view reason) {
  return "Reading " + std::string(what) + " stopped after line " + std::to_string(lines) + ": " + std::string(reason) +
         "; the definitions read before it were kept";
}

}  // namespace

std::string overwriteQuestion(std::string_view name) {
  return "Definition for " + inQuotes(name) + " already exists. Overwrite ?";
}

std::string unrecognisedKeywordMessage(std::string_view keyword, std::string_view name) {
  return "Unrecognised keyword " + inQuotes(keyword) + " while processing definition of " + inQuotes(name);
}

std::string lineTooLongMessage(std::size_t lineNumber, std::optional<std::string_view> definitionName) {
  std::string text = "Line " + std::to_string(lineNumber) + " is longer than " + std::to_string(kMaxExchangeLine) +
                     " bytes and was ignored";
  if (definitionName) text += " while processing definition of " + inQuotes(*definitionName);
  return text;
}

std::string headerTooLongMessage(std::size_t lineNumber) {
  return "Line " + std::to_string(lineNumber) + " is longer than " + std::to_string(kMaxExchangeLine) +
         " bytes and was ignored, with the definition it begins";
}

std::string textTooLongMessage(std::string_view definitionName, std::string_view field) {
  return "Definition " + inQuotes(definitionName) + " was not imported: its " + std::string(field) +
         " is longer than " + std::to_string(kMaxTextLength) + " bytes";
}

ExchangeReader::ExchangeReader(ExchangeList& list, Preferences& prefs, Prompts& prompts)
    : m_list(list), m_prefs(prefs), m_prompts(prompts) {}

ExchangeReader::~ExchangeReader() = default;

ImportResult ExchangeReader::importFile(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  ImportResult refused;
  refused.status = ImportStatus::ReadFailed;
  refused.opened = false;
  if (ec) {
    refused.message = cannotRead(path, ec.message());
    return refused;
  }
  // A device or pipe may never end; only a file is read.
  if (!std::filesystem::is_regular_file(status)) {
    refused.message = cannotRead(path, std::filesystem::is_directory(status) ? "it is a folder" : "it is not a file");
    return refused;
  }
  FileHandle file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    refused.message = cannotRead(path, std::strerror(errno));
    return refused;
  }
  int readError = 0;
  ExchangeLineReader lines([&](char* buffer, std::size_t size) -> std::ptrdiff_t {
    const std::size_t count = std::fread(buffer, 1, size, file.get());
    if (count > 0) return static_cast<std::ptrdiff_t>(count);
    if (std::ferror(file.get())) {
      readError = errno;
      return -1;
    }
    return 0;
  });
  ImportResult result = run(lines);
  if (result.status == ImportStatus::ReadFailed)
    result.message = stoppedReading(inQuotes(path), lines.linesRead(), std::strerror(readError));
  return result;
}

ImportResult ExchangeReader::importStream(std::istream& in) {
  // The stream's buffer is read directly, no more than it holds at a time, so that the bytes it handed out
  // before a failure are still read; a buffer reports failure by throwing.
  std::streambuf* buffer = in.rdbuf();
  ExchangeLineReader lines([&](char* out, std::size_t size) -> std::ptrdiff_t {
    if (in.bad() || !buffer) return -1;
    try {
      std::streamsize available = buffer->in_avail();
      if (available < 0) return 0;
      if (available == 0) {
        if (std::char_traits<char>::eq_int_type(buffer->sgetc(), std::char_traits<char>::eof())) return 0;
        available = std::max<std::streamsize>(buffer->in_avail(), 1);
      }
      const auto wanted = std::min<std::streamsize>(available, static_cast<std::streamsize>(size));
      return static_cast<std::ptrdiff_t>(buffer->sgetn(out, wanted));
    } catch (...) {
      return -1;
    }
  });
  ImportResult result = run(lines);
  if (result.status == ImportStatus::ReadFailed)
    result.message = stoppedReading("the input", lines.linesRead(), "the input could not be read");
  return result;
}

ImportResult ExchangeReader::importBytes(std::string_view bytes) {
  ExchangeLineReader lines([&](char* buffer, std::size_t size) -> std::ptrdiff_t {
    const std::size_t count = std::min(size, bytes.size());
    std::copy_n(bytes.data(), count, buffer);
    bytes.remove_prefix(count);
    return static_cast<std::ptrdiff_t>(count);
  });
  return run(lines);
}

ImportResult ExchangeReader::run(ExchangeLineReader& lines) {
  m_result = {};
  m_inPreferences = true;
  m_skipping = false;
  m_haveCurrent = false;
  m_target.reset();
  m_overlongKeyword.reset();
  ExchangeLine line;
  while (lines.next(line)) {
    if (!handle(line)) {
      m_result.status = ImportStatus::Cancelled;
      m_haveCurrent = false;
      return m_result;
    }
  }
  if (lines.failed()) {
    // The section being read when the input broke off is incomplete; it is not applied.
    m_result.status = ImportStatus::ReadFailed;
    m_haveCurrent = false;
    return m_result;
  }
  finishCurrent();
  return m_result;
}

bool ExchangeReader::handle(const ExchangeLine& line) {
  if (line.tooLong) return handleTooLong(line);
  const std::string_view text = line.text;
  if (text.empty() || text.front() == ';' || text.front() == '*') return true;
  if (text.front() == '[') {
    if (const auto close = text.rfind(']'); close != std::string_view::npos) return header(text.substr(1, close - 1));
  }
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) return true;
  keyword(text.substr(0, equals), text.substr(equals + 1));
  return true;
}

bool ExchangeReader::handleTooLong(const ExchangeLine& line) {
  const char first = line.text.empty() ? '\0' : line.text.front();
  if (first == ';' || first == '*') return true;
  if (first == '[' && line.hasBracket) {
    // Its name cannot be read whole, so none of its lines may land on another definition.
    finishCurrent();
    m_inPreferences = false;
    m_skipping = true;
    m_prompts.message(headerTooLongMessage(line.number), MessageIcon::Warning);
    return true;
  }
  if (!line.hasEquals || m_skipping) return true;
  std::optional<std::string_view> name;
  if (!m_inPreferences) name = m_current.Name;
  m_prompts.message(lineTooLongMessage(line.number, name), MessageIcon::Warning);
  return true;
}

bool ExchangeReader::header(std::string_view name) {
  finishCurrent();
  m_inPreferences = false;
  m_skipping = false;
  m_target.reset();
  const auto found = m_list.findItem(name);
  const DefinitionPtr existing = found ? m_list.itemDefinition(*found) : nullptr;
  m_current = StartDefinition{};
  m_overlongKeyword.reset();
  if (existing) {
    switch (m_prompts.question(overwriteQuestion(name))) {
      case Answer::Yes:
        m_target = *found;
        copyExchangeFields(*existing, m_current);
        break;
      case Answer::No:
        m_skipping = true;
        ++m_result.skipped;
        return true;
      case Answer::Cancel:
        return false;
    }
  }
  m_current.Name = std::string(name);
  m_haveCurrent = true;
  return true;
}

void ExchangeReader::keyword(std::string_view keyword, std::string_view value) {
  if (m_skipping) return;
  const std::string folded = foldName(keyword);
  if (m_inPreferences) {
    const PreferenceKeyword* entry = findPreferenceKeyword(folded);
    if (!entry) return;
    auto& set = m_result.preferencesSet;
    if (std::find(set.begin(), set.end(), entry->written) == set.end()) set.push_back(entry->written);
    switch (entry->kind) {
      case ExchangeValueKind::Text:
        m_prefs.*entry->text = std::string(value);
        break;
      case ExchangeValueKind::Number:
        // A negative delay has no "Run" value that keeps the autostart switch; it reads as no delay.
        m_prefs.*entry->number = std::max(0, parseExchangeNumber(value));
        break;
      case ExchangeValueKind::Flag:
        m_prefs.*entry->flag = parseExchangeFlag(value);
        break;
    }
    return;
  }
  if (!m_haveCurrent) return;
  const DefinitionKeyword* entry = findDefinitionKeyword(folded);
  if (!entry) {
    m_prompts.message(unrecognisedKeywordMessage(folded, m_current.Name));
    return;
  }
  switch (entry->kind) {
    case ExchangeValueKind::Text:
      m_current.*entry->text = std::string(value);
      if (value.size() > kMaxTextLength && !m_overlongKeyword) m_overlongKeyword = entry->written;
      break;
    case ExchangeValueKind::Number:
      m_current.*entry->number = parseExchangeNumber(value);
      break;
    case ExchangeValueKind::Flag:
      m_current.*entry->flag = parseExchangeFlag(value);
      break;
  }
}

void ExchangeReader::finishCurrent() {
  if (!m_haveCurrent) return;
  m_haveCurrent = false;
  const auto target = std::exchange(m_target, std::nullopt);
  // Named by the keyword the file used for it.
  const auto field = m_overlongKeyword ? m_overlongKeyword : overlongTextField(m_current);
  m_overlongKeyword.reset();
  if (field) {
    m_prompts.message(textTooLongMessage(m_current.Name, *field), MessageIcon::Warning);
    ++m_result.refused;
    return;
  }
  if (target) {
    if (const DefinitionPtr def = m_list.itemDefinition(*target)) {
      copyExchangeFields(m_current, *def);
      def->Changed = true;
      m_list.RefreshRow(*target);
      ++m_result.overwritten;
      return;
    }
  }
  auto def = std::make_shared<StartDefinition>(std::move(m_current));
  def->Changed = true;
  def->OtherScope = false;
  m_list.AddRow(def);
  ++m_result.added;
}

}  // namespace kip
