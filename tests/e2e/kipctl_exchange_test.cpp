#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "doubles/child_process.h"
#include "model/registry_layout.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

namespace fs = std::filesystem;

const std::string kPreferenceBlock =
    "Network=\r\nRun=30\r\nSplash=0\r\nAboutNet=0\r\nGlobal=0\r\nProxy=\r\nPort=\r\n\r\n";

std::string section(const std::string& name, const std::string& module, const std::string& parms = {}) {
  return "[" + name + "]\r\nModule=" + module + "\r\nParms=" + parms +
         "\r\nStartDirectory=\r\nConfiguration=\r\nUser=\r\nGroup=\r\nWindow=0\r\nApm=0\r\nNet=0\r\nDun=0\r\n"
         "NetTest=0\r\nNetResource=\r\nDays=127\r\nDates=2147483647\r\nFrom=0\r\nTo=2400\r\nFrequency=0\r\n"
         "Units=0\r\nChanges=0\r\nDelay=0\r\nMsg=0\r\nMsgID=0\r\nWait=0\r\nWaitType=0\r\nDisable=0\r\n\r\n";
}

std::string definitionKey(const std::string& name) { return std::string(kStartListKey) + "\\" + name; }

// kipctl export and import against hives of their own in a temporary folder, set up and checked through the
// SQLite registry directly.
class KipctlExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto hives = registry();
    setText(*hives, Hive::CurrentUser, definitionKey("Mail"), "Module", "/usr/bin/mail");
    setText(*hives, Hive::CurrentUser, definitionKey("Backup"), "Module", "/usr/bin/backup");
    setDword(*hives, Hive::CurrentUser, definitionKey("Backup"), "Sequence", 7);
    setText(*hives, Hive::LocalMachine, definitionKey("Clock"), "Module", "/usr/bin/clock");
    setDword(*hives, Hive::CurrentUser, std::string(kPreferencesKey), "Run", 31);
  }

  std::unique_ptr<SqliteRegistry> registry() const {
    return std::make_unique<SqliteRegistry>(m_dir.file("user.db"), m_dir.file("machine.db"));
  }
  static void setText(Registry& r, Hive hive, const std::string& key, const char* name, const std::string& value) {
    std::unique_ptr<RegKey> k;
    ASSERT_EQ(r.createKey(hive, key, k), 0);
    ASSERT_EQ(writeText(*k, name, value), 0);
  }
  static void setDword(Registry& r, Hive hive, const std::string& key, const char* name, std::int32_t value) {
    std::unique_ptr<RegKey> k;
    ASSERT_EQ(r.createKey(hive, key, k), 0);
    ASSERT_EQ(writeDword(*k, name, value), 0);
  }
  std::optional<std::string> text(Hive hive, const std::string& key, const char* name) const {
    auto r = registry();
    std::unique_ptr<RegKey> k;
    if (r->openKey(hive, key, KeyAccess::Read, k) != 0) return std::nullopt;
    return readText(*k, name, true);
  }
  std::optional<std::int32_t> dword(Hive hive, const std::string& key, const char* name) const {
    auto r = registry();
    std::unique_ptr<RegKey> k;
    if (r->openKey(hive, key, KeyAccess::Read, k) != 0) return std::nullopt;
    return readDword(*k, name);
  }

  ChildResult kipctl(const std::vector<std::string>& args, const std::string& input = {}) const {
    return runProgram(
        KIPCTL_PATH, args,
        {{"KIPLAUNCH_USER_HIVE", m_dir.file("user.db")}, {"KIPLAUNCH_MACHINE_HIVE", m_dir.file("machine.db")}}, input);
  }

  TempDir m_dir;
};

TEST_F(KipctlExchangeTest, ExportWritesThePreferencesAndThePerUserDefinitionsInLoadOrder) {
  const auto file = m_dir.file("out.txt");
  const auto run = kipctl({"export", file});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(file), kPreferenceBlock + section("Backup", "/usr/bin/backup") + section("Mail", "/usr/bin/mail"));
}

TEST_F(KipctlExchangeTest, ExportToStandardOutput) {
  const auto run = kipctl({"export", "-"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, kPreferenceBlock + section("Backup", "/usr/bin/backup") + section("Mail", "/usr/bin/mail"));
  EXPECT_FALSE(fs::exists("-"));
}

TEST_F(KipctlExchangeTest, AStoredLineBreakCostsOnlyItsDefinition) {
  setText(*registry(), Hive::CurrentUser, definitionKey("Mail"), "Parms", "-a\n-b");
  const auto file = m_dir.file("out.txt");
  const auto run = kipctl({"export", file});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "kipctl: Not exported: the Parms of \"Mail\" holds a line break, which the file cannot carry\n");
  EXPECT_EQ(readFile(file), kPreferenceBlock + section("Backup", "/usr/bin/backup"));
  // A bare carriage return in a file read back is a line end, never part of a stored text.
  writeFile(file, "[Mail]\rModule=/usr/bin/mail\rParms=-a\r-b\r\n");
  EXPECT_EQ(kipctl({"import", file, "--yes"}).exitCode, 0);
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Mail"), "Parms"), "-a");
  EXPECT_EQ(kipctl({"export", file}).exitCode, 0);
}

TEST_F(KipctlExchangeTest, ExportGlobalWritesTheMachineWideDefinitions) {
  const auto file = m_dir.file("out.txt");
  const auto run = kipctl({"export", "--global", file});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(readFile(file), kPreferenceBlock + section("Clock", "/usr/bin/clock"));
}

TEST_F(KipctlExchangeTest, ExportToAFileThatCannotBeWrittenFails) {
  const auto file = m_dir.file("missing/out.txt");
  const auto run = kipctl({"export", file});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "kipctl: Cannot write \"" + file + "\": No such file or directory\n");
  EXPECT_FALSE(fs::exists(m_dir.file("missing")));
}

TEST_F(KipctlExchangeTest, ImportWithYesOverwritesAddsAndStoresThePreferences) {
  const auto file = m_dir.file("in.txt");
  writeFile(file,
            "Run=5\r\nProxy=127.0.0.1\r\n\r\n[Backup]\r\nParms=--all\r\n\r\n[Fresh]\r\nModule=/usr/bin/fresh\r\n"
            "Bad =1\r\n");
  const auto run = kipctl({"import", file, "--yes"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Unrecognised keyword \"BAD \" while processing definition of \"Fresh\"\n");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Backup"), "Parms"), "--all");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Backup"), "Module"), "/usr/bin/backup");
  EXPECT_EQ(dword(Hive::CurrentUser, definitionKey("Backup"), "Sequence"), 7);
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Fresh"), "Module"), "/usr/bin/fresh");
  EXPECT_EQ(dword(Hive::CurrentUser, definitionKey("Fresh"), "Days"), 127);
  EXPECT_EQ(dword(Hive::CurrentUser, std::string(kPreferencesKey), "Run"), 6);  // autostart kept on
  EXPECT_EQ(text(Hive::CurrentUser, std::string(kPreferencesKey), "Proxy"), "127.0.0.1");
  EXPECT_FALSE(text(Hive::LocalMachine, definitionKey("Fresh"), "Module"));
}

TEST_F(KipctlExchangeTest, ImportGlobalWorksOnTheMachineWideDefinitions) {
  const auto file = m_dir.file("in.txt");
  writeFile(file, "[Clock]\r\nModule=/opt/clock\r\n[Mail]\r\nModule=/opt/mail\r\n");
  const auto run = kipctl({"import", "--global", "--yes", file});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(text(Hive::LocalMachine, definitionKey("Clock"), "Module"), "/opt/clock");
  EXPECT_EQ(text(Hive::LocalMachine, definitionKey("Mail"), "Module"), "/opt/mail");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Mail"), "Module"), "/usr/bin/mail");
}

TEST_F(KipctlExchangeTest, ImportWithNoKeepsExistingDefinitions) {
  const auto file = m_dir.file("in.txt");
  writeFile(file, "[Mail]\r\nModule=/changed\r\n[Fresh]\r\nModule=/fresh\r\n");
  const auto run = kipctl({"import", file, "--no"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Mail"), "Module"), "/usr/bin/mail");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Fresh"), "Module"), "/fresh");
}

TEST_F(KipctlExchangeTest, TheTerminalAnswersTheQuestionAndCancelSavesWhatWasFinished) {
  const auto file = m_dir.file("in.txt");
  writeFile(file, "[Mail]\r\nModule=/skipped\r\n[New]\r\nModule=/new\r\n[Backup]\r\nModule=/never\r\n[Later]\r\n");
  const auto run = kipctl({"import", file}, "maybe\nN\nc\n");
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_EQ(run.out,
            "Definition for \"Mail\" already exists. Overwrite ? [y/n/c] Please answer y (yes), n (no) or c (cancel).\n"
            "Definition for \"Mail\" already exists. Overwrite ? [y/n/c] "
            "Definition for \"Backup\" already exists. Overwrite ? [y/n/c] ");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Mail"), "Module"), "/usr/bin/mail");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("New"), "Module"), "/new");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Backup"), "Module"), "/usr/bin/backup");
  EXPECT_FALSE(text(Hive::CurrentUser, definitionKey("Later"), "Module"));
}

TEST_F(KipctlExchangeTest, TheEndOfInputAnswersCancel) {
  const auto file = m_dir.file("in.txt");
  writeFile(file, "Port=8080\r\n[Mail]\r\nModule=/x\r\n");
  const auto run = kipctl({"import", file});
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Mail"), "Module"), "/usr/bin/mail");
  EXPECT_EQ(text(Hive::CurrentUser, std::string(kPreferencesKey), "Port"), "8080");
}

TEST_F(KipctlExchangeTest, ExportThenImportChangesNothing) {
  const auto first = m_dir.file("first.txt");
  const auto second = m_dir.file("second.txt");
  ASSERT_EQ(kipctl({"export", first}).exitCode, 0);
  const auto run = kipctl({"import", first, "--yes"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(kipctl({"export", second}).exitCode, 0);
  EXPECT_EQ(readFile(second), readFile(first));
  EXPECT_EQ(dword(Hive::CurrentUser, definitionKey("Backup"), "Sequence"), 7);
  EXPECT_EQ(dword(Hive::CurrentUser, std::string(kPreferencesKey), "Run"), 31);
}

TEST_F(KipctlExchangeTest, AFileThatCannotBeReadFailsAndLeavesTheHives) {
  const auto file = m_dir.file("missing.txt");
  const auto run = kipctl({"import", file, "--yes"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "kipctl: Cannot read \"" + file + "\": No such file or directory\n");
  EXPECT_EQ(dword(Hive::CurrentUser, std::string(kPreferencesKey), "Run"), 31);
}

TEST_F(KipctlExchangeTest, ADefinitionTheSaveRefusesFailsTheImport) {
  const auto file = m_dir.file("in.txt");
  writeFile(file, "[]\r\nModule=/nameless\r\n[Good]\r\nModule=/good\r\n");
  const auto run = kipctl({"import", file});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(run.err.find("bytes: \"\"; "), std::string::npos) << run.err;
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Good"), "Module"), "/good");
}

// A link in a sticky folder every user may write is followed only as the kernel would follow it: when it is the
// caller's own or the folder owner's. Another user's link is refused, by export and reg export alike.
TEST_F(KipctlExchangeTest, ExportFollowsAnotherUsersLinkInASharedFolderOnlyWhereTheKernelWould) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own files as another user";
  constexpr uid_t kOther = 65534;
  const std::string shared = m_dir.file("shared"), link = shared + "/defs.txt", dangling = shared + "/defs.reg";
  const std::string secret = m_dir.file("secret"), chosen = m_dir.file("chosen");
  ASSERT_EQ(mkdir(shared.c_str(), 0700) | chmod(shared.c_str(), 01777), 0);
  // The folder's owner, the link's owner, and whether the link is followed.
  for (const auto& [folderOwner, linkOwner, followed] :
       {std::tuple{0u, kOther, false}, std::tuple{kOther, 0u, true}, std::tuple{kOther, kOther, true}}) {
    SCOPED_TRACE(std::to_string(linkOwner) + " in a folder of " + std::to_string(folderOwner));
    writeFile(secret, "only root writes here\n");
    fs::remove(chosen);
    ASSERT_EQ(chown(shared.c_str(), folderOwner, folderOwner) | symlink(secret.c_str(), link.c_str()) |
                  symlink(chosen.c_str(), dangling.c_str()) | lchown(link.c_str(), linkOwner, linkOwner) |
                  lchown(dangling.c_str(), linkOwner, linkOwner),
              0);
    const auto run = kipctl({"export", link});
    const auto regRun = kipctl({"reg", "export", "HKCU\\Software", dangling, "/y"});
    const std::string refused = "\": it is another user's link in a folder every user may write\n";
    EXPECT_EQ(run.err, followed ? "" : "kipctl: Cannot write \"" + link + refused);
    EXPECT_EQ(regRun.err, followed ? "" : "kipctl: cannot write " + dangling + refused.substr(1));
    EXPECT_EQ(run.exitCode + regRun.exitCode, followed ? 0 : 2);
    EXPECT_EQ(readFile(secret).starts_with(kPreferenceBlock), followed);
    EXPECT_EQ(readFile(chosen).starts_with("REGEDIT4"), followed);
    EXPECT_TRUE(fs::is_symlink(link) && fs::is_symlink(dangling));
    fs::remove(link);
    fs::remove(dangling);
  }
}

struct UsageCase {
  std::vector<std::string> args;
  std::string firstLine;
};

// Names the case by its arguments in test lists and failure reports.
void PrintTo(const UsageCase& usage, std::ostream* out) {
  for (const auto& arg : usage.args) *out << (&arg == &usage.args.front() ? "" : "_") << arg;
}

class KipctlExchangeUsageTest : public KipctlExchangeTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(KipctlExchangeUsageTest, RefusesWrongArguments) {
  const auto run = kipctl(GetParam().args);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')), GetParam().firstLine);
  EXPECT_NE(run.err.find("usage: kipctl " + GetParam().args.front()), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Args, KipctlExchangeUsageTest,
                         ::testing::Values(UsageCase{{"export"}, "kipctl: no file given"},
                                           UsageCase{{"export", "a.txt", "b.txt"}, "kipctl: more than one file given"},
                                           UsageCase{{"export", "a.txt", "--yes"}, "kipctl: unknown option \"--yes\""},
                                           UsageCase{{"import", "a.txt", "--yes", "--no"},
                                                     "kipctl: --yes and --no exclude each other"},
                                           UsageCase{{"import", "--global"}, "kipctl: no file given"}));

}  // namespace
}  // namespace kip::test
