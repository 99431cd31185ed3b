#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "doubles/child_process.h"

namespace kip::test {
namespace {

// The full path of a command, empty when it is not installed.
std::string commandPath(const std::string& name) {
  std::string out = runProgram("/bin/sh", {"-c", "command -v " + name}).out;
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// A person's session with the definition manager on a real display, driven with the pointer and the
// keyboard: create, edit on every tab, rename, save, close, start again, find it unchanged.
TEST(KiplaunchWindowTest, DefinitionMadeInTheWindowSurvivesARestart) {
  if (std::string(KIPLAUNCH_PATH).empty()) GTEST_SKIP() << "kiplaunch is not built";
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "xdpyinfo", "dbus-run-session"})
    if (commandPath(tool).empty()) GTEST_SKIP() << tool << " is not installed (tools/setup.sh installs it)";
  if (runProgram("/usr/bin/python3", {"-c", "import pyatspi"}).exitCode != 0)
    GTEST_SKIP() << "python3-pyatspi is not installed (tools/setup.sh installs it)";
  TempDir dir;
  const auto result =
      runProgram(commandPath("dbus-run-session"),
                 {"--", "/usr/bin/python3", std::string(KIP_TEST_SOURCE_DIR) + "/e2e/scripts/drive_manager_window.py",
                  KIPLAUNCH_PATH, KIPCTL_PATH, dir.path()},
                 {{"QT_QPA_PLATFORM", std::nullopt}}, {}, std::chrono::seconds(110));
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("cancelled"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace kip::test
