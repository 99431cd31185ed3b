#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "conditions/desktop_conditions.h"
#include "doubles/child_process.h"
#include "engine/launcher.h"
#include "exchange/xdg_autostart.h"
#include "platform/linux/command_line_split.h"

namespace kip::test {
namespace {

namespace fs = std::filesystem;

// One autostart entry written for the comparison: its [Desktop Entry] lines after Type=Application (or the
// whole file when whole is set).
struct GlibCase {
  std::string body;
  bool whole = false;
};

const std::vector<GlibCase> kCases = {
    {"Name=Mail\nExec=tool --quiet %U\nX-GNOME-Autostart-Delay=10\n"},
    {"Exec=tool\nX-GNOME-Autostart-enabled=true \nX-GNOME-Autostart-Delay=3 \n"},
    {"Exec=tool\nHidden=True\n"},
    {"Exec=tool\nX-GNOME-Autostart-Delay=2.5\n"},
    {"Exec=tool a\nExec=tool b\n"},
    {"Exec=sh -c 'echo one two'\n"},
    {"Name=Caf\xC3\xA9 it's\nIcon=clock.png\nExec=tool %i %c %k --name=%c\n"},
    {"Name=x\nExec=tool %i %f %F %u %U %d %D %n %N %v %m\n"},
    {"Exec=tool \"a b\" 'c\"d' e\\\\\\\\f \"g\\\\$h\" \"\"\n"},
    {"Exec=tool #comment\n"},
    {"Exec=tool -x\nTerminal=true\n"},
    {"Exec=tool\nOnlyShowIn=KDE;\n"},
    {"Exec=tool\nNotShowIn=GNOME;\n"},
    {"Exec=tool\nOnlyShowIn=XFCE;GNOME;\n"},
    {"Exec=tool\nTryExec=missing-tool\n"},
    {"Exec=tool\nTryExec=tool\n"},
    {"Exec=tool\nsome words\n"},
    {"Exec=tool\nNa me=x\nX-Vendor_Key.1=y\n"},
    {"[Desktop Entry]\nExec=tool\n", true},
    {"Exec=tool\n[Other]\nExec=x\n[Desktop Entry]\nName=Again\nExec=tool again\n"},
    {"Exec=tool %z 100%% %\n"},
    {"Exec=sh -c \"echo \\\\\"hi\\\\\"\"\n"},
    {"Exec=sh -c \"echo \\\"hi\\\"\"\n"},
    {"Exec=tool\nX-GNOME-Autostart-enabled=false\n"},
    {"Name=\xFF\xFE Bad\nExec=tool\n"},
    {"Exec=tool\nX-GNOME-Autostart-Delay=-4\n"},
    {"Exec=\"@BIN@/my tool\" x\n"},
    {"Exec=tool 'unclosed\n"},
};

bool executable(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The helper's fields; an empty last word stays.
std::vector<std::string> tabFields(const std::string& line) {
  std::vector<std::string> fields;
  for (std::size_t from = 0;;) {
    const auto tab = line.find('\t', from);
    fields.push_back(line.substr(from, tab - from));
    if (tab == std::string::npos) return fields;
    from = tab + 1;
  }
}

// The reader and the autostart scan against GLib's own reader, run through python3-gi: for every entry, the
// same decision whether the desktop starts it and, when it does, the same words, delay and terminal.
TEST(DesktopEntryAgainstGlib, StartsWhatGlibStartsWithTheSameCommand) {
  TempDir dir;
  fs::create_directories(dir.file("config/autostart"));
  fs::create_directories(dir.file("bin"));
  for (const char* program : {"tool", "my tool", "x-terminal-emulator"}) {
    writeFile(dir.file("bin/") + program, "#!/bin/sh\n");
    chmod((dir.file("bin/") + program).c_str(), 0755);
  }
  std::vector<std::string> files;
  for (std::size_t i = 0; i < kCases.size(); ++i) {
    std::string body = kCases[i].body;
    if (const auto at = body.find("@BIN@"); at != std::string::npos) body.replace(at, 5, dir.file("bin"));
    const std::string name = (i < 10 ? "case0" : "case") + std::to_string(i) + ".desktop";
    files.push_back(dir.file("config/autostart/") + name);
    writeFile(files.back(), kCases[i].whole ? body : "[Desktop Entry]\nType=Application\n" + body);
  }
  const ChildResult glib = runProgram(
      "/usr/bin/python3",
      [&] {
        std::vector<std::string> args{std::string(KIP_TEST_SOURCE_DIR) + "/e2e/scripts/glib_autostart_verdict.py"};
        args.insert(args.end(), files.begin(), files.end());
        return args;
      }(),
      {{"XDG_CURRENT_DESKTOP", "GNOME"},
       {"PATH", dir.file("bin") + ":/usr/bin:/bin"},
       {"XDG_DATA_DIRS", dir.file("data")},
       {"XDG_DATA_HOME", dir.file("data")}});
  ASSERT_EQ(glib.exitCode, 0) << glib.err;
  std::istringstream lines(glib.out);

  const auto installed = [&](std::string_view program) {
    if (program.starts_with('/')) return executable(std::string(program));
    return executable(dir.file("bin/") + std::string(program)) || executable("/usr/bin/" + std::string(program));
  };
  const auto entries = scanXdgAutostart({dir.file("config/autostart"), {}}, installed);
  ASSERT_EQ(entries.size(), kCases.size());
  for (std::size_t i = 0; i < kCases.size(); ++i) {
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    const AutostartEntry& ours = entries[i];
    // The entry is imported with its conditions; whether it starts is their verdict at this logon.
    const bool starts = ours.verdict == AutostartVerdict::Starts &&
                        shownInDesktops(ours.definition->OnlyShowIn, ours.definition->NotShowIn, "GNOME") &&
                        (ours.definition->TryExec.empty() || installed(ours.definition->TryExec));
    const std::vector<std::string> glibSays = tabFields(line);
    ASSERT_EQ(starts ? "yes" : "no", glibSays.at(0)) << kCases[i].body << line << "\n" << ours.reason;
    if (!starts) continue;
    ASSERT_GE(glibSays.size(), 4u) << line;
    const StartDefinition& def = *ours.definition;
    const SplitCommand command = splitCommandLine(commandText(def), [](std::string_view) { return std::nullopt; });
    std::vector<std::string> words{command.program};
    words.insert(words.end(), command.arguments.begin(), command.arguments.end());
    EXPECT_EQ(std::to_string(def.Delay), glibSays[1]) << kCases[i].body;
    EXPECT_EQ(ours.entry.terminal, glibSays[2] == "terminal") << kCases[i].body;
    // A terminal program runs in the emulator the desktop would use as well.
    if (ours.entry.terminal) {
      EXPECT_EQ(words.at(0), "x-terminal-emulator");
      words.erase(words.begin(), words.begin() + 2);
    }
    EXPECT_EQ(words, std::vector<std::string>(glibSays.begin() + 3, glibSays.end())) << kCases[i].body;
  }
}

}  // namespace
}  // namespace kip::test
