#include <gtest/gtest.h>

#include <set>

#include "platform/linux/command_line_split.h"

namespace kip::test {
namespace {

struct ArgumentsCase {
  const char* text;
  std::vector<std::string> arguments;
};

class SplitArgumentsTest : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(SplitArgumentsTest, SplitsAsTheOriginalDesktopsRuntimeDoes) {
  EXPECT_EQ(splitArguments(GetParam().text), GetParam().arguments) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitArgumentsTest,
    ::testing::Values(ArgumentsCase{"", {}}, ArgumentsCase{"   \t ", {}}, ArgumentsCase{"a b\tc", {"a", "b", "c"}},
                      ArgumentsCase{"  a   b  ", {"a", "b"}}, ArgumentsCase{R"("a b" c)", {"a b", "c"}},
                      ArgumentsCase{R"(x"a b"y)", {"xa by"}}, ArgumentsCase{R"("" a)", {"", "a"}},
                      ArgumentsCase{R"("a ""b"" c")", {R"(a "b" c)"}}, ArgumentsCase{R"(a\"b)", {R"(a"b)"}},
                      ArgumentsCase{R"(a\\"b c")", {R"(a\b c)"}}, ArgumentsCase{R"(a\\\"b)", {R"(a\"b)"}},
                      ArgumentsCase{R"(C:\dir\file.txt)", {R"(C:\dir\file.txt)"}},
                      ArgumentsCase{R"("unclosed arg)", {"unclosed arg"}}, ArgumentsCase{R"(""")", {"\""}},
                      ArgumentsCase{R"(/a\\ b)", {R"(/a\\)", "b"}}));

// A lookup that knows a fixed set of executable program texts.
ExecutableLookup knownPrograms(std::set<std::string> programs) {
  return [programs = std::move(programs)](std::string_view program) -> std::optional<std::string> {
    if (programs.count(std::string(program)) == 0) return std::nullopt;
    return "/resolved/" + std::string(program);
  };
}

TEST(SplitCommandLine, QuotedProgramIsTakenUpToItsClosingQuote) {
  const auto split = splitCommandLine(R"("/opt/My App/run" -x "a b")", knownPrograms({"/opt/My App/run"}));
  EXPECT_EQ(split.program, "/opt/My App/run");
  EXPECT_EQ(split.resolved, "/resolved//opt/My App/run");
  EXPECT_EQ(split.arguments, (std::vector<std::string>{"-x", "a b"}));
}

TEST(SplitCommandLine, QuotedProgramNeedsNoBlankAfterIt) {
  const auto split = splitCommandLine(R"("prog"arg)", knownPrograms({}));
  EXPECT_EQ(split.program, "prog");
  EXPECT_FALSE(split.resolved.has_value());
  EXPECT_EQ(split.arguments, std::vector<std::string>{"arg"});
}

TEST(SplitCommandLine, ShortestRunOfWordsThatNamesAnExecutableWins) {
  const auto lookup = knownPrograms({"/opt/My App/run", "/opt/My App/run now"});
  const auto split = splitCommandLine("/opt/My App/run now file", lookup);
  EXPECT_EQ(split.program, "/opt/My App/run");
  EXPECT_EQ(split.arguments, (std::vector<std::string>{"now", "file"}));
}

TEST(SplitCommandLine, BlanksBetweenWordsOfTheProgramAreKept) {
  const auto split = splitCommandLine("  /opt/a  b\tc  d", knownPrograms({"/opt/a  b\tc"}));
  EXPECT_EQ(split.program, "/opt/a  b\tc");
  EXPECT_EQ(split.arguments, std::vector<std::string>{"d"});
}

TEST(SplitCommandLine, WithoutAnyMatchTheFirstWordIsTheProgram) {
  const auto split = splitCommandLine(R"(/no/such "x y" z)", knownPrograms({}));
  EXPECT_EQ(split.program, "/no/such");
  EXPECT_FALSE(split.resolved.has_value());
  EXPECT_EQ(split.arguments, (std::vector<std::string>{"x y", "z"}));
}

TEST(SplitCommandLine, EmptyAndBlankTextsHaveNoProgram) {
  for (const char* text : {"", "   ", "\t"}) {
    const auto split = splitCommandLine(text, knownPrograms({""}));
    EXPECT_TRUE(split.program.empty()) << text;
    EXPECT_TRUE(split.arguments.empty()) << text;
  }
  const auto quotes = splitCommandLine(R"("" "  ")", knownPrograms({""}));
  EXPECT_TRUE(quotes.program.empty());
  EXPECT_FALSE(quotes.resolved.has_value());
  EXPECT_EQ(quotes.arguments, std::vector<std::string>{"  "});
}

}  // namespace
}  // namespace kip::test
