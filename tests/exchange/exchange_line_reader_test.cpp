#include "exchange/exchange_line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "exchange/exchange_format.h"

namespace kip::test {
namespace {

using namespace std::string_literals;

// Feeds bytes in pieces of at most chunk bytes, then fails after failAfter bytes when that is set.
ExchangeLineReader::ReadBytes source(std::string bytes, std::size_t chunk, std::size_t failAfter = std::string::npos) {
  auto offset = std::make_shared<std::size_t>(0);
  return [bytes = std::move(bytes), chunk, failAfter, offset](char* buffer, std::size_t size) -> std::ptrdiff_t {
    if (*offset >= failAfter) return -1;
    const std::size_t count = std::min({size, chunk, bytes.size() - *offset, failAfter - *offset});
    std::copy_n(bytes.data() + *offset, count, buffer);
    *offset += count;
    return static_cast<std::ptrdiff_t>(count);
  };
}

std::vector<std::string> linesOf(const std::string& bytes, std::size_t chunk) {
  ExchangeLineReader reader(source(bytes, chunk));
  std::vector<std::string> lines;
  ExchangeLine line;
  while (reader.next(line)) {
    EXPECT_EQ(line.number, lines.size() + 1);
    lines.push_back(line.text);
  }
  EXPECT_FALSE(reader.failed());
  return lines;
}

std::string utf16(const std::u16string& text, bool little) {
  std::string out = little ? "\xFF\xFE"s : "\xFE\xFF"s;
  for (const char16_t unit : text) {
    const char lo = static_cast<char>(unit & 0xFF);
    const char hi = static_cast<char>(unit >> 8);
    out += little ? lo : hi;
    out += little ? hi : lo;
  }
  return out;
}

struct SplitCase {
  const char* what;
  std::string bytes;
  std::vector<std::string> lines;
};

// Every case is read whole, and again a byte at a time, so that chunk boundaries fall everywhere.
class LineSplitTest : public ::testing::TestWithParam<std::tuple<SplitCase, std::size_t>> {};

TEST_P(LineSplitTest, SplitsIntoLines) {
  const auto& [c, chunk] = GetParam();
  EXPECT_EQ(linesOf(c.bytes, chunk), c.lines) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, LineSplitTest,
    ::testing::Combine(
        ::testing::Values(
            SplitCase{"empty input", "", {}}, SplitCase{"CR LF", "a=1\r\nb=2\r\n", {"a=1", "b=2"}},
            SplitCase{"bare LF", "a=1\nb=2\n", {"a=1", "b=2"}},
            SplitCase{"no final line end", "a=1\r\nb=2", {"a=1", "b=2"}},
            SplitCase{"CR at the very end", "a=1\r", {"a=1"}},
            SplitCase{"empty lines kept", "\r\n\r\nx\r\n", {"", "", "x"}},
            SplitCase{"a bare CR ends a line too", "a\rb\r\r\nc\n\rd", {"a", "b", "", "c", "", "d"}},
            SplitCase{"NUL ends the line's text", "Module=ab\0cd=\r\nNext=1\r\n"s, {"Module=ab", "Next=1"}},
            SplitCase{"NUL first", "\0[x]\r\n"s, {""}}, SplitCase{"UTF-8 BOM skipped", "\xEF\xBB\xBF[x]\r\n", {"[x]"}},
            SplitCase{"BOM only at the start",
                      "a\r\n\xEF\xBB\xBF"
                      "b",
                      {"a",
                       "\xEF\xBB\xBF"
                       "b"}},
            SplitCase{"short input", "a", {"a"}}, SplitCase{"two bytes", "\xFF\xFE", {}},
            SplitCase{"8-bit bytes unchanged", "User=J\xF6rg\r\n", {"User=J\xF6rg"}},
            SplitCase{"UTF-16LE converted",
                      utf16(u"[B\u00e4r]\r\nModule=\u20ac\r\n", true),
                      {"[B\xC3\xA4r]", "Module=\xE2\x82\xAC"}},
            SplitCase{"UTF-16BE converted", utf16(u"[B\u00e4r]\nX=1", false), {"[B\xC3\xA4r]", "X=1"}},
            SplitCase{"UTF-16 surrogate pair", utf16(u"A=\U0001F600", true), {"A=\xF0\x9F\x98\x80"}},
            SplitCase{"UTF-16 broken surrogates",
                      utf16(std::u16string{u'a', char16_t(0xD800), u'b', char16_t(0xDC00), char16_t(0xD801)}, true),
                      {"a\xEF\xBF\xBD"
                       "b\xEF\xBF\xBD\xEF\xBF\xBD"}},
            SplitCase{"UTF-16 odd last byte", utf16(u"ab", true) + "c", {"ab\xEF\xBF\xBD"}}),
        ::testing::Values(std::size_t{1 << 20}, std::size_t{1}, std::size_t{3})));

TEST(ExchangeLineReaderTest, MarksLinesLongerThanTheLimit) {
  const std::string atLimit(kMaxExchangeLine, 'a');
  const std::string bytes = atLimit + "\r\n" + atLimit + "b\r\n" + atLimit + "\n" + "[" + std::string(2000, 'n') +
                            "]\r\n" + "x=" + std::string(100000, 'v') + "\r\n" + "last";
  for (const std::size_t chunk : {std::size_t{1 << 20}, std::size_t{7}}) {
    ExchangeLineReader reader(source(bytes, chunk));
    ExchangeLine line;
    ASSERT_TRUE(reader.next(line));
    EXPECT_FALSE(line.tooLong);  // 499 bytes and CR LF
    EXPECT_EQ(line.text, atLimit);
    ASSERT_TRUE(reader.next(line));
    EXPECT_TRUE(line.tooLong);
    EXPECT_FALSE(line.hasEquals);
    ASSERT_TRUE(reader.next(line));
    EXPECT_FALSE(line.tooLong);
    ASSERT_TRUE(reader.next(line));
    EXPECT_TRUE(line.tooLong);
    EXPECT_EQ(line.text.front(), '[');
    EXPECT_TRUE(line.hasBracket);  // the "]" lies far beyond the bytes kept
    EXPECT_FALSE(line.hasEquals);
    EXPECT_LE(line.text.size(), kMaxExchangeLine + 2);
    ASSERT_TRUE(reader.next(line));
    EXPECT_TRUE(line.tooLong);
    EXPECT_TRUE(line.hasEquals);
    EXPECT_FALSE(line.hasBracket);
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line.text, "last");
    EXPECT_EQ(line.number, 6U);
    EXPECT_FALSE(reader.next(line));
  }
}

TEST(ExchangeLineReaderTest, BytesAfterANulDoNotCountTowardsTheLimit) {
  ExchangeLineReader reader(source("a=1\0"s + std::string(1000, 'x') + "]\r\n", 64));
  ExchangeLine line;
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line.text, "a=1");
  EXPECT_FALSE(line.tooLong);
  EXPECT_FALSE(line.hasBracket);
}

TEST(ExchangeLineReaderTest, AFailureEndsReadingAndDropsTheCutLine) {
  const std::string bytes = "a=1\r\nb=2\r\nc=3\r\n";
  ExchangeLineReader reader(source(bytes, 4, 12));  // fails after "c=", inside the third line
  ExchangeLine line;
  std::vector<std::string> lines;
  while (reader.next(line)) lines.push_back(line.text);
  EXPECT_TRUE(reader.failed());
  EXPECT_EQ(lines, (std::vector<std::string>{"a=1", "b=2"}));
  EXPECT_FALSE(reader.next(line));
}

TEST(ExchangeLineReaderTest, AFailureBeforeTheFirstByteGivesNoLines) {
  ExchangeLineReader reader(source("a=1", 4, 0));
  ExchangeLine line;
  EXPECT_FALSE(reader.next(line));
  EXPECT_TRUE(reader.failed());
}

}  // namespace
}  // namespace kip::test
