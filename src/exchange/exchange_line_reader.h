#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.h"

namespace kip {

// One line of an exchange file, without its line end.
struct ExchangeLine {
  // The line's bytes up to its first NUL (the rest of a line after a NUL is dropped); for a line longer than
  // the limit, only its first bytes.
  std::string text;
  std::size_t number = 0;   // counted from 1
  bool tooLong = false;     // longer than kMaxExchangeLine bytes
  bool hasBracket = false;  // holds a "]" anywhere (also beyond the bytes kept)
  bool hasEquals = false;   // holds a "=" anywhere (also beyond the bytes kept)
};

// Splits the bytes of an exchange file into lines. A line ends at CR LF, LF or a lone CR (so a stored text can
// never hold a line break, which no export could write), and a last line needs no line end. A UTF-8 byte order mark at
// the start is skipped; a file that begins with a UTF-16 byte order mark (little- or big-endian) is converted to UTF-8,
// broken surrogates becoming U+FFFD. Other bytes pass unchanged. Memory stays bounded however long a line is.
class ExchangeLineReader {
 public:
  // Fills buffer with up to size bytes: the count, 0 at the end of the input, -1 when reading failed.
  using ReadBytes = std::function<std::ptrdiff_t(char* buffer, std::size_t size)>;

  explicit ExchangeLineReader(ReadBytes read);

  // The next line into line; false at the end of the input or once reading has failed. A line cut off by a
  // failure is not returned.
  bool next(ExchangeLine& line);
  // True when the input could not be read to its end.
  [[nodiscard]] bool failed() const { return m_failed; }
  // How many lines have been returned.
  [[nodiscard]] std::size_t linesRead() const { return m_lineNumber; }

 private:
  enum class Encoding { Unknown, Bytes, Utf16LE, Utf16BE };

  bool refill();
  bool readRaw();
  void detectEncoding();
  void decodeUtf16(std::string_view raw, bool atEnd);
  void take(std::string_view segment, ExchangeLine& line);
  void finish(ExchangeLine& line);

  ReadBytes m_read;
  Encoding m_encoding = Encoding::Unknown;
  std::vector<char> m_raw;
  std::size_t m_rawSize = 0;
  std::string m_decoded;     // the current chunk after conversion from UTF-16
  std::string_view m_chunk;  // the bytes not yet split into lines
  int m_pendingByte = -1;    // the first byte of a UTF-16 unit cut by a chunk end
  Utf16Decoder m_utf16;      // holds a high surrogate cut from its low half
  bool m_sourceEnded = false;
  bool m_failed = false;
  bool m_done = false;
  // State of the line being gathered.
  std::size_t m_lineNumber = 0;
  std::size_t m_length = 0;
  bool m_lineStarted = false;
  bool m_sawNul = false;
  bool m_afterCarriageReturn = false;  // the previous line ended at a CR
};

}  // namespace kip
