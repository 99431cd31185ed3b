#include "exchange/desktop_entry.h"

#include <gtest/gtest.h>

#include <string>

namespace kip::test {
namespace {

// One desktop entry file and what it becomes: the definition's fields, or the first problem as "line: text".
struct EntryCase {
  std::string text;
  std::string module, parms, dir, name;
  std::int32_t delay = 0;
  std::string problem;
};

EntryCase ok(std::string text, std::string module, std::string parms, std::string dir, std::string name,
             std::int32_t delay = 0) {
  return {std::move(text), std::move(module), std::move(parms), std::move(dir), std::move(name), delay, {}};
}
EntryCase bad(std::string text, std::string problem) {
  return {std::move(text), {}, {}, {}, {}, 0, std::move(problem)};
}

class DesktopEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(DesktopEntryTest, BecomesTheDefinitionOrTheProblem) {
  const auto& c = GetParam();
  const DesktopEntry entry = parseDesktopEntry(c.text);
  std::string error;
  const auto def = definitionFromDesktopEntry(entry, "file", error);
  const std::string first =
      entry.problems.empty() ? error : std::to_string(entry.problems[0].line) + ": " + entry.problems[0].message;
  if (!c.problem.empty()) {
    EXPECT_FALSE(def.has_value()) << c.text;
    EXPECT_EQ(first.substr(0, c.problem.size()), c.problem) << c.text;
    return;
  }
  ASSERT_TRUE(def.has_value()) << c.text << "\n" << first;
  EXPECT_EQ(def->Module, c.module) << c.text;
  EXPECT_EQ(def->Parms, c.parms) << c.text;
  EXPECT_EQ(def->StartDirectory, c.dir) << c.text;
  EXPECT_EQ(def->Name, c.name) << c.text;
  EXPECT_EQ(def->Delay, c.delay) << c.text;
}

const std::string kHead = "[Desktop Entry]\nType=Application\n";

INSTANTIATE_TEST_SUITE_P(
    Files, DesktopEntryTest,
    ::testing::Values(
        ok(kHead + "Name=Mail\nName[de]=Post\nExec=/usr/bin/mail --quiet %U\nPath=/tmp\n"
                   "X-GNOME-Autostart-Delay=10\n[Desktop Action new]\nExec=ignored\n",
           "/usr/bin/mail", "--quiet", "/tmp", "Mail", 10),
        // Quoting: a program with a blank, grouped words, escaped quote, %%, a field code inside a word, "".
        ok(kHead + R"(Exec="/opt/My App/run" "a b" "q\\"t" 100%% --file=%f "" %i)"
                   "\n",
           R"("/opt/My App/run")", R"("a b" "q\"t" 100% --file= "")", "", "file"),
        // String escapes come first: \s splits; four backslashes are one in a quoted word, kept before its end.
        ok(kHead + "Comment=Clock\nExec=xclock\\s-digital \"C:\\\\\\\\dir x\\\\\\\\\"\n", "xclock",
           R"(-digital "C:\dir x\\")", "", "Clock"),
        ok("\xEF\xBB\xBF# comment\r\n[Desktop Entry]\r\n  Exec = prog  arg \r\nName = A b \r\n", "prog", "arg", "",
           "A b "),
        ok(kHead + "Exec=sh -c 'x y'\n", "sh", "-c \"x y\"", "", "file"),
        ok(kHead + "Exec=prog %z\n", "prog", "", "", "file"),
        ok(kHead + "Name=N\nIcon=x.png\nExec=prog %i %c %k\n", "prog", "--icon x N", "", "N"),
        bad(kHead + "Exec=sh -c 'x\n", "3: Exec: a single quote is not closed"),
        bad(kHead + "Exec=\"prog\n", "3: Exec: a double quote is not closed"),
        bad(kHead + "Exec=%U\n", "3: Exec: it names no program"),
        bad("Name=x\n[Desktop Entry]\nExec=p\n", "1: key \"Name\" comes before"),
        ok(kHead + "Exec=a\nExec=b\n", "b", "", "", "file"),
        bad(kHead + "Exec=a\nsome words\n", "4: not a key=value line"),
        bad(kHead + "Exec=a\nNa[me=x\n", "4: invalid key name"),
        ok(kHead + "Exec=a\n[Desktop Entry]\nName=b\n", "a", "", "", "b"),
        ok(kHead + "Exec=a\nX-GNOME-Autostart-Delay=-5\n", "a", "", "", "file"),
        ok(kHead + "Exec=a\nX-GNOME-Autostart-Delay=7 \n", "a", "", "", "file", 7),
        bad("[Other]\nExec=a\n", "0: there is no [Desktop Entry] group"),
        bad(kHead + "Name=x\n", "there is no Exec key"),
        bad(kHead + "Exec=/a\\\"b\n", "3: Exec: \"\\\"\" is no escape"),
        bad(kHead + "Exec='/a\"b'\n", "the program's name holds a double quote"),
        bad(kHead + "Exec=p " + std::string(260, 'x') + "\n", "the command or its folder")));

TEST(DesktopEntryValues, BooleansListsAndLocalisedKeys) {
  const DesktopEntry entry =
      parseDesktopEntry(kHead +
                        "Exec=p\nHidden=true\nX-GNOME-Autostart-enabled=false\n"
                        "OnlyShowIn=GNOME;X\\;Y;;\nNotShowIn=KDE\nTryExec=p\\sq\nHidden[de]=x\nTerminal=True\n"
                        "Name=a\xFF\n");
  EXPECT_TRUE(entry.problems.empty());
  ASSERT_EQ(entry.ignored.size(), 1u);
  EXPECT_EQ(entry.ignored[0].line, 10u);
  EXPECT_EQ(entry.ignored[0].message, "Terminal: \"True\" is not true or false; read as absent");
  EXPECT_FALSE(entry.terminal);
  EXPECT_EQ(entry.name, "a\xEF\xBF\xBD");
  EXPECT_TRUE(entry.hidden);
  EXPECT_FALSE(entry.autostartEnabled);
  EXPECT_EQ(entry.onlyShowIn, (std::vector<std::string>{"GNOME", "X;Y"}));
  EXPECT_EQ(entry.notShowIn, (std::vector<std::string>{"KDE"}));
  EXPECT_EQ(entry.tryExec, "p q");
}

}  // namespace
}  // namespace kip::test
