#include "model/unique_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kip::test {
namespace {

struct UniqueNameCase {
  std::vector<std::string> captions;
  std::string name;
  std::string expected;
};

class UniqueNameTest : public ::testing::TestWithParam<UniqueNameCase> {};

TEST_P(UniqueNameTest, MakesTheNameUniqueAmongTheCaptions) {
  const auto& c = GetParam();
  EXPECT_EQ(uniqueName(c.name, c.captions), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, UniqueNameTest,
    ::testing::Values(UniqueNameCase{{}, "Backup", "Backup"},                          // no rows
                      UniqueNameCase{{"Other"}, "Backup", "Backup"},                   // no clash
                      UniqueNameCase{{"Backup"}, "Backup", "Backup(2)"},               // first copy
                      UniqueNameCase{{"Backup", "Backup(2)"}, "Backup", "Backup(3)"},  // second copy
                      UniqueNameCase{{"Backup", "Backup(2)"}, "Backup(2)", "Backup(3)"},
                      UniqueNameCase{{"Backup(2)"}, "Backup(2)", "Backup(3)"},  // counter goes on past 2
                      UniqueNameCase{{"A"}, "a", "a(2)"},                       // case ignored
                      UniqueNameCase{{"x)"}, "x)", "x)(2)"},                    // ")" without "(" keeps all
                      UniqueNameCase{{"(1)"}, "(1)", "(2)"},                    // the whole text cut away
                      UniqueNameCase{{"a(b)c"}, "a(b)c", "a(b)c(2)"},           // ")" not at the end
                      UniqueNameCase{{"f(x)(y)"}, "f(x)(y)", "f(x)(2)"},        // only the last "(" cuts
                      UniqueNameCase{{"", "(2)"}, "", "(3)"},                   // an empty name
                      UniqueNameCase{{"Prüfung"}, "PRüFUNG", "PRüFUNG(2)"},
                      UniqueNameCase{{"Prüfung"}, "PRÜFUNG", "PRÜFUNG(2)"}));  // every letter folds

TEST(SameCaptionTest, ComparesWholeTextsWithoutRegardToAsciiCase) {
  EXPECT_TRUE(sameCaption("Backup Tool", "bACKUP tOOL"));
  EXPECT_FALSE(sameCaption("Backup", "Backup "));
  EXPECT_FALSE(sameCaption("Backup", "Backu"));
  EXPECT_FALSE(sameCaption("[", "{"));  // 0x5B and 0x7B differ by the case bit but are no letters
}

TEST(UniqueNameTest, AsksThePredicateAboutEveryCandidateInTurn) {
  std::vector<std::string> asked;
  const auto result = uniqueName("Job(7)", [&](std::string_view candidate) {
    asked.emplace_back(candidate);
    return asked.size() < 3;
  });
  EXPECT_EQ(result, "Job(3)");
  EXPECT_EQ(asked, (std::vector<std::string>{"Job(7)", "Job(2)", "Job(3)"}));
}

}  // namespace
}  // namespace kip::test
