#include "base/utf8.h"

#include <gtest/gtest.h>

namespace kip {
namespace {

struct TruncateCase {
  const char* label;
  std::string text;
  std::size_t limit;
  std::string expected;
};

void PrintTo(const TruncateCase& c, std::ostream* os) { *os << c.label; }

class Utf8TruncateTest : public ::testing::TestWithParam<TruncateCase> {};

TEST_P(Utf8TruncateTest, NeverCutsACharacterInTwo) {
  EXPECT_EQ(utf8Truncate(GetParam().text, GetParam().limit), GetParam().expected);
}

// "é" is 2 bytes, "€" 3 and "😀" 4.
INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8TruncateTest,
    ::testing::Values(TruncateCase{"Short", "abc", 5, "abc"}, TruncateCase{"Exact", "abc", 3, "abc"},
                      TruncateCase{"Ascii", "abcdef", 4, "abcd"}, TruncateCase{"BeforeTwoByte", "ab\xC3\xA9", 3, "ab"},
                      TruncateCase{"AfterTwoByte", "ab\xC3\xA9z", 4, "ab\xC3\xA9"},
                      TruncateCase{"InsideThreeByte", "a\xE2\x82\xAC", 3, "a"},
                      TruncateCase{"InsideFourByte", "\xF0\x9F\x98\x80x", 3, ""},
                      TruncateCase{"FourByteWhole", "\xF0\x9F\x98\x80x", 4, "\xF0\x9F\x98\x80"},
                      TruncateCase{"ZeroLimit", "\xC3\xA9", 0, ""},
                      TruncateCase{"StrayContinuationBytes", std::string("ab\x80\x80\x80\x80\x80", 7), 4,
                                   std::string("ab\x80\x80", 4)},
                      TruncateCase{"AsciiBeforeStrayByte", std::string("ab\x80", 3), 2, "ab"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kip
