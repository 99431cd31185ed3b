#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "doubles/child_process.h"
#include "model/registry_layout.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

namespace fs = std::filesystem;

// kipctl import-xdg over temporary XDG folders and hives: a per-user entry hiding a system one, entries the
// desktop would not start, a malformed one, and one whose name clashes with a stored definition.
class KipctlImportXdgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"home/.config/autostart", "sys1/autostart", "sys2/autostart", "bin"})
      fs::create_directories(m_dir.file(dir));
    writeFile(m_dir.file("bin/present-tool"), "#!/bin/sh\n");
    chmod(m_dir.file("bin/present-tool").c_str(), 0755);
    entry("sys1", "mail", "Name=Mail\nExec=/usr/bin/mail --quiet %U\nX-GNOME-Autostart-Delay=10\n");
    entry("sys1", "gnome", "Name=G\nExec=g\nOnlyShowIn=GNOME;\n");
    entry("sys2", "clock", "Name=Sys Clock\nExec=xclock\n");
    // The user's own entry is a link to a file elsewhere, as desktops' settings often leave it.
    fs::create_directories(m_dir.file("elsewhere/autostart"));
    entry("elsewhere", "clock", "Name=Own Clock\nHidden=false\nExec=\"/opt/My Clock/run\" -d\nPath=/opt\n");
    fs::create_symlink(autostart("elsewhere", "clock"), autostart("home/.config", "clock"));
    entry("sys2", "bad", "Name=Bad\nExec=sh -c 'x\n");
    entry("sys2", "tool", "Name=Tool\nTryExec=present-tool\nExec=present-tool --now\n");
    entry("sys2", "gone", "Name=Gone\nTryExec=missing-tool\nExec=missing-tool\n");
    entry("sys2", "hid", "Name=Hid\nExec=hid\n");
    entry("home/.config", "hid", "Hidden=true\n");
    SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(hives.createKey(Hive::CurrentUser, std::string(kStartListKey) + "\\Tool", key), 0);
    ASSERT_EQ(writeText(*key, "Module", "/old"), 0);
    ASSERT_EQ(writeDword(*key, "Sequence", 5), 0);
  }

  void entry(const std::string& config, const std::string& id, const std::string& body) const {
    writeFile(m_dir.file(config + "/autostart/" + id + ".desktop"), "[Desktop Entry]\nType=Application\n" + body);
  }
  std::string autostart(const std::string& config, const std::string& id) const {
    return m_dir.file(config + "/autostart/" + id + ".desktop");
  }

  ChildResult kipctl(std::vector<std::string> args, const std::string& input = {}) const {
    args.insert(args.begin(), "import-xdg");
    return runProgram(KIPCTL_PATH, args,
                      {{"KIPLAUNCH_USER_HIVE", m_dir.file("user.db")},
                       {"KIPLAUNCH_MACHINE_HIVE", m_dir.file("machine.db")},
                       {"HOME", m_dir.file("home")},
                       {"XDG_CONFIG_HOME", std::nullopt},
                       {"XDG_CONFIG_DIRS", m_dir.file("sys1") + ":" + m_dir.file("sys2")},
                       {"XDG_CURRENT_DESKTOP", "XFCE"},
                       {"PATH", m_dir.file("bin")}},
                      input);
  }

  std::optional<std::string> text(const std::string& name, const char* value) const {
    SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    if (hives.openKey(Hive::CurrentUser, std::string(kStartListKey) + "\\" + name, KeyAccess::Read, key) != 0)
      return std::nullopt;
    return readText(*key, value, true);
  }
  std::optional<std::int32_t> number(const std::string& name, const char* value) const {
    SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    if (hives.openKey(Hive::CurrentUser, std::string(kStartListKey) + "\\" + name, KeyAccess::Read, key) != 0)
      return std::nullopt;
    return readDword(*key, value);
  }

  TempDir m_dir;
};

TEST_F(KipctlImportXdgTest, DryRunThenImportHidingTheOriginalsThenUndoThenOverwrite) {
  const std::string notStarted = "not started by the desktop: " + autostart("home/.config", "hid") + " (Hidden=true)\n";
  // What the desktop decides at each logon becomes the definition's conditions.
  const std::string gnome = "\"G\": g, only in GNOME (" + autostart("sys1", "gnome") + ")\n";
  const std::string gone = "\"Gone\": missing-tool, if installed: missing-tool (" + autostart("sys2", "gone") + ")\n";
  const std::string clock = "\"Own Clock\": \"/opt/My Clock/run\" -d (" + autostart("home/.config", "clock") + ")\n";
  const std::string mail = "\"Mail\": /usr/bin/mail --quiet, delay 10 s (" + autostart("sys1", "mail") + ")\n";
  const std::string malformed = autostart("sys2", "bad") + ":4: Exec: a single quote is not closed; not imported\n";

  auto run = kipctl({"--dry-run", "--disable-originals"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, malformed);
  EXPECT_EQ(run.out, notStarted + "would add " + clock + "would hide " + autostart("home/.config", "clock") +
                         " with Hidden=true\nwould add " + gnome + "would hide " + autostart("sys1", "gnome") +
                         " with Hidden=true\nwould add " + gone + "would hide " + autostart("sys2", "gone") +
                         " with Hidden=true\nwould add " + mail + "would hide " + autostart("sys1", "mail") +
                         " with Hidden=true\nwould ask before overwriting \"Tool\": present-tool --now, if installed: "
                         "present-tool (" +
                         autostart("sys2", "tool") + ")\nwould store 4\n");
  EXPECT_FALSE(text("Mail", "Module").has_value());
  EXPECT_FALSE(fs::exists(autostart("home/.config", "mail")));

  const std::string ownClock = readFile(autostart("home/.config", "clock"));
  run = kipctl({"--disable-originals"}, "n\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, malformed);
  const std::string backup = autostart("home/.config", "clock") + ".kiplaunch-backup";
  const std::string undoMove = "mv -- '" + backup + "' '" + autostart("home/.config", "clock") + "'";
  const std::string undoRemove = "rm -- '" + autostart("home/.config", "mail") + "'";
  const auto removal = [&](const char* id) { return "rm -- '" + autostart("home/.config", id) + "'\n  "; };
  EXPECT_EQ(run.out, notStarted + "Definition for \"Tool\" already exists. Overwrite ? [y/n/c] added " + clock +
                         "added " + gnome + "added " + gone + "added " + mail + "kept the stored \"Tool\"; " +
                         autostart("sys2", "tool") +
                         " not imported\nstored 4, refused 0\nThe imported entries no longer start by themselves "
                         "(Hidden=true). To undo that:\n  " +
                         undoMove + "\n  " + removal("gnome") + removal("gone") + undoRemove + "\n");
  EXPECT_EQ(text("G", "OnlyShowIn"), "GNOME");
  EXPECT_EQ(text("Gone", "TryExec"), "missing-tool");
  EXPECT_EQ(text("Mail", "Module"), "/usr/bin/mail");
  EXPECT_EQ(text("Mail", "Parms"), "--quiet");
  EXPECT_EQ(number("Mail", "Delay"), 10);
  EXPECT_EQ(text("Own Clock", "Module"), "\"/opt/My Clock/run\"");
  EXPECT_EQ(text("Own Clock", "Start Directory"), "/opt");
  EXPECT_EQ(text("Tool", "Module"), "/old");
  EXPECT_EQ(readFile(backup), ownClock);
  EXPECT_EQ(readFile(autostart("home/.config", "clock")),
            "[Desktop Entry]\nType=Application\nName=Own Clock\nHidden=true\nExec=\"/opt/My Clock/run\" -d\n"
            "Path=/opt\n");
  EXPECT_EQ(readFile(autostart("home/.config", "mail")),
            "[Desktop Entry]\nHidden=true\nType=Application\nName=Mail\nExec=/usr/bin/mail --quiet %U\n"
            "X-GNOME-Autostart-Delay=10\n");

  // The printed commands give the desktop its entries back.
  EXPECT_EQ(runProgram("/bin/sh", {"-c", undoMove + " && " + undoRemove}).exitCode, 0);
  EXPECT_EQ(readFile(autostart("home/.config", "clock")), ownClock);
  EXPECT_TRUE(fs::is_symlink(autostart("home/.config", "clock")));
  EXPECT_FALSE(fs::exists(autostart("home/.config", "mail")));
  EXPECT_FALSE(fs::exists(backup));

  // Yes overwrites the stored definition's command but keeps what the exchange file does not carry.
  run = kipctl({"--yes"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(text("Tool", "Module"), "present-tool");
  EXPECT_EQ(text("Tool", "Parms"), "--now");
  EXPECT_EQ(number("Tool", "Sequence"), 5);
  EXPECT_EQ(kipctl({"--yes", "--no"}).exitCode, 1);
}

// A user who may not write the machine-wide list is told that nothing was stored, entry by entry.
TEST_F(KipctlImportXdgTest, WhatTheMachineListRefusesIsNotReportedAsAdded) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run kipctl as another user";
  {
    SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(hives.createKey(Hive::LocalMachine, std::string(kStartListKey) + "\\Old", key), 0);
  }
  chmod(m_dir.file("machine.db").c_str(), 0644);
  std::string why;
  const auto program = copyForUser(KIPCTL_PATH, m_dir.path(), 65534, why);
  if (!program) GTEST_SKIP() << why;
  const std::string home = m_dir.file("nobody");
  mkdir(home.c_str(), 0700);
  chown(home.c_str(), 65534, 65534);
  ChildProcess child(*program, {"import-xdg", "--global", "--yes"},
                     {{"KIPLAUNCH_USER_HIVE", home + "/user.db"},
                      {"KIPLAUNCH_MACHINE_HIVE", m_dir.file("machine.db")},
                      {"HOME", home},
                      {"XDG_CONFIG_HOME", std::nullopt},
                      {"XDG_CONFIG_DIRS", m_dir.file("sys1") + ":" + m_dir.file("sys2")},
                      {"XDG_CURRENT_DESKTOP", "XFCE"},
                      {"PATH", m_dir.file("bin") + ":/usr/bin:/bin"}},
                     "", uid_t{65534});
  const ChildResult run = child.wait();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out.find("added "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("not stored: \"Mail\": /usr/bin/mail --quiet, delay 10 s"), std::string::npos) << run.out;
  EXPECT_TRUE(run.out.ends_with("stored 0, refused 6\n")) << run.out;
  EXPECT_NE(run.err.find("kipctl: "), std::string::npos);
  SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
  std::unique_ptr<RegKey> key;
  EXPECT_NE(hives.openKey(Hive::LocalMachine, std::string(kStartListKey) + "\\Mail", KeyAccess::Read, key), 0);
}

// A desktop's autostart folder brought over whole: two entries of one name stay two, a KDE-only entry and a
// conditional one keep their conditions, a terminal program runs in the terminal emulator; the plan for a
// KDE and a GNOME logon starts what each desktop would, and importing again adds nothing.
TEST(KipctlImportXdgWhole, ClashConditionAndTerminalPlannedForTwoDesktops) {
  TempDir dir;
  for (const char* folder : {"home/.config/autostart", "sys/autostart", "bin"})
    fs::create_directories(dir.file(folder));
  for (const char* program : {"x-terminal-emulator", "orca", "tray"}) {
    writeFile(dir.file("bin/") + program, "#!/bin/sh\n");
    chmod((dir.file("bin/") + program).c_str(), 0755);
  }
  const auto entry = [&](const char* id, const std::string& body) {
    writeFile(dir.file("sys/autostart/") + id + ".desktop", "[Desktop Entry]\nType=Application\n" + body);
  };
  entry("tray-a", "Name=Tray\nExec=tray --a\n");
  entry("tray-b", "Name=Tray\nExec=tray --b\n");
  entry("kde-only", "Name=Kde Helper\nExec=tray --kde\nOnlyShowIn=KDE;\n");
  entry("reader", "Name=Reader\nExec=orca\nTryExec=orca\nAutostartCondition=if-exists reader-on\n");
  entry("top", "Name=Top\nExec=top -d 5\nTerminal=true\n");
  entry("panel", "Name=Panel\nExec=tray --panel\nX-GNOME-Autostart-Phase=Panel\nX-GNOME-Autostart-Delay=2\n");
  const EnvChanges env{{"KIPLAUNCH_USER_HIVE", dir.file("user.db")},
                       {"KIPLAUNCH_MACHINE_HIVE", dir.file("machine.db")},
                       {"KIPLAUNCH_POWER_SUPPLY_DIR", dir.file("none")},
                       {"HOME", dir.file("home")},
                       {"XDG_CONFIG_HOME", std::nullopt},
                       {"XDG_CONFIG_DIRS", dir.file("sys")},
                       {"XDG_CURRENT_DESKTOP", "GNOME"},
                       {"PATH", dir.file("bin") + ":/usr/bin:/bin"}};
  const auto kipctl = [&](std::vector<std::string> args) { return runProgram(KIPCTL_PATH, args, env); };

  auto run = kipctl({"import-xdg", "--yes"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("added \"Tray\": tray --a, sequence 8 ("), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("added \"Panel\": tray --panel, delay 2 s, sequence 6 ("), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("added \"Tray(2)\": tray --b, sequence 8 (" + dir.file("sys/autostart/tray-b.desktop") +
                         "; \"Tray\" is taken)\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("added \"Top\": x-terminal-emulator -e top -d 5, sequence 8 ("), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("added \"Kde Helper\": tray --kde, sequence 8, only in KDE ("), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("added \"Reader\": orca, sequence 8, if installed: orca, if if-exists reader-on ("),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(run.out.ends_with("stored 6, refused 0\n")) << run.out;

  // The same import again finds every entry's own definition.
  run = kipctl({"import-xdg", "--yes"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.find("added"), std::string::npos) << run.out;
  EXPECT_TRUE(run.out.ends_with("stored 0, refused 0, already in the list 6\n")) << run.out;

  const auto plan = [&](const std::string& desktop, std::vector<std::string> more = {}) {
    std::vector<std::string> args{"plan", "--json", "--desktop", desktop};
    args.insert(args.end(), more.begin(), more.end());
    const auto result = kipctl(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  };
  const auto result = [](const std::string& json, const std::string& name) {
    const auto at = json.find("{\"name\": \"" + name + "\"");
    if (at == std::string::npos) return std::string("missing");
    const auto from = json.find("\"result\": \"", at) + 11;
    return json.substr(from, json.find('"', from) - from);
  };
  const std::string gnome = plan("GNOME");
  // The panel's phase comes before the applications: it starts first, after its own delay.
  EXPECT_LT(gnome.find("\"name\": \"Panel\""), gnome.find("\"name\": \"Tray\""));
  EXPECT_NE(gnome.find("\"name\": \"Panel\", \"scope\": \"local\", \"start\": 3, \"group\": 6"), std::string::npos)
      << gnome;
  EXPECT_EQ(result(gnome, "Tray"), "OK");
  EXPECT_EQ(result(gnome, "Tray(2)"), "OK");
  EXPECT_EQ(result(gnome, "Top"), "OK");
  EXPECT_EQ(result(gnome, "Kde Helper"), "SKIP (Failed: Desktop)");
  EXPECT_EQ(result(gnome, "Reader"), "SKIP (Failed: Condition)");
  const std::string kde = plan("KDE", {"--met", "if-exists reader-on"});
  EXPECT_EQ(result(kde, "Kde Helper"), "OK");
  EXPECT_EQ(result(kde, "Reader"), "OK");
  EXPECT_EQ(result(plan("KDE", {"--missing", "orca"}), "Reader"), "SKIP (Failed: TryExec; Condition)");
  // The condition file itself, in the user's configuration folder, switches the reader on.
  writeFile(dir.file("home/.config/reader-on"), "");
  EXPECT_EQ(result(plan("KDE"), "Reader"), "OK");
}

}  // namespace
}  // namespace kip::test
