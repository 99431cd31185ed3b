#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
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

// What a JSON line of the helper says, read with the little JSON it writes: strings, numbers, booleans, a
// list of strings.
std::string field(const std::string& line, const std::string& key) {
  const auto at = line.find("\"" + key + "\": ");
  if (at == std::string::npos) return {};
  std::size_t start = at + key.size() + 4;
  std::size_t end = start;
  int depth = 0;
  bool inString = false;
  for (; end < line.size(); ++end) {
    const char c = line[end];
    if (inString) {
      if (c == '\\')
        ++end;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      --depth;
    } else if ((c == ',' || c == '}') && depth == 0) {
      break;
    }
  }
  return line.substr(start, end - start);
}

std::string jsonList(const std::vector<std::string>& words) {
  // The helper writes with Python's json module: ASCII only, so non-ASCII comes as \u escapes.
  std::string out = "[";
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += ", ";
    out += '"';
    for (std::size_t k = 0; k < words[i].size(); ++k) {
      const unsigned char c = static_cast<unsigned char>(words[i][k]);
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c >= 0x80 && (c & 0xE0) == 0xC0 && k + 1 < words[i].size()) {
        const unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(words[i][++k]) & 0x3Fu);
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", code);
        out += buffer;
      } else {
        out += static_cast<char>(c);
      }
    }
    out += '"';
  }
  return out + "]";
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
    ASSERT_EQ(starts ? "true" : "false", field(line, "starts")) << kCases[i].body << line << "\n" << ours.reason;
    if (!starts) continue;
    const StartDefinition& def = *ours.definition;
    const SplitCommand command = splitCommandLine(commandText(def), [](std::string_view) { return std::nullopt; });
    std::vector<std::string> words{command.program};
    words.insert(words.end(), command.arguments.begin(), command.arguments.end());
    const bool terminal = field(line, "terminal") == "true";
    EXPECT_EQ(terminal, ours.entry.terminal) << kCases[i].body;
    if (terminal) {
      ASSERT_GE(words.size(), 2u);
      EXPECT_EQ(words[0], "x-terminal-emulator");
      EXPECT_EQ(words[1], "-e");
      words.erase(words.begin(), words.begin() + 2);
    }
    EXPECT_EQ(jsonList(words), field(line, "argv")) << kCases[i].body;
    EXPECT_EQ(std::to_string(def.Delay), field(line, "delay")) << kCases[i].body;
  }
}

}  // namespace
}  // namespace kip::test
