#include "exchange/exchange_format.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kip::test {
namespace {

struct NumberCase {
  std::string value;
  std::int32_t expected;
};

class ExchangeNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ExchangeNumberTest, ReadsAsTheFileGivesIt) {
  EXPECT_EQ(parseExchangeNumber(GetParam().value), GetParam().expected) << "value \"" << GetParam().value << "\"";
}

INSTANTIATE_TEST_SUITE_P(Values, ExchangeNumberTest,
                         ::testing::Values(NumberCase{"127", 127}, NumberCase{"-30", -30}, NumberCase{"+12", 12},
                                           NumberCase{"  \t42", 42},  // leading white space skipped
                                           NumberCase{"0930", 930},   // leading zeros
                                           NumberCase{"12abc", 12},   // digits up to the first other character
                                           NumberCase{"1 2", 1}, NumberCase{"", 0}, NumberCase{"abc", 0},
                                           NumberCase{"-", 0}, NumberCase{"+-3", 0},  // one sign only
                                           NumberCase{"- 3", 0},                      // no blank after the sign
                                           NumberCase{"2147483647", 2147483647},
                                           NumberCase{"-2147483648", -2147483647 - 1},
                                           // Beyond 32 bits the number wraps around as a signed 32-bit number does.
                                           NumberCase{"2147483648", -2147483647 - 1}, NumberCase{"4294967295", -1},
                                           NumberCase{"4294967296", 0}, NumberCase{"4294967303", 7},
                                           NumberCase{"-2147483649", 2147483647},
                                           NumberCase{"99999999999999999999999999", -469762049}));

TEST(ExchangeFlagTest, IsTrueOnlyForTheNumberOne) {
  EXPECT_TRUE(parseExchangeFlag("1"));
  EXPECT_TRUE(parseExchangeFlag(" 01"));
  EXPECT_TRUE(parseExchangeFlag("1 yes"));
  EXPECT_TRUE(parseExchangeFlag("4294967297"));  // wraps to 1
  EXPECT_FALSE(parseExchangeFlag("2"));
  EXPECT_FALSE(parseExchangeFlag("-1"));
  EXPECT_FALSE(parseExchangeFlag(""));
  EXPECT_FALSE(parseExchangeFlag("true"));
}

TEST(ExchangeNumberTest, WritesPlainDecimal) {
  for (const std::int32_t n : {0, 7, -7, 2400, 2147483647, -2147483647 - 1}) {
    std::string out = "x=";
    appendExchangeNumber(out, n);
    EXPECT_EQ(out, "x=" + std::to_string(n));
    EXPECT_EQ(parseExchangeNumber(out.substr(2)), n);
  }
}

TEST(ExchangeKeywordsTest, FoldedFormsAreTheWrittenFormsInUpperCaseAndDistinct) {
  std::set<std::string_view> seen;
  auto check = [&](std::string_view written, std::string_view folded) {
    std::string upper(written);
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(upper, folded);
    EXPECT_TRUE(seen.insert(folded).second) << folded;
  };
  for (const auto& k : kDefinitionKeywords) check(k.written, k.folded);
  for (const auto& k : kPreferenceKeywords) check(k.written, k.folded);
}

TEST(CopyExchangeFieldsTest, CopiesNameAndFileFieldsOnly) {
  StartDefinition from;
  from.Name = "N";
  from.Module = "m";
  from.StartDirectory = "d";
  from.NetTest = -1;
  from.Dates = 5;
  from.WaitType = 1;
  from.Disable = true;
  from.Sequence = 9;
  from.Result = "OK";
  from.Executed = 3.5;
  StartDefinition to;
  to.Sequence = 2;
  to.Result = "old";
  to.OtherScope = true;
  copyExchangeFields(from, to);
  EXPECT_EQ(to.Name, "N");
  EXPECT_EQ(to.Module, "m");
  EXPECT_EQ(to.StartDirectory, "d");
  EXPECT_EQ(to.NetTest, -1);
  EXPECT_EQ(to.Dates, 5);
  EXPECT_EQ(to.WaitType, 1);
  EXPECT_TRUE(to.Disable);
  EXPECT_EQ(to.Sequence, 2);
  EXPECT_EQ(to.Result, "old");
  EXPECT_EQ(to.Executed, 0.0);
  EXPECT_TRUE(to.OtherScope);
}

}  // namespace
}  // namespace kip::test
