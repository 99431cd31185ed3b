#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "doubles/child_process.h"
#include "model/registry_layout.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

// kipctl plan over a realistic set of definitions in temporary hives: a start-up delay of 10 s, three groups,
// delays, a wait, an after-action, a battery-only, a Monday-only and a resource definition, a disabled one and
// one of the machine-wide scope.
class KipctlPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
    set(hives, Hive::CurrentUser, std::string(kPreferencesKey), "Run", 11);
    define(hives, Hive::CurrentUser, "Mail", {}, "--quiet");
    define(hives, Hive::CurrentUser, "Chat", {{"Sequence", 1}, {"Delay", 5}, {"Wait", 3}, {"WaitType", 1}});
    define(hives, Hive::CurrentUser, "Sync", {{"Sequence", 1}, {"Msg", 20}});
    define(hives, Hive::CurrentUser, "Tray", {{"Sequence", 2}});
    define(hives, Hive::CurrentUser, "Backup", {{"Sequence", 2}, {"Delay", 4}, {"Apm", 2}});
    define(hives, Hive::CurrentUser, "Monday", {{"Days", 1}});
    define(hives, Hive::CurrentUser, "Old", {{"Disable", 1}});
    define(hives, Hive::CurrentUser, "Photos", {{"NetTest", 1}});
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(hives.createKey(Hive::CurrentUser, std::string(kStartListKey) + "\\Photos", key), 0);
    ASSERT_EQ(writeText(*key, "NetResource", "/no/such/share"), 0);
    define(hives, Hive::LocalMachine, "Clock", {});
  }

  static void set(Registry& r, Hive hive, const std::string& path, const char* name, std::int32_t value) {
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(r.createKey(hive, path, key), 0);
    ASSERT_EQ(writeDword(*key, name, value), 0);
  }
  static void define(Registry& r, Hive hive, const std::string& name,
                     const std::vector<std::pair<const char*, std::int32_t>>& numbers, const std::string& parms = {}) {
    const std::string path = std::string(kStartListKey) + "\\" + name;
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(r.createKey(hive, path, key), 0);
    ASSERT_EQ(writeText(*key, "Module", "/bin/true"), 0);
    ASSERT_EQ(writeText(*key, "Parms", parms), 0);
    for (const auto& [value, number] : numbers) ASSERT_EQ(writeDword(*key, value, number), 0);
  }

  ChildResult kipctl(std::vector<std::string> args, const std::string& userHive = "user.db",
                     const EnvChanges& session = {{"WAYLAND_DISPLAY", std::nullopt}}) const {
    args.insert(args.begin(), "plan");
    EnvChanges env = {{"KIPLAUNCH_USER_HIVE", m_dir.file(userHive)},
                      {"KIPLAUNCH_MACHINE_HIVE", m_dir.file("machine.db")},
                      {"KIPLAUNCH_POWER_SUPPLY_DIR", m_dir.file("none")}};
    env.insert(session.begin(), session.end());
    return runProgram(KIPCTL_PATH, args, env);
  }

  TempDir m_dir;
};

TEST_F(KipctlPlanTest, TimelineOnABatteryMondayAsJsonAndOnAMainsTuesdayAsATable) {
  auto run = kipctl({"--at", "2026-12-07 09:00", "--battery", "40", "--present", "/no/such/share", "--json"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const auto object = [](const std::string& name, const std::string& scope, const std::string& start, int group,
                         const std::string& result, const std::string& testResult, const std::string& parms = {}) {
    return "  {\"name\": \"" + name + "\", \"scope\": \"" + scope + "\", \"start\": " + start +
           ", \"group\": " + std::to_string(group) + ", \"command\": \"/bin/true" + parms + "\", \"result\": \"" +
           result + "\", \"testResult\": " + testResult + "}";
  };
  // Group 1 starts after the delay's ticks; Chat's wait of 3 s stretches everything after it; Sync's after-action
  // (at 12 + 20 + 3) holds group 2 back one tick more.
  EXPECT_EQ(run.out,
            "[\n" + object("Mail", "local", "11", 0, "OK", "0", " --quiet") + ",\n" +
                object("Monday", "local", "11", 0, "OK", "0") + ",\n" + object("Photos", "local", "11", 0, "OK", "0") +
                ",\n" + object("Clock", "global", "11", 0, "OK", "0") + ",\n" +
                object("Sync", "local", "12", 1, "OK (Close in 20s)", "0") + ",\n" +
                object("Chat", "local", "16", 1, "OK", "64") + ",\n" + object("Tray", "local", "37", 2, "OK", "0") +
                ",\n" + object("Backup", "local", "40", 2, "OK", "64") + ",\n" +
                object("Old", "local", "null", 0, "DISABLED", "null") + "\n]\n");

  run = kipctl({"--global", "--at", "2026-12-08 09:00", "--mains"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "Logon at 2026-12-08 09:00, start-up delay 10 s\n\n"
            "SECOND  GROUP  SCOPE   NAME   COMMAND\n"
            "    11      0  global  Clock  /bin/true\n"
            "    11      0  local   Mail   /bin/true --quiet\n"
            "    12      1  local   Sync   /bin/true\n"
            "    16      1  local   Chat   /bin/true\n"
            "    37      2  local   Tray   /bin/true\n\n"
            "Not started:\n"
            "SCOPE  NAME    RESULT\n"
            "local  Backup  SKIP (Failed: Power)\n"
            "local  Monday  SKIP (Failed: DayOfWeek)\n"
            "local  Old     DISABLED\n"
            "local  Photos  SKIP (Failed: Res <Rc-3 '/no/such/share'>)\n");

  // Nothing was written back, and a damaged hive is refused rather than planned as empty.
  SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(hives.openKey(Hive::CurrentUser, std::string(kStartListKey) + "\\Mail", KeyAccess::Read, key), 0);
  EXPECT_FALSE(readText(*key, "Result", true).has_value());
  writeFile(m_dir.file("bad.db"), std::string(200, 'x'));
  run = kipctl({}, "bad.db");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(kipctl({"--battery", "101"}).exitCode, 2);
}

TEST_F(KipctlPlanTest, ADesktopWithoutWindowCommandsIsNamedOnceWhereAStartNeedsThem) {
  const EnvChanges gnome = {{"WAYLAND_DISPLAY", "wayland-0"},
                            {"XDG_CURRENT_DESKTOP", "GNOME"},
                            {"SWAYSOCK", std::nullopt},
                            {"I3SOCK", std::nullopt}};
  const std::string note =
      "Window commands are not available on this desktop (GNOME on Wayland): the after-action, the start state and "
      "the Idle wait reach only programs that run through XWayland.\n";
  // Sync's after-action starts in the plan: one note after the tables, or on standard error beside the JSON.
  auto run = kipctl({"--at", "2026-12-08 09:00", "--mains"}, "user.db", gnome);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.substr(run.out.size() - note.size() - 1), "\n" + note);
  EXPECT_EQ(run.out.find("Window commands"), run.out.rfind("Window commands"));
  run = kipctl({"--at", "2026-12-08 09:00", "--mains", "--json"}, "user.db", gnome);
  EXPECT_EQ(run.err, "kipctl: " + note);
  EXPECT_EQ(run.out.find("Window commands"), std::string::npos);
  // In a sway session, or where no start needs a window, nothing is said.
  auto sway = gnome;
  sway["SWAYSOCK"] = m_dir.file("sway.sock");
  EXPECT_EQ(kipctl({"--at", "2026-12-08 09:00", "--mains"}, "user.db", sway).out.find("Window commands"),
            std::string::npos);
  SqliteRegistry hives(m_dir.file("user.db"), m_dir.file("machine.db"));
  EXPECT_EQ(hives.deleteTree(Hive::CurrentUser, std::string(kStartListKey) + "\\Sync"), 0);
  EXPECT_EQ(kipctl({"--at", "2026-12-08 09:00", "--mains"}, "user.db", gnome).out.find("Window commands"),
            std::string::npos);
}

}  // namespace
}  // namespace kip::test
