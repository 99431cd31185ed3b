#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "doubles/child_process.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

constexpr const char* kProfileKey = "HKLM\\System\\CurrentControlSet\\control\\IDConfigDB";

// Runs the built kipctl in hives of a fresh temporary folder.
class KipctlRegTest : public ::testing::Test {
 protected:
  std::string userHive() const { return m_dir.file("user.db"); }
  std::string machineHive() const { return m_dir.file("machine.db"); }
  EnvChanges env() const { return {{"KIPLAUNCH_USER_HIVE", userHive()}, {"KIPLAUNCH_MACHINE_HIVE", machineHive()}}; }

  ChildResult reg(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), "reg");
    return runProgram(KIPCTL_PATH, args, env(), input);
  }
  // Runs a command that must succeed quietly.
  void ok(std::vector<std::string> args) {
    const auto result = reg(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
  }
  static void expectFailure(const ChildResult& result, std::string_view fragment) {
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_TRUE(result.err.starts_with("kipctl: ")) << result.err;
    EXPECT_NE(result.err.find(fragment), std::string::npos) << result.err;
  }

  std::optional<std::string> text(Hive hive, std::string_view path, std::string_view name) {
    SqliteRegistry registry(userHive(), machineHive());
    std::unique_ptr<RegKey> key;
    if (registry.openKey(hive, path, KeyAccess::Read, key) != 0) return std::nullopt;
    return readText(*key, name, true);
  }
  std::optional<std::int32_t> dword(Hive hive, std::string_view path, std::string_view name) {
    SqliteRegistry registry(userHive(), machineHive());
    std::unique_ptr<RegKey> key;
    if (registry.openKey(hive, path, KeyAccess::Read, key) != 0) return std::nullopt;
    return readDword(*key, name);
  }

  TempDir m_dir;
};

TEST_F(KipctlRegTest, AddQueryAndDeleteValuesOfEveryType) {
  ok({"add", "HKCU\\Software\\Kip", "/v", "Delay", "/t", "REG_DWORD", "/d", "0x1f"});
  ok({"add", "HKCU\\Software\\Kip", "/v", "Offset", "/t", "REG_DWORD", "/d", "-1"});
  ok({"add", "HKCU\\Software\\Kip", "/v", "Module", "/d", "/usr/bin/xterm -e \"top\""});
  ok({"add", "HKCU\\Software\\Kip", "/v", "Dir", "/t", "REG_EXPAND_SZ", "/d", "%HOME%"});
  ok({"add", "HKCU\\Software\\Kip", "/v", "Stamp", "/t", "REG_BINARY", "/d", "00ab"});
  ok({"add", "HKCU\\Software\\Kip", "/ve", "/d", "default"});
  ok({"add", "HKCU\\Software\\Kip\\Sub"});

  auto result = reg({"query", "hkey_current_user\\SOFTWARE\\KIP"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "HKEY_CURRENT_USER\\Software\\Kip\n"
            "    (Default)    REG_SZ    default\n"
            "    Delay    REG_DWORD    0x1f\n"
            "    Dir    REG_EXPAND_SZ    %HOME%\n"
            "    Module    REG_SZ    /usr/bin/xterm -e \"top\"\n"
            "    Offset    REG_DWORD    0xffffffff\n"
            "    Stamp    REG_BINARY    00AB\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Kip\\Sub\n");
  result = reg({"query", "HKCU\\Software", "/s", "/v", "stamp"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "\nHKEY_CURRENT_USER\\Software\\Kip\n    Stamp    REG_BINARY    00AB\n");

  ok({"delete", "HKCU\\Software\\Kip", "/v", "Delay", "/f"});
  expectFailure(reg({"query", "HKCU\\Software\\Kip", "/v", "Delay"}), "does not exist");
  ok({"delete", "HKCU\\Software\\Kip", "/f"});
  expectFailure(reg({"query", "HKCU\\Software\\Kip"}), "the key HKEY_CURRENT_USER\\Software\\Kip does not exist");
}

TEST_F(KipctlRegTest, HardwareProfileSetUpIsWhatTheStartUpReads) {
  ok({"add", kProfileKey, "/v", "CurrentConfig", "/t", "REG_DWORD", "/d", "1"});
  ok({"add", std::string(kProfileKey) + "\\Hardware Profiles\\0001", "/v", "FriendlyName", "/d", "Docked"});
  EXPECT_EQ(dword(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\control\\IDConfigDB", "CurrentConfig"), 1);
  EXPECT_EQ(text(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\control\\IDConfigDB\\Hardware Profiles\\0001",
                 "FriendlyName"),
            "Docked");
}

TEST_F(KipctlRegTest, AddRefusesToOverwriteWithoutForceAndRejectsBadData) {
  ok({"add", "HKCU\\K", "/v", "n", "/t", "REG_DWORD", "/d", "5"});
  expectFailure(reg({"add", "HKCU\\K", "/v", "N", "/t", "REG_DWORD", "/d", "6"}), "/f");
  EXPECT_EQ(dword(Hive::CurrentUser, "K", "n"), 5);
  ok({"add", "HKCU\\K", "/v", "N", "/t", "REG_DWORD", "/d", "6", "/f"});
  EXPECT_EQ(dword(Hive::CurrentUser, "K", "n"), 6);
  expectFailure(reg({"add", "HKCU\\K", "/v", "x", "/t", "REG_DWORD", "/d", "seven"}), "not a REG_DWORD number");
  expectFailure(reg({"add", "HKCU\\K", "/v", "x", "/t", "REG_BINARY", "/d", "0"}), "even number");
  expectFailure(reg({"add", "HKCU\\K", "/bogus"}), "unknown option \"/bogus\"");
  expectFailure(reg({"add", "Software\\K"}), "is not a registry key");
}

TEST_F(KipctlRegTest, ExportWritesRegedit4AndImportRestoresIt) {
  ok({"add", "HKLM\\Software\\Kip", "/v", "Path", "/d", "C:\\Tools\\\"x\""});
  ok({"add", "HKLM\\Software\\Kip", "/v", "Exp", "/t", "REG_EXPAND_SZ", "/d", "%A%"});
  ok({"add", "HKLM\\Software\\Kip\\Child", "/v", "n", "/t", "REG_DWORD", "/d", "31"});
  const auto file = m_dir.file("kip.reg");
  ok({"export", "HKLM\\software\\kip", file});
  const std::string expected =
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Kip]\r\n"
      "\"Exp\"=hex(2):25,41,25,00\r\n"
      "\"Path\"=\"C:\\\\Tools\\\\\\\"x\\\"\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Kip\\Child]\r\n"
      "\"n\"=dword:0000001f\r\n\r\n";
  EXPECT_EQ(readFile(file), expected);

  ok({"delete", "HKLM\\Software", "/f"});
  ok({"import", file});
  EXPECT_EQ(text(Hive::LocalMachine, "Software\\Kip", "Path"), "C:\\Tools\\\"x\"");
  EXPECT_EQ(text(Hive::LocalMachine, "Software\\Kip", "Exp"), "%A%");
  const auto again = m_dir.file("again.reg");
  ok({"export", "HKLM\\Software\\Kip", again});
  EXPECT_EQ(readFile(again), expected);
  expectFailure(reg({"export", "HKLM\\Software\\Kip", m_dir.file("no/such/dir.reg")}), "cannot write");
}

TEST_F(KipctlRegTest, ImportsAVersion5FileInUtf16FromAWindowsMachine) {
  const std::u16string content =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\IDConfigDB\\Hardware Profiles\\0001]\r\n"
      u"\"FriendlyName\"=\"Büro\"\r\n"
      u"\"Path\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Old]\r\n\"gone\"=-\r\n";
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : content) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  const auto file = m_dir.file("windows.reg");
  writeFile(file, bytes);
  ok({"add", "HKCU\\Software\\Old", "/v", "gone", "/d", "x"});
  ok({"import", file});
  const auto result = reg({"query", std::string(kProfileKey) + "\\Hardware Profiles\\0001"});
  EXPECT_EQ(result.out,
            "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\IDConfigDB\\Hardware Profiles\\0001\n"
            "    FriendlyName    REG_SZ    Büro\n"
            "    Path    REG_EXPAND_SZ    %TMP%\n");
  EXPECT_EQ(text(Hive::CurrentUser, "Software\\Old", "gone"), std::nullopt);
}

TEST_F(KipctlRegTest, MalformedImportSkipsTheBadSectionAndKeepsTheOthers) {
  ok({"add", "HKCU\\Two", "/v", "keep", "/d", "old"});
  const auto file = m_dir.file("bad.reg");
  writeFile(file,
            "REGEDIT4\r\n\r\n[HKCU\\One]\r\n\"a\"=\"1\"\r\n\r\n"
            "[HKCU\\Two]\r\n\"keep\"=-\r\n\"new\"=\"2\"\r\n\"bad\"=hex:01,\\\r\n  0x\r\n\r\n[HKCU\\Three]\r\n");
  expectFailure(reg({"import", file}),
                file + ":10: bad hex digit \"x\" in the data of the value \"bad\" (its key section is skipped)");
  EXPECT_EQ(text(Hive::CurrentUser, "One", "a"), "1");
  EXPECT_EQ(text(Hive::CurrentUser, "Two", "keep"), "old");
  EXPECT_EQ(text(Hive::CurrentUser, "Two", "new"), std::nullopt);
  ok({"query", "HKCU\\Three"});
  expectFailure(reg({"import", m_dir.file("missing.reg")}), "cannot read");
}

TEST_F(KipctlRegTest, DeleteWithoutForceNeedsATerminal) {
  ok({"add", "HKCU\\K", "/v", "a", "/d", "1"});
  expectFailure(reg({"delete", "HKCU\\K"}, "yes\n"), "/f");
  EXPECT_EQ(text(Hive::CurrentUser, "K", "a"), "1");
}

// Runs kipctl with a pseudo-terminal as its standard streams, types input and collects what it showed.
ChildResult runOnTerminal(std::vector<std::string> args, const EnvChanges& changes, const std::string& input) {
  ChildResult result;
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return result;
  const std::string slaveName = ptsname(master);
  std::vector<std::string> envText;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    if (!changes.count(text.substr(0, text.find('=')))) envText.push_back(text);
  }
  for (const auto& [name, value] : changes)
    if (value) envText.push_back(name + "=" + *value);
  std::vector<char*> envp;
  for (auto& text : envText) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::string program = KIPCTL_PATH;
  std::vector<char*> argv{program.data()};
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int slave = open(slaveName.c_str(), O_RDWR);
    if (slave < 0) _exit(126);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(slave, 2);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  [[maybe_unused]] const auto written = write(master, input.data(), input.size());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd fd{master, POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) {
      if (waitpid(pid, nullptr, WNOHANG) == pid) break;
      continue;
    }
    const auto count = read(master, buffer, sizeof buffer);
    if (count <= 0) break;
    result.out.append(buffer, static_cast<std::size_t>(count));
  }
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    result.timedOut = true;
  }
  close(master);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

TEST_F(KipctlRegTest, DeleteOnATerminalAsksAndFollowsTheAnswer) {
  ok({"add", "HKCU\\Software\\Kip\\Sub", "/v", "a", "/d", "1"});
  auto result = runOnTerminal({"reg", "delete", "HKCU\\software\\kip"}, env(), "no\n");
  EXPECT_EQ(result.exitCode, 1) << result.out;
  EXPECT_NE(result.out.find("Delete the registry key HKEY_CURRENT_USER\\Software\\Kip (Yes/No)?"), std::string::npos)
      << result.out;
  EXPECT_EQ(text(Hive::CurrentUser, "Software\\Kip\\Sub", "a"), "1");
  result = runOnTerminal({"reg", "delete", "HKCU\\software\\kip"}, env(), "YES\n");
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(text(Hive::CurrentUser, "Software\\Kip\\Sub", "a"), std::nullopt);
}

TEST_F(KipctlRegTest, AReadOnlyMachineHiveCanBeQueriedButNotChanged) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run kipctl as another user";
  ok({"add", kProfileKey, "/v", "CurrentConfig", "/t", "REG_DWORD", "/d", "1"});
  chmod(machineHive().c_str(), 0644);
  // The build may lie in a folder other users cannot enter: they run a copy.
  std::string why;
  const auto program = copyForUser(KIPCTL_PATH, m_dir.path(), 65534, why);
  if (!program) GTEST_SKIP() << why;
  const std::string userDir = m_dir.file("nobody");
  mkdir(userDir.c_str(), 0700);
  chown(userDir.c_str(), 65534, 65534);
  auto environment = env();
  environment["KIPLAUNCH_USER_HIVE"] = userDir + "/user.db";
  const auto asNobody = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "reg");
    ChildProcess child(*program, args, environment, "", uid_t{65534});
    return child.wait();
  };
  auto result = asNobody({"query", kProfileKey, "/v", "CurrentConfig"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\IDConfigDB\n"
            "    CurrentConfig    REG_DWORD    0x1\n");
  expectFailure(asNobody({"add", kProfileKey, "/v", "CurrentConfig", "/t", "REG_DWORD", "/d", "2", "/f"}),
                "access denied");
  const auto file = userDir + "/profile.reg";
  writeFile(file, "REGEDIT4\r\n\r\n[HKCU\\Mine]\r\n\r\n[HKLM\\Theirs]\r\n\"a\"=\"b\"\r\n");
  chown(file.c_str(), 65534, 65534);
  expectFailure(asNobody({"import", file}), ":5: cannot create HKEY_LOCAL_MACHINE\\Theirs: access denied");
  EXPECT_EQ(dword(Hive::LocalMachine, "System\\CurrentControlSet\\control\\IDConfigDB", "CurrentConfig"), 1);
  EXPECT_EQ(text(Hive::LocalMachine, "Theirs", "a"), std::nullopt);
}

// The hive's own trouble is said as what it is: in use by another program, damaged (and where), a folder
// that is missing because a symbolic link leads nowhere.
TEST_F(KipctlRegTest, HiveTroubleIsNamedForWhatItIs) {
  ok({"add", "HKCU\\K", "/v", "n", "/d", "x"});
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(userHive().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  expectFailure(reg({"add", "HKCU\\K", "/v", "n", "/d", "y", "/f"}), "in use by another program");
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  writeFile(machineHive(), std::string(8192, 'x'));
  auto result = reg({"query", "HKLM\\K"});
  expectFailure(result, "The registry file " + machineHive() + " is damaged");
  EXPECT_EQ(result.err.find("does not exist"), std::string::npos) << result.err;

  ASSERT_EQ(::symlink(m_dir.file("nowhere").c_str(), m_dir.file("gone").c_str()), 0);
  auto dangling = env();
  dangling["KIPLAUNCH_USER_HIVE"] = m_dir.file("gone/user.db");
  result = runProgram(KIPCTL_PATH, {"reg", "add", "HKCU\\K"}, dangling);
  expectFailure(result, "The folder " + m_dir.file("gone") + " of the registry file");
  EXPECT_NE(result.err.find("is missing"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace kip::test
