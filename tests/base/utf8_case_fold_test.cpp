#include "base/utf8_case_fold.h"

#include <gtest/gtest.h>

#include "conditions/condition_text.h"
#include "platform/registry.h"

namespace kip {
namespace {

struct FoldCase {
  const char* a;
  const char* b;
  bool same;
};

void PrintTo(const FoldCase& c, std::ostream* os) { *os << c.a << " / " << c.b; }

class CaseFoldTest : public ::testing::TestWithParam<FoldCase> {};

// Names, users and groups are one name without regard to case by one rule, for every letter.
TEST_P(CaseFoldTest, OneRuleForNamesUsersAndGroups) {
  const auto& c = GetParam();
  EXPECT_EQ(foldName(c.a) == foldName(c.b), c.same);
  EXPECT_EQ(equalsIgnoringCase(c.a, c.b), c.same);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, CaseFoldTest,
    ::testing::Values(FoldCase{"Start List", "START LIST", true}, FoldCase{"Café", "CAFÉ", true},
                      FoldCase{"Ä", "ä", true}, FoldCase{"ΣΊΣΥΦΟΣ", "σίσυφος", true},  // final sigma
                      FoldCase{"ПРИВЕТ", "привет", true}, FoldCase{"Ǆ", "ǆ", true}, FoldCase{"ǅ", "ǆ", true},
                      FoldCase{"\xE2\x84\xAA", "k", true},  // Kelvin sign
                      FoldCase{"ẞ", "ß", true}, FoldCase{"ß", "ss", false}, FoldCase{"𐐀", "𐐨", true},
                      FoldCase{"[", "{", false}, FoldCase{"e", "é", false}, FoldCase{"\xC3", "\xE3", false},
                      FoldCase{"\xC3\x84\xFF", "\xC3\xA4\xFF", true}));  // bytes that are no UTF-8 stay

// ASCII letters keep folding to capitals, so names keep the order older versions gave them; text that is not
// UTF-8 (a lone lead byte, an overlong form) is kept byte for byte.
TEST(CaseFoldTest, AsciiFoldsToCapitalsAndBrokenTextIsKept) {
  EXPECT_EQ(foldCase("a_b [x] é É"), "A_B [X] é é");
  EXPECT_EQ(foldCase("\xC3(\xC0\x80\xED\xA0\x80"), "\xC3(\xC0\x80\xED\xA0\x80");
}

}  // namespace
}  // namespace kip
