#include "exchange/argument_quoting.h"

#include <gtest/gtest.h>

#include "platform/linux/command_line_split.h"

namespace kip::test {
namespace {

// Quoted arguments must come back unchanged through the launcher's own splitting.
TEST(ArgumentQuoting, TheLaunchersSplittingGivesTheArgumentsBack) {
  const std::vector<std::vector<std::string>> cases = {
      {"plain", "--x=1"},          {""},           {"a b", "\tc"}, {R"(q"t)", R"(\")"}, {R"(C:\dir x\)", R"(end\\)"},
      {R"(a\\"b)", "\"\"", "x\\"}, {R"(no\quote)"}};
  for (const auto& arguments : cases) EXPECT_EQ(splitArguments(quoteArguments(arguments)), arguments);
  EXPECT_EQ(quoteArguments(cases[0]), "plain --x=1");
  EXPECT_EQ(quoteArgument(R"(C:\dir x\)"), R"("C:\dir x\\")");
}

}  // namespace
}  // namespace kip::test
