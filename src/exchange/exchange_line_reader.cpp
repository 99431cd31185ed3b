#include "exchange/exchange_line_reader.h"

#include <algorithm>

#include "exchange/exchange_format.h"

namespace kip {

namespace {

constexpr std::size_t kRawChunk = 64 * 1024;
// Bytes kept of a line: the limit and one more to tell an over-long line.
constexpr std::size_t kKept = kMaxExchangeLine + 1;

}  // namespace

ExchangeLineReader::ExchangeLineReader(ReadBytes read) : m_read(std::move(read)), m_raw(kRawChunk) {}

bool ExchangeLineReader::readRaw() {
  const std::size_t room = m_raw.size() - m_rawSize;
  const std::ptrdiff_t count = m_read(m_raw.data() + m_rawSize, room);
  if (count < 0) {
    m_failed = true;
    return false;
  }
  if (count == 0) {
    m_sourceEnded = true;
    return false;
  }
  m_rawSize += std::min(static_cast<std::size_t>(count), room);
  return true;
}

void ExchangeLineReader::decodeUtf16(std::string_view raw, bool atEnd) {
  m_decoded.clear();
  const bool little = m_encoding == Encoding::Utf16LE;
  for (const char c : raw) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (m_pendingByte < 0) {
      m_pendingByte = byte;
      continue;
    }
    const auto first = static_cast<std::uint32_t>(m_pendingByte);
    m_pendingByte = -1;
    m_utf16.push(little ? (first | (std::uint32_t{byte} << 8)) : ((first << 8) | byte), m_decoded);
  }
  if (atEnd) {
    m_utf16.finish(m_decoded);
    if (m_pendingByte >= 0) appendUtf8(m_decoded, kReplacementCharacter);
    m_pendingByte = -1;
  }
}

bool ExchangeLineReader::refill() {
  for (;;) {
    if (m_failed) return false;
    if (m_sourceEnded) {
      // A UTF-16 unit or pair cut off by the end of the file still shows as a replacement character.
      if (m_encoding == Encoding::Utf16LE || m_encoding == Encoding::Utf16BE) {
        if (m_pendingByte < 0 && !m_utf16.pending()) return false;
        decodeUtf16({}, true);
        m_chunk = m_decoded;
        return !m_chunk.empty();
      }
      return false;
    }
    m_rawSize = 0;
    std::size_t skip = 0;
    if (m_encoding == Encoding::Unknown) {
      while (m_rawSize < 3 && readRaw()) {
      }
      if (m_failed) return false;
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(m_raw.data());
      m_encoding = Encoding::Bytes;
      if (m_rawSize >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        skip = 3;
      } else if (m_rawSize >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        m_encoding = Encoding::Utf16LE;
        skip = 2;
      } else if (m_rawSize >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        m_encoding = Encoding::Utf16BE;
        skip = 2;
      }
    } else if (!readRaw()) {
      continue;
    }
    const std::string_view raw(m_raw.data() + skip, m_rawSize - skip);
    if (m_encoding == Encoding::Bytes) {
      m_chunk = raw;
    } else {
      decodeUtf16(raw, false);
      m_chunk = m_decoded;
    }
    if (!m_chunk.empty()) return true;
  }
}

void ExchangeLineReader::take(std::string_view segment, ExchangeLine& line) {
  if (m_sawNul) return;
  if (const auto nul = segment.find('\0'); nul != std::string_view::npos) {
    segment = segment.substr(0, nul);
    m_sawNul = true;
  }
  if (segment.empty()) return;
  if (segment.find(']') != std::string_view::npos) line.hasBracket = true;
  if (segment.find('=') != std::string_view::npos) line.hasEquals = true;
  if (line.text.size() < kKept) line.text.append(segment.substr(0, kKept - line.text.size()));
  m_length += segment.size();
}

void ExchangeLineReader::finish(ExchangeLine& line) {
  line.number = ++m_lineNumber;
  line.tooLong = m_length > kMaxExchangeLine;
}

bool ExchangeLineReader::next(ExchangeLine& line) {
  if (m_done) return false;
  line.text.clear();
  line.tooLong = false;
  line.hasBracket = false;
  line.hasEquals = false;
  m_length = 0;
  m_lineStarted = false;
  m_sawNul = false;
  for (;;) {
    if (m_chunk.empty() && !refill()) {
      m_done = true;
      if (m_failed || !m_lineStarted) return false;
      finish(line);
      return true;
    }
    // The line feed of a CR LF whose CR ended the previous line.
    if (m_afterCarriageReturn) {
      m_afterCarriageReturn = false;
      if (m_chunk.front() == '\n') {
        m_chunk.remove_prefix(1);
        continue;
      }
    }
    m_lineStarted = true;
    const auto end = m_chunk.find_first_of("\r\n");
    if (end == std::string_view::npos) {
      take(m_chunk, line);
      m_chunk = {};
      continue;
    }
    take(m_chunk.substr(0, end), line);
    m_afterCarriageReturn = m_chunk[end] == '\r';
    m_chunk.remove_prefix(end + 1);
    finish(line);
    return true;
  }
}

}  // namespace kip
